// A value of an application type carried inside an EncodableValue.
#ifndef CODEC_CUSTOM_ENCODABLE_VALUE_H_
#define CODEC_CUSTOM_ENCODABLE_VALUE_H_

#include <any>
#include <functional>
#include <typeinfo>
#include <utility>

namespace flutter {

// Copying copies the held value; destroying destroys it. The standard serializer cannot
// encode it: a derived serializer recognises the held type through type() or any_cast.
class CustomEncodableValue {
 public:
  explicit CustomEncodableValue(const std::any& held) : value(held) {}
  explicit CustomEncodableValue(std::any&& held) : value(std::move(held)) {}
  ~CustomEncodableValue() = default;

  CustomEncodableValue(const CustomEncodableValue&) = default;
  CustomEncodableValue(CustomEncodableValue&&) = default;
  CustomEncodableValue& operator=(const CustomEncodableValue&) = default;
  CustomEncodableValue& operator=(CustomEncodableValue&&) = default;

  const std::any& Value() const { return value; }
  std::any& Value() { return value; }
  const std::type_info& type() const noexcept { return value.type(); }

  operator const std::any&() const { return value; }
  operator std::any&() { return value; }

  // Identity, not content: a custom value is equivalent only to itself, and the one
  // stored at the lower address orders first. std::less gives a total order on pointers.
  friend bool operator<(const CustomEncodableValue& a, const CustomEncodableValue& b) {
    return std::less<const CustomEncodableValue*>()(&a, &b);
  }
  friend bool operator==(const CustomEncodableValue& a, const CustomEncodableValue& b) {
    return &a == &b;
  }
  friend bool operator!=(const CustomEncodableValue& a, const CustomEncodableValue& b) {
    return &a != &b;
  }

 private:
  std::any value;
};

}  // namespace flutter

#endif  // CODEC_CUSTOM_ENCODABLE_VALUE_H_
