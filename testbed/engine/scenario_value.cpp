#include "testbed/engine/scenario_value.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

namespace testbed {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) {
    ++begin;
  }
  while (end > begin && IsBlank(text[end - 1])) {
    --end;
  }
  return text.substr(begin, end - begin);
}

// Decimal or 0x-prefixed, optionally negative; false on overflow or stray characters.
bool ParseInteger(const std::string& text, int64_t* result) {
  size_t at = 0;
  const bool negative = at < text.size() && text[at] == '-';
  if (negative || (at < text.size() && text[at] == '+')) {
    ++at;
  }
  uint64_t base = 10;
  if (text.size() - at > 2 && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
    base = 16;
    at += 2;
  }
  if (at == text.size()) {
    return false;
  }
  // Magnitude up to 2^63, which only a negative number may reach.
  const uint64_t limit = uint64_t{1} << 63;
  uint64_t magnitude = 0;
  for (; at < text.size(); ++at) {
    const int digit = HexDigit(text[at]);
    if (digit < 0 || static_cast<uint64_t>(digit) >= base) {
      return false;
    }
    if (magnitude > (limit - static_cast<uint64_t>(digit)) / base) {
      return false;
    }
    magnitude = magnitude * base + static_cast<uint64_t>(digit);
  }
  if (!negative && magnitude == limit) {
    return false;
  }
  *result = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return true;
}

bool ParseDouble(const std::string& text, double* result) {
  if (text.empty()) {
    return false;
  }
  char* end = nullptr;
  errno = 0;
  const double parsed = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || errno == ERANGE || !std::isfinite(parsed)) {
    return false;
  }
  *result = parsed;
  return true;
}

void AppendUtf8(uint32_t code_point, std::string* out) {
  if (code_point < 0x80) {
    *out += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    *out += static_cast<char>(0xC0 | (code_point >> 6));
    *out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    *out += static_cast<char>(0xE0 | (code_point >> 12));
    *out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (code_point >> 18));
    *out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

void PutEntry(std::vector<uint8_t>* ramp, size_t channel, size_t entry, long value) {
  const size_t offset = 2 * (kRampEntries * channel + entry);
  (*ramp)[offset] = static_cast<uint8_t>(value & 0xFF);
  (*ramp)[offset + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

// "key=value" pieces of a helper's argument list; a bare word has an empty value.
struct Argument {
  std::string key;
  std::string value;
  bool has_value = false;
};

std::vector<Argument> SplitArguments(const std::string& text) {
  std::vector<Argument> arguments;
  const std::string trimmed = Trim(text);
  if (trimmed.empty()) {
    return arguments;
  }
  size_t begin = 0;
  while (true) {
    const size_t comma = trimmed.find(',', begin);
    const std::string piece =
        trimmed.substr(begin, comma == std::string::npos ? std::string::npos : comma - begin);
    Argument argument;
    const size_t equals = piece.find('=');
    argument.key = Trim(piece.substr(0, equals));
    if (equals != std::string::npos) {
      argument.value = Trim(piece.substr(equals + 1));
      argument.has_value = true;
    }
    arguments.push_back(std::move(argument));
    if (comma == std::string::npos) {
      break;
    }
    begin = comma + 1;
  }
  return arguments;
}

class Parser {
 public:
  explicit Parser(const std::string& text) : text(text) {}

  bool ParseAll(flutter::EncodableValue* value, std::string* error) {
    flutter::EncodableValue parsed;
    if (!ParseValue(&parsed, 0)) {
      *error = failure;
      return false;
    }
    SkipBlanks();
    if (at != text.size()) {
      *error = Where("unexpected text after the value");
      return false;
    }
    *value = std::move(parsed);
    return true;
  }

 private:
  bool Fail(const std::string& what) {
    if (failure.empty()) {
      failure = Where(what);
    }
    return false;
  }

  std::string Where(const std::string& what) const {
    return what + " at offset " + std::to_string(at);
  }

  void SkipBlanks() {
    while (at < text.size() && IsBlank(text[at])) {
      ++at;
    }
  }

  bool ParseValue(flutter::EncodableValue* value, int depth) {
    if (depth > kMaxValueNesting) {
      return Fail("values nested too deeply");
    }
    SkipBlanks();
    if (at == text.size()) {
      return Fail("missing value");
    }
    const char c = text[at];
    if (c == '"') {
      std::string string;
      if (!ParseString(&string)) {
        return false;
      }
      *value = flutter::EncodableValue(std::move(string));
      return true;
    }
    if (c == '[') {
      return ParseList(value, depth);
    }
    if (c == '{') {
      return ParseMap(value, depth);
    }
    if (c == '-' || c == '+' || c == '.' || (c >= '0' && c <= '9')) {
      return ParseNumber(value);
    }
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
      return ParseWord(value);
    }
    return Fail(std::string("unexpected character '") + c + "'");
  }

  bool ParseString(std::string* out) {
    ++at;  // opening quote
    while (at < text.size()) {
      const char c = text[at++];
      if (c == '"') {
        return true;
      }
      if (c != '\\') {
        *out += c;
        continue;
      }
      if (at == text.size()) {
        break;
      }
      const char escape = text[at++];
      switch (escape) {
        case '"':
        case '\\':
        case '/':
          *out += escape;
          break;
        case 'n':
          *out += '\n';
          break;
        case 't':
          *out += '\t';
          break;
        case 'r':
          *out += '\r';
          break;
        case 'u': {
          uint32_t code_point = 0;
          if (!ParseUnicodeEscape(&code_point)) {
            return false;
          }
          AppendUtf8(code_point, out);
          break;
        }
        default:
          --at;
          return Fail(std::string("unknown escape \\") + escape);
      }
    }
    return Fail("unterminated string");
  }

  bool ReadFourHex(uint32_t* unit) {
    if (text.size() - at < 4) {
      return Fail("\\u needs four hex digits");
    }
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      const int digit = HexDigit(text[at + static_cast<size_t>(i)]);
      if (digit < 0) {
        return Fail("\\u needs four hex digits");
      }
      value = value * 16 + static_cast<uint32_t>(digit);
    }
    at += 4;
    *unit = value;
    return true;
  }

  // After "\u": one code unit, or a surrogate pair written as two escapes.
  bool ParseUnicodeEscape(uint32_t* code_point) {
    uint32_t high = 0;
    if (!ReadFourHex(&high)) {
      return false;
    }
    if (high >= 0xDC00 && high <= 0xDFFF) {
      return Fail("lone low surrogate");
    }
    if (high < 0xD800 || high > 0xDBFF) {
      *code_point = high;
      return true;
    }
    uint32_t low = 0;
    if (text.compare(at, 2, "\\u") != 0) {
      return Fail("high surrogate without its low half");
    }
    at += 2;
    if (!ReadFourHex(&low)) {
      return false;
    }
    if (low < 0xDC00 || low > 0xDFFF) {
      return Fail("high surrogate without its low half");
    }
    *code_point = 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
    return true;
  }

  bool ParseNumber(flutter::EncodableValue* value) {
    const size_t begin = at;
    while (at < text.size() && !IsBlank(text[at]) && text[at] != ',' && text[at] != ']' &&
           text[at] != '}' && text[at] != ':' && text[at] != ')') {
      ++at;
    }
    const std::string token = text.substr(begin, at - begin);
    int64_t integer = 0;
    if (ParseInteger(token, &integer)) {
      if (integer >= std::numeric_limits<int32_t>::min() &&
          integer <= std::numeric_limits<int32_t>::max()) {
        *value = flutter::EncodableValue(static_cast<int32_t>(integer));
      } else {
        *value = flutter::EncodableValue(integer);
      }
      return true;
    }
    double number = 0;
    const bool looks_real = token.find_first_of(".eE") != std::string::npos &&
                            token.find_first_of("xX") == std::string::npos;
    if (looks_real && ParseDouble(token, &number)) {
      *value = flutter::EncodableValue(number);
      return true;
    }
    at = begin;
    return Fail("bad number '" + token + "'");
  }

  bool ParseList(flutter::EncodableValue* value, int depth) {
    ++at;  // [
    flutter::EncodableList list;
    SkipBlanks();
    if (at < text.size() && text[at] == ']') {
      ++at;
      *value = flutter::EncodableValue(std::move(list));
      return true;
    }
    while (true) {
      flutter::EncodableValue element;
      if (!ParseValue(&element, depth + 1)) {
        return false;
      }
      list.push_back(std::move(element));
      SkipBlanks();
      if (at < text.size() && text[at] == ',') {
        ++at;
        continue;
      }
      if (at < text.size() && text[at] == ']') {
        ++at;
        *value = flutter::EncodableValue(std::move(list));
        return true;
      }
      return Fail("expected ',' or ']'");
    }
  }

  bool ParseMap(flutter::EncodableValue* value, int depth) {
    ++at;  // {
    flutter::EncodableMap map;
    SkipBlanks();
    if (at < text.size() && text[at] == '}') {
      ++at;
      *value = flutter::EncodableValue(std::move(map));
      return true;
    }
    while (true) {
      flutter::EncodableValue key;
      const size_t key_at = at;
      if (!ParseValue(&key, depth + 1)) {
        return false;
      }
      SkipBlanks();
      if (at == text.size() || text[at] != ':') {
        return Fail("expected ':' after a map key");
      }
      ++at;
      flutter::EncodableValue entry;
      if (!ParseValue(&entry, depth + 1)) {
        return false;
      }
      // A map keeps the first of two equal keys; a scenario meaning the second would be
      // silently wrong.
      if (!map.emplace(std::move(key), std::move(entry)).second) {
        at = key_at;
        return Fail("duplicate map key");
      }
      SkipBlanks();
      if (at < text.size() && text[at] == ',') {
        ++at;
        continue;
      }
      if (at < text.size() && text[at] == '}') {
        ++at;
        *value = flutter::EncodableValue(std::move(map));
        return true;
      }
      return Fail("expected ',' or '}'");
    }
  }

  bool ParseWord(flutter::EncodableValue* value) {
    const size_t begin = at;
    while (at < text.size() &&
           ((text[at] >= 'a' && text[at] <= 'z') || (text[at] >= 'A' && text[at] <= 'Z') ||
            (text[at] >= '0' && text[at] <= '9') || text[at] == '_')) {
      ++at;
    }
    const std::string word = text.substr(begin, at - begin);
    if (word == "null") {
      *value = flutter::EncodableValue();
      return true;
    }
    if (word == "true" || word == "false") {
      *value = flutter::EncodableValue(word == "true");
      return true;
    }
    if (word != "bytes" && word != "ramp" && word != "i32list") {
      at = begin;
      return Fail("unknown word '" + word + "'");
    }
    if (at == text.size() || text[at] != '(') {
      return Fail("expected '(' after " + word);
    }
    const size_t close = text.find(')', at);
    if (close == std::string::npos) {
      return Fail("missing ')' after " + word);
    }
    const std::string inside = text.substr(at + 1, close - at - 1);
    ++at;
    bool parsed = false;
    if (word == "bytes") {
      parsed = ParseBytesHelper(inside, value);
    } else if (word == "ramp") {
      parsed = ParseRampHelper(inside, value);
    } else {
      parsed = ParseInt32ListHelper(inside, value);
    }
    if (parsed) {
      at = close + 1;
    }
    return parsed;
  }

  bool ParseBytesHelper(const std::string& inside, flutter::EncodableValue* value) {
    const std::string trimmed = Trim(inside);
    if (trimmed.compare(0, 3, "len") != 0) {
      std::vector<uint8_t> bytes;
      if (!ParseHexBytes(trimmed, &bytes)) {
        return Fail("bytes() needs hex digits in pairs");
      }
      *value = flutter::EncodableValue(std::move(bytes));
      return true;
    }
    int64_t length = -1;
    int64_t fill = 0;
    for (const Argument& argument : SplitArguments(trimmed)) {
      int64_t number = 0;
      if (!argument.has_value || !ParseInteger(argument.value, &number)) {
        return Fail("bytes() arguments are len=N and fill=X");
      }
      if (argument.key == "len") {
        length = number;
      } else if (argument.key == "fill") {
        fill = number;
      } else {
        return Fail("bytes() arguments are len=N and fill=X");
      }
    }
    if (length < 0 || static_cast<uint64_t>(length) > kMaxGeneratedBytes) {
      return Fail("bytes() length must be 0.." + std::to_string(kMaxGeneratedBytes));
    }
    if (fill < 0 || fill > 255) {
      return Fail("bytes() fill must be 0..255");
    }
    *value = flutter::EncodableValue(
        std::vector<uint8_t>(static_cast<size_t>(length), static_cast<uint8_t>(fill)));
    return true;
  }

  bool ParseRampHelper(const std::string& inside, flutter::EncodableValue* value) {
    const std::vector<Argument> arguments = SplitArguments(inside);
    if (arguments.size() != 1) {
      return Fail("ramp() takes one of identity, zero, warm, gamma=G");
    }
    const Argument& argument = arguments.front();
    if (!argument.has_value && argument.key == "identity") {
      *value = flutter::EncodableValue(GammaRamp(1.0));
    } else if (!argument.has_value && argument.key == "zero") {
      *value = flutter::EncodableValue(std::vector<uint8_t>(kRampBytes, 0));
    } else if (!argument.has_value && argument.key == "warm") {
      *value = flutter::EncodableValue(WarmRamp());
    } else if (argument.has_value && argument.key == "gamma") {
      double gamma = 0;
      if (!ParseDouble(argument.value, &gamma) || !(gamma > 0)) {
        return Fail("ramp() gamma must be a positive number");
      }
      *value = flutter::EncodableValue(GammaRamp(gamma));
    } else {
      return Fail("ramp() takes one of identity, zero, warm, gamma=G");
    }
    return true;
  }

  bool ParseInt32ListHelper(const std::string& inside, flutter::EncodableValue* value) {
    std::vector<int32_t> list;
    for (const Argument& argument : SplitArguments(inside)) {
      int64_t number = 0;
      if (argument.has_value || !ParseInteger(argument.key, &number) ||
          number < std::numeric_limits<int32_t>::min() ||
          number > std::numeric_limits<int32_t>::max()) {
        return Fail("i32list() takes 32-bit integers");
      }
      list.push_back(static_cast<int32_t>(number));
    }
    *value = flutter::EncodableValue(std::move(list));
    return true;
  }

  const std::string& text;
  size_t at = 0;
  std::string failure;
};

}  // namespace

bool ParseScenarioValue(const std::string& text, flutter::EncodableValue* value,
                        std::string* error) {
  std::string ignored;
  return Parser(text).ParseAll(value, error != nullptr ? error : &ignored);
}

bool ParseScenarioInteger(const std::string& text, int64_t* result) {
  return ParseInteger(text, result);
}

bool ParseHexBytes(const std::string& text, std::vector<uint8_t>* bytes) {
  std::vector<uint8_t> parsed;
  size_t at = 0;
  while (at < text.size()) {
    if (IsBlank(text[at])) {
      ++at;
      continue;
    }
    if (at + 1 >= text.size()) {
      return false;
    }
    const int high = HexDigit(text[at]);
    const int low = HexDigit(text[at + 1]);
    if (high < 0 || low < 0) {
      return false;
    }
    parsed.push_back(static_cast<uint8_t>(high * 16 + low));
    at += 2;
  }
  *bytes = std::move(parsed);
  return true;
}

std::vector<uint8_t> GammaRamp(double gamma) {
  std::vector<uint8_t> ramp(kRampBytes, 0);
  for (size_t i = 0; i < kRampEntries; ++i) {
    const double level = static_cast<double>(i) / 255.0;
    const long entry = std::lround(65535.0 * std::pow(level, 1.0 / gamma));
    for (size_t channel = 0; channel < 3; ++channel) {
      PutEntry(&ramp, channel, i, entry);
    }
  }
  return ramp;
}

std::vector<uint8_t> WarmRamp() {
  static const double kFactors[3] = {1.0, 0.85, 0.65};
  std::vector<uint8_t> ramp(kRampBytes, 0);
  for (size_t i = 0; i < kRampEntries; ++i) {
    const double identity = static_cast<double>(i * 257);
    for (size_t channel = 0; channel < 3; ++channel) {
      PutEntry(&ramp, channel, i, std::lround(identity * kFactors[channel]));
    }
  }
  return ramp;
}

}  // namespace testbed
