#include "testbed/engine/scenario_command.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

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

// Decimal, optionally signed, within 64 bits.
bool ParseInteger(const std::string& text, int64_t* result) {
  if (text.empty() || IsBlank(text[0])) {
    return false;
  }
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end == nullptr || *end != '\0') {
    return false;
  }
  *result = value;
  return true;
}

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

bool ParseHex(const std::string& text, std::vector<uint8_t>* bytes) {
  if (text.size() % 2 != 0) {
    return false;
  }
  bytes->reserve(text.size() / 2);
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = HexDigit(text[i]);
    const int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) {
      return false;
    }
    bytes->push_back(static_cast<uint8_t>(high * 16 + low));
  }
  return true;
}

bool ParseDuration(const std::string& word, int64_t* milliseconds) {
  return ParseInteger(word, milliseconds) && *milliseconds >= 0 && *milliseconds <= kMaxWaitMs;
}

bool ParseSend(const std::string& arguments, ScenarioCommand* command, std::string* error) {
  std::string hex;
  command->channel = NextWord(arguments, &hex);
  if (command->channel.empty() || hex.empty() || (hex != "-" && !ParseHex(hex, &command->bytes))) {
    *error = "send needs CHANNEL HEX (digits in pairs, no blanks) or CHANNEL - (no bytes)";
    return false;
  }
  return true;
}

bool ParseAwait(const std::string& arguments, ScenarioCommand* command, std::string* error) {
  command->path = arguments;
  command->milliseconds = kDefaultAwaitTimeoutMs;
  // A trailing number is the timeout; paths may hold blanks.
  const size_t blank = arguments.find_last_of(" \t");
  int64_t timeout = 0;
  if (blank != std::string::npos && ParseDuration(arguments.substr(blank + 1), &timeout)) {
    command->milliseconds = timeout;
    command->path = arguments.substr(0, blank);
    while (!command->path.empty() && IsBlank(command->path.back())) {
      command->path.pop_back();
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
  int64_t values[3] = {};
  if (!ParseInteger(message, &values[0]) || values[0] < 0 ||
      values[0] > std::numeric_limits<uint32_t>::max() || !ParseInteger(wparam, &values[1]) ||
      !ParseInteger(lparam, &values[2])) {
    *error = "post needs MESSAGE WPARAM LPARAM";
    return false;
  }
  command->message = static_cast<uint32_t>(values[0]);
  command->wparam = static_cast<uint64_t>(values[1]);
  command->lparam = values[2];
  return true;
}

bool ParseGamma(const std::string& arguments, ScenarioCommand* command, std::string* error) {
  std::string action;
  command->text = NextWord(arguments, &action);
  const char* const names[] = {"reset", "refuse", "accept"};
  const DisplayGammaAction actions[] = {DisplayGammaAction::kReset, DisplayGammaAction::kRefuse,
                                        DisplayGammaAction::kAccept};
  for (size_t i = 0; i < 3; ++i) {
    if (!command->text.empty() && action == names[i]) {
      command->action = actions[i];
      return true;
    }
  }
  *error = "gamma needs DISPLAY reset|refuse|accept";
  return false;
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
  if (verb == "gamma") {
    command->kind = ScenarioCommand::Kind::kGamma;
    return ParseGamma(arguments, command, error);
  }
  if (verb == "close" || verb == "memory") {
    command->kind =
        verb == "close" ? ScenarioCommand::Kind::kClose : ScenarioCommand::Kind::kMemory;
    if (!arguments.empty()) {
      *error = verb + " takes nothing";
      return false;
    }
    return true;
  }
  *error = "unknown command '" + verb + "'";
  return false;
}

}  // namespace testbed
