// Bytes as lowercase hexadecimal text: how the stand-in engine writes what it was given, and
// how tests spell what they expect it to have written.
#ifndef TESTBED_ENGINE_HEX_TEXT_H_
#define TESTBED_ENGINE_HEX_TEXT_H_

#include <string>
#include <string_view>

namespace testbed {

inline std::string HexText(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0x0F];
  }
  return hex;
}

}  // namespace testbed

#endif  // TESTBED_ENGINE_HEX_TEXT_H_
