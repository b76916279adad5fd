// The error raised by checked access to an alternative a value does not hold.
#ifndef CODEC_BAD_VARIANT_ACCESS_H_
#define CODEC_BAD_VARIANT_ACCESS_H_

#include <variant>

namespace flutter {

// A std::bad_variant_access with the same text on every standard library (libstdc++
// says "std::get: wrong index for variant"; peers and logs expect this one).
class BadVariantAccess : public std::bad_variant_access {
 public:
  const char* what() const noexcept override { return "bad variant access"; }
};

}  // namespace flutter

#endif  // CODEC_BAD_VARIANT_ACCESS_H_
