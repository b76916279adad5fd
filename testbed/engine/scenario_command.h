// One line of a scenario file, parsed: what the scripted user interface does next. Messages
// are raw bytes in hex; the test that writes the scenario encodes them.
#ifndef TESTBED_ENGINE_SCENARIO_COMMAND_H_
#define TESTBED_ENGINE_SCENARIO_COMMAND_H_

#include <cstdint>
#include <string>
#include <vector>

#include "testbed/engine/display_gamma.h"

namespace testbed {

constexpr int64_t kDefaultAwaitTimeoutMs = 30000;
// A day: longer waits are typing mistakes, not tests.
constexpr int64_t kMaxWaitMs = 24 * 60 * 60 * 1000;

struct ScenarioCommand {
  enum class Kind { kNothing, kSend, kWait, kAwait, kPost, kMark, kClose, kMemory, kGamma };

  Kind kind = Kind::kNothing;
  std::string channel;         // send
  std::vector<uint8_t> bytes;  // send
  int64_t milliseconds = 0;    // wait, await (timeout)
  std::string path;            // await
  uint32_t message = 0;        // post
  uint64_t wparam = 0;         // post
  int64_t lparam = 0;          // post
  std::string text;            // mark; gamma: the display
  // gamma: what happens to the display
  DisplayGammaAction action = DisplayGammaAction::kReset;
};

// Parses one line (without its line end):
//   send CHANNEL HEX|-   wait MS   await PATH [TIMEOUT_MS]   post MESSAGE WPARAM LPARAM
//   mark TEXT            close                memory
//   gamma DISPLAY reset|refuse|accept    (the display gamma model's outside actions)
// Blank and comment lines give kNothing. On failure returns false and says why in error.
bool ParseScenarioCommand(const std::string& line, ScenarioCommand* command, std::string* error);

}  // namespace testbed

#endif  // TESTBED_ENGINE_SCENARIO_COMMAND_H_
