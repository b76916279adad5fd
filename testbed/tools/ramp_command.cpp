#include "testbed/tools/ramp_command.h"

#include <cerrno>
#include <cstdlib>

namespace probe {

namespace {

bool ParseDouble(const std::string& text, double* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtod(text.c_str(), &end);
  return errno == 0 && end != nullptr && *end == '\0';
}

bool ParseInt(const std::string& text, int* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || end == nullptr || *end != '\0' || parsed < 0 || parsed > 65535) return false;
  *value = static_cast<int>(parsed);
  return true;
}

}  // namespace

bool ParseRampCommand(const std::vector<std::string>& args, bool can_set, RampCommand* command,
                      std::string* error) {
  RampCommand result;
  bool has_action = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool takes_value = arg == "--set" || arg == "--set-gamma" || arg == "--expect" ||
                             arg == "--expect-gamma" || arg == "--tolerance";
    if (takes_value && i + 1 >= args.size()) {
      *error = arg + " needs a value";
      return false;
    }
    if (arg == "--tolerance") {
      if (!ParseInt(args[++i], &result.tolerance)) {
        *error = "bad tolerance: " + args[i];
        return false;
      }
      continue;
    }
    if (has_action) {
      *error = "one action at a time: " + arg;
      return false;
    }
    has_action = true;
    const bool writes = arg == "--set" || arg == "--set-gamma" || arg == "--reset";
    if (writes && !can_set) {
      *error = arg + ": this probe only reads";
      return false;
    }
    if (arg == "--all") {
      result.action = RampCommand::Action::kPrintAll;
    } else if (arg == "--reset") {
      result.action = RampCommand::Action::kSet;
      MakeNamedRamp("identity", &result.ramp);
    } else if (arg == "--set" || arg == "--expect") {
      result.action = arg == "--set" ? RampCommand::Action::kSet : RampCommand::Action::kExpect;
      if (!MakeNamedRamp(args[++i], &result.ramp)) {
        *error = "unknown ramp: " + args[i] + " (identity, warm, dim, zero)";
        return false;
      }
    } else if (arg == "--set-gamma" || arg == "--expect-gamma") {
      result.action =
          arg == "--set-gamma" ? RampCommand::Action::kSet : RampCommand::Action::kExpect;
      double gamma = 0.0;
      if (!ParseDouble(args[++i], &gamma) || !MakeGammaRamp(gamma, &result.ramp)) {
        *error = "bad gamma: " + args[i];
        return false;
      }
    } else {
      *error = "unknown argument: " + arg;
      return false;
    }
  }
  *command = result;
  return true;
}

int RunRampCommand(const RampCommand& command, const RampReader& read, const RampWriter& write,
                   std::string* out, std::string* err) {
  if (command.action == RampCommand::Action::kSet) {
    if (!write(command.ramp)) {
      *err += "setting the ramp failed (refused)\n";
      return kExitFailed;
    }
    *out += FormatSamples(command.ramp) + "\n";
    return kExitOk;
  }
  Ramp screen;
  if (!read(&screen) || screen.size() != kRampEntries) {
    *err += "reading the ramp failed\n";
    return kExitFailed;
  }
  switch (command.action) {
    case RampCommand::Action::kPrintAll:
      *out += FormatAll(screen);
      return kExitOk;
    case RampCommand::Action::kExpect: {
      const int difference = MaxSampleDifference(screen, command.ramp);
      *out += FormatSamples(screen) + "\n";
      if (difference > command.tolerance) {
        *err += "ramp differs by " + std::to_string(difference) + " (tolerance " +
                std::to_string(command.tolerance) + "); expected " + FormatSamples(command.ramp) +
                "\n";
        return kExitFailed;
      }
      return kExitOk;
    }
    default:
      *out += FormatSamples(screen) + "\n";
      return kExitOk;
  }
}

}  // namespace probe
