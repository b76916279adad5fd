// JSON text for the scenario transcript: strings and channel values.
#ifndef TESTBED_ENGINE_JSON_TEXT_H_
#define TESTBED_ENGINE_JSON_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "codec/encodable_value.h"

namespace testbed {

// A quoted JSON string. Bytes that are not valid UTF-8 become U+FFFD, so every line of the
// transcript stays readable by a strict JSON reader.
std::string JsonString(const std::string& text);

// Lowercase hex digits, two per byte, no separators.
std::string HexText(const uint8_t* bytes, size_t size);

// A channel value as JSON: byte lists as {"bytes":"hex"}, typed lists as arrays, maps as
// objects (keys that are not strings written as their JSON text), non-finite numbers and
// custom values as null.
std::string JsonValue(const flutter::EncodableValue& value);

}  // namespace testbed

#endif  // TESTBED_ENGINE_JSON_TEXT_H_
