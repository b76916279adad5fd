// Byte vectors written as hexadecimal text in tests, and the reader's report.
#ifndef TESTS_CODEC_HEX_H_
#define TESTS_CODEC_HEX_H_

#include <cstdint>
#include <string>
#include <vector>

namespace codec_test {

inline constexpr char kInvalidRead[] = "Invalid read in StandardCodecByteStreamReader\n";

// "0C 01 06" -> {0x0C, 0x01, 0x06}; spaces are ignored.
inline std::vector<uint8_t> Hex(const std::string& text) {
  std::string digits;
  for (char c : text) {
    if (c != ' ') digits += c;
  }
  std::vector<uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

inline std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace codec_test

#endif  // TESTS_CODEC_HEX_H_
