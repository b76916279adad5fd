// The value notation of scenario files: JSON-like literals plus helpers for byte lists and
// gamma ramps, parsed into the values the user interface would send.
#ifndef TESTBED_ENGINE_SCENARIO_VALUE_H_
#define TESTBED_ENGINE_SCENARIO_VALUE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/encodable_value.h"

namespace testbed {

// Entries per channel and bytes of a whole three-channel ramp.
constexpr size_t kRampEntries = 256;
constexpr size_t kRampBytes = 3 * kRampEntries * 2;

// Limits that keep a mistyped scenario from exhausting memory or the stack.
constexpr size_t kMaxGeneratedBytes = size_t{1} << 24;
constexpr int kMaxValueNesting = 64;

// Parses one complete value. On failure returns false, leaves value untouched and says
// why in error (with the offset into text).
bool ParseScenarioValue(const std::string& text, flutter::EncodableValue* value,
                        std::string* error);

// Decimal or 0x-prefixed, optionally signed, within 64 bits.
bool ParseScenarioInteger(const std::string& text, int64_t* result);

// Hex digits, blanks allowed between (not inside) bytes. False on any other character or
// an odd digit count.
bool ParseHexBytes(const std::string& text, std::vector<uint8_t>* bytes);

// Entry i of each channel = round(65535 * (i / 255) ^ (1 / gamma)), little-endian. gamma
// must be finite and positive.
std::vector<uint8_t> GammaRamp(double gamma);
// Identity scaled per channel: red 1.0, green 0.85, blue 0.65.
std::vector<uint8_t> WarmRamp();

}  // namespace testbed

#endif  // TESTBED_ENGINE_SCENARIO_VALUE_H_
