#ifndef TOOLS_RAMP_COMMAND_H_
#define TOOLS_RAMP_COMMAND_H_

#include <functional>
#include <string>
#include <vector>

#include "gamma/gamma_guard.h"
#include "testbed/tools/ramp_samples.h"

namespace probe {

// What a ramp probe was asked to do, from its command line:
//   (nothing)               print the 21 samples of the screen's ramp
//   --all                   print all 768 entries
//   --set NAME | --set-gamma G | --reset      write a ramp (only where writing is allowed)
//   --expect NAME | --expect-gamma G [--tolerance N]   compare the screen's ramp with one
struct RampCommand {
  enum class Action { kPrint, kPrintAll, kSet, kExpect };
  Action action = Action::kPrint;
  Ramp ramp;  // the ramp to set or expect
  // The guard's own; Wine's read-back is quantised by up to ~200.
  int tolerance = GammaGuard::kTolerance;
};

// Exit codes shared by the probes.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // reading or writing failed, refused, or not as expected
constexpr int kExitUsage = 2;

// False with a message in `error` for a bad command line. `can_set` allows the writing actions.
bool ParseRampCommand(const std::vector<std::string>& args, bool can_set, RampCommand* command,
                      std::string* error);

using RampReader = std::function<bool(Ramp*)>;
using RampWriter = std::function<bool(const Ramp&)>;

// Carries out the command; what to print goes to `out` and `err`. Returns the exit code.
int RunRampCommand(const RampCommand& command, const RampReader& read, const RampWriter& write,
                   std::string* out, std::string* err);

}  // namespace probe

#endif  // TOOLS_RAMP_COMMAND_H_
