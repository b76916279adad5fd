#include "testbed/engine/json_text.h"

#include <cmath>
#include <cstdio>
#include <variant>
#include <vector>

namespace testbed {

namespace {

// Length of the valid UTF-8 sequence starting at text[at], or 0 when it is not one.
size_t Utf8SequenceLength(const std::string& text, size_t at) {
  const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length = 0;
  uint32_t minimum = 0;
  uint32_t code_point = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    minimum = 0x80;
    code_point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    minimum = 0x800;
    code_point = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    minimum = 0x10000;
    code_point = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() - at < length) {
    return 0;
  }
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) {
      return 0;
    }
    code_point = (code_point << 6) | (byte(at + i) & 0x3F);
  }
  const bool surrogate = code_point >= 0xD800 && code_point <= 0xDFFF;
  return code_point < minimum || code_point > 0x10FFFF || surrogate ? 0 : length;
}

std::string Number(double number, const char* format) {
  if (!std::isfinite(number)) {
    return "null";
  }
  char text[40];
  std::snprintf(text, sizeof(text), format, number);
  return text;
}

template <typename T>
std::string IntegerArray(const std::vector<T>& list) {
  std::string json = "[";
  for (size_t i = 0; i < list.size(); ++i) {
    json += (i == 0 ? "" : ",") + std::to_string(list[i]);
  }
  return json + "]";
}

template <typename T>
std::string RealArray(const std::vector<T>& list, const char* format) {
  std::string json = "[";
  for (size_t i = 0; i < list.size(); ++i) {
    json += (i == 0 ? "" : ",") + Number(static_cast<double>(list[i]), format);
  }
  return json + "]";
}

}  // namespace

std::string JsonString(const std::string& text) {
  static const char kDigits[] = "0123456789abcdef";
  std::string json = "\"";
  size_t at = 0;
  while (at < text.size()) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (c >= 0x80) {
      const size_t length = Utf8SequenceLength(text, at);
      if (length == 0) {
        json += "\\ufffd";
        ++at;
      } else {
        json.append(text, at, length);
        at += length;
      }
      continue;
    }
    ++at;
    switch (c) {
      case '"':
        json += "\\\"";
        break;
      case '\\':
        json += "\\\\";
        break;
      case '\n':
        json += "\\n";
        break;
      case '\r':
        json += "\\r";
        break;
      case '\t':
        json += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          json += "\\u00";
          json += kDigits[c >> 4];
          json += kDigits[c & 0x0F];
        } else {
          json += static_cast<char>(c);
        }
    }
  }
  return json + "\"";
}

std::string HexText(const uint8_t* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    hex += kDigits[bytes[i] >> 4];
    hex += kDigits[bytes[i] & 0x0F];
  }
  return hex;
}

std::string JsonValue(const flutter::EncodableValue& value) {
  using flutter::EncodableList;
  using flutter::EncodableMap;
  if (value.IsNull()) {
    return "null";
  }
  if (const auto* boolean = std::get_if<bool>(&value)) {
    return *boolean ? "true" : "false";
  }
  if (const auto* integer = std::get_if<int32_t>(&value)) {
    return std::to_string(*integer);
  }
  if (const auto* integer = std::get_if<int64_t>(&value)) {
    return std::to_string(*integer);
  }
  if (const auto* real = std::get_if<double>(&value)) {
    return Number(*real, "%.17g");
  }
  if (const auto* string = std::get_if<std::string>(&value)) {
    return JsonString(*string);
  }
  if (const auto* bytes = std::get_if<std::vector<uint8_t>>(&value)) {
    return "{\"bytes\":\"" + HexText(bytes->data(), bytes->size()) + "\"}";
  }
  if (const auto* list = std::get_if<std::vector<int32_t>>(&value)) {
    return IntegerArray(*list);
  }
  if (const auto* list = std::get_if<std::vector<int64_t>>(&value)) {
    return IntegerArray(*list);
  }
  if (const auto* list = std::get_if<std::vector<double>>(&value)) {
    return RealArray(*list, "%.17g");
  }
  if (const auto* list = std::get_if<std::vector<float>>(&value)) {
    return RealArray(*list, "%.9g");
  }
  if (const auto* list = std::get_if<EncodableList>(&value)) {
    std::string json = "[";
    for (size_t i = 0; i < list->size(); ++i) {
      json += (i == 0 ? "" : ",") + JsonValue((*list)[i]);
    }
    return json + "]";
  }
  if (const auto* map = std::get_if<EncodableMap>(&value)) {
    std::string json = "{";
    bool first = true;
    for (const auto& entry : *map) {
      const auto* key = std::get_if<std::string>(&entry.first);
      json += first ? "" : ",";
      json += JsonString(key != nullptr ? *key : JsonValue(entry.first));
      json += ":" + JsonValue(entry.second);
      first = false;
    }
    return json + "}";
  }
  return "null";  // custom values have no wire form
}

}  // namespace testbed
