#include "testbed/engine/scenario_command.h"

#include <limits>
#include <memory>
#include <utility>

#include "codec/method_call.h"
#include "codec/standard_method_codec.h"
#include "testbed/engine/scenario_value.h"

namespace testbed {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Splits off the first blank-separated word; rest gets what follows, blanks trimmed.
std::string NextWord(const std::string& text, std::string* rest) {
  size_t begin = 0;
  while (begin < text.size() && IsBlank(text[begin])) {
    ++begin;
  }
  size_t end = begin;
  while (end < text.size() && !IsBlank(text[end])) {
    ++end;
  }
  size_t next = end;
  while (next < text.size() && IsBlank(text[next])) {
    ++next;
  }
  size_t last = text.size();
  while (last > next && IsBlank(text[last - 1])) {
    --last;
  }
  *rest = text.substr(next, last - next);
  return text.substr(begin, end - begin);
}

// The method name: a bare word, or a quoted string (for names with blanks or escapes).
bool TakeMethodName(const std::string& text, std::string* name, std::string* rest,
                    std::string* error) {
  if (text.empty() || text[0] != '"') {
    *name = NextWord(text, rest);
    return !name->empty();
  }
  size_t end = 1;
  while (end < text.size() && text[end] != '"') {
    end += text[end] == '\\' ? 2 : 1;
  }
  if (end >= text.size()) {
    *error = "unterminated method name";
    return false;
  }
  flutter::EncodableValue value;
  if (!ParseScenarioValue(text.substr(0, end + 1), &value, error)) {
    return false;
  }
  *name = value.Get<std::string>();
  size_t begin = end + 1;
  while (begin < text.size() && IsBlank(text[begin])) {
    ++begin;
  }
  *rest = text.substr(begin);
  return true;
}

bool ParseMessage(const std::string& word, uint32_t* message) {
  static const struct {
    const char* name;
    uint32_t message;
  } kNames[] = {{"displaychange", 126},
                {"powerbroadcast", 536},
                {"timer", 275},
                {"fontchange", 29},
                {"close", 16}};
  for (const auto& entry : kNames) {
    if (word == entry.name) {
      *message = entry.message;
      return true;
    }
  }
  int64_t number = 0;
  if (!ParseScenarioInteger(word, &number) || number < 0 ||
      number > std::numeric_limits<uint32_t>::max()) {
    return false;
  }
  *message = static_cast<uint32_t>(number);
  return true;
}

bool ParseCall(const std::string& arguments, ScenarioCommand* command, std::string* error) {
  std::string rest;
  command->channel = NextWord(arguments, &rest);
  std::string value_text;
  if (command->channel.empty() || !TakeMethodName(rest, &command->method, &value_text, error)) {
    if (error->empty()) {
      *error = "call needs CHANNEL METHOD [VALUE]";
    }
    return false;
  }
  auto value = std::make_unique<flutter::EncodableValue>();
  if (!value_text.empty() && !ParseScenarioValue(value_text, value.get(), error)) {
    return false;
  }
  const flutter::MethodCall call(command->method, std::move(value));
  command->bytes = std::move(*flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(call));
  return true;
}

bool ParseSend(const std::string& arguments, ScenarioCommand* command, std::string* error) {
  std::string hex;
  command->channel = NextWord(arguments, &hex);
  if (command->channel.empty() || hex.empty()) {
    *error = "send needs CHANNEL HEX (or - for no bytes)";
    return false;
  }
  if (hex == "-") {
    command->bytes.clear();
    return true;
  }
  if (!ParseHexBytes(hex, &command->bytes)) {
    *error = "send needs hex digits in pairs";
    return false;
  }
  return true;
}

bool ParseDuration(const std::string& word, int64_t* milliseconds) {
  return ParseScenarioInteger(word, milliseconds) && *milliseconds >= 0 &&
         *milliseconds <= kMaxWaitMs;
}

bool ParseAwait(const std::string& arguments, ScenarioCommand* command, std::string* error) {
  command->path = arguments;
  command->milliseconds = kDefaultAwaitTimeoutMs;
  // A trailing number is the timeout; paths may hold blanks.
  const size_t blank = arguments.find_last_of(" \t");
  if (blank != std::string::npos) {
    int64_t timeout = 0;
    if (ParseDuration(arguments.substr(blank + 1), &timeout)) {
      command->milliseconds = timeout;
      command->path = arguments.substr(0, blank);
      while (!command->path.empty() && IsBlank(command->path.back())) {
        command->path.pop_back();
      }
    }
  }
  if (command->path.empty()) {
    *error = "await needs PATH [TIMEOUT_MS]";
    return false;
  }
  return true;
}

bool ParsePost(const std::string& arguments, ScenarioCommand* command, std::string* error) {
  std::string rest;
  const std::string message = NextWord(arguments, &rest);
  std::string lparam;
  const std::string wparam = NextWord(rest, &lparam);
  int64_t wparam_value = 0;
  int64_t lparam_value = 0;
  if (!ParseMessage(message, &command->message) || !ParseScenarioInteger(wparam, &wparam_value) ||
      !ParseScenarioInteger(lparam, &lparam_value)) {
    *error = "post needs MESSAGE WPARAM LPARAM";
    return false;
  }
  command->wparam = static_cast<uint64_t>(wparam_value);
  command->lparam = lparam_value;
  return true;
}

}  // namespace

bool ParseScenarioCommand(const std::string& line, ScenarioCommand* command, std::string* error) {
  *command = ScenarioCommand();
  error->clear();
  std::string arguments;
  const std::string verb = NextWord(line, &arguments);
  if (verb.empty() || verb[0] == '#') {
    return true;
  }
  if (verb == "call") {
    command->kind = ScenarioCommand::Kind::kCall;
    return ParseCall(arguments, command, error);
  }
  if (verb == "send") {
    command->kind = ScenarioCommand::Kind::kSend;
    return ParseSend(arguments, command, error);
  }
  if (verb == "wait") {
    command->kind = ScenarioCommand::Kind::kWait;
    if (!ParseDuration(arguments, &command->milliseconds)) {
      *error = "wait needs MS (0.." + std::to_string(kMaxWaitMs) + ")";
      return false;
    }
    return true;
  }
  if (verb == "await") {
    command->kind = ScenarioCommand::Kind::kAwait;
    return ParseAwait(arguments, command, error);
  }
  if (verb == "post") {
    command->kind = ScenarioCommand::Kind::kPost;
    return ParsePost(arguments, command, error);
  }
  if (verb == "mark") {
    command->kind = ScenarioCommand::Kind::kMark;
    command->text = arguments;
    return true;
  }
  if (verb == "close") {
    command->kind = ScenarioCommand::Kind::kClose;
    if (!arguments.empty()) {
      *error = "close takes nothing";
      return false;
    }
    return true;
  }
  *error = "unknown command '" + verb + "'";
  return false;
}

}  // namespace testbed
