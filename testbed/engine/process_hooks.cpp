// Environment switches for tests that start the host as a separate process, where the
// control API cannot be called:
//   TESTBED_FAIL_VIEW_CONTROLLER=1  every view-controller creation fails;
//   TESTBED_PROPERTIES_FILE=<path>  at exit, what the host gave the engine is written there:
//     "engines N", "assets <path>", "argc N", then "arg <hex of the UTF-8 bytes>" per
//     argument, "plugin <registration function> <plug-in name>" per registration, then
//     "output resyncs N", "view thread in STA 0|1" and "characters N" (WM_CHAR messages seen);
//   TESTBED_DISPLAY_GAMMA=<path>    the host's gamma calls go to a model with a ramp per display
//     (display_gamma.h), which writes its state there; the scenario's "gamma" commands act on it.
#include <windows.h>

#include <cstdio>
#include <string>

#include "testbed/engine/display_gamma.h"
#include "testbed/engine/hex_text.h"
#include "testbed/engine/testbed_control.h"
#include "testbed/engine/testbed_state.h"

namespace {

std::string Environment(const char* name) {
  char value[1024] = {};
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
  if (length == 0 || length >= sizeof(value)) {
    return std::string();
  }
  return std::string(value, length);
}

std::string Narrow(const wchar_t* text) {
  std::string narrow;
  for (const wchar_t* c = text; c != nullptr && *c != L'\0'; ++c) {
    narrow += *c < 0x80 ? static_cast<char>(*c) : '?';
  }
  return narrow;
}

const char* Text(const char* text) { return text != nullptr ? text : ""; }

class ProcessHooks {
 public:
  ProcessHooks() : properties_file(Environment("TESTBED_PROPERTIES_FILE")) {
    if (Environment("TESTBED_FAIL_VIEW_CONTROLLER") == "1") {
      TestbedSetViewControllerCreationFails(1);
    }
    const std::string gamma_state = Environment("TESTBED_DISPLAY_GAMMA");
    if (!gamma_state.empty()) {
      testbed::InstallDisplayGamma(gamma_state);
    }
  }

  // Runs when the process unloads the engine library, after the host is done with it.
  ~ProcessHooks() {
    if (properties_file.empty()) {
      return;
    }
    FILE* out = std::fopen(properties_file.c_str(), "w");
    if (out == nullptr) {
      return;
    }
    std::fprintf(out, "engines %d\n", static_cast<int>(TestbedEngineCreateCount()));
    std::fprintf(out, "assets %s\n", Narrow(TestbedEngineAssetsPath()).c_str());
    const int32_t count = TestbedEngineArgumentCount();
    std::fprintf(out, "argc %d\n", static_cast<int>(count));
    for (int32_t i = 0; i < count; ++i) {
      std::fprintf(out, "arg %s\n", testbed::HexText(Text(TestbedEngineArgument(i))).c_str());
    }
    for (int32_t i = 0; i < TestbedPluginRegistrationCount(); ++i) {
      std::fprintf(out, "plugin %s %s\n", Text(TestbedPluginRegistrationFunction(i)),
                   Text(TestbedPluginRegistrationPluginName(i)));
    }
    const testbed::State& state = testbed::GetState();
    std::fprintf(out, "output resyncs %d\n", static_cast<int>(state.output_resyncs));
    std::fprintf(out, "view thread in STA %d\n", state.view_thread_in_sta ? 1 : 0);
    std::fprintf(out, "characters %d\n", static_cast<int>(state.characters));
    std::fclose(out);
  }

  ProcessHooks(const ProcessHooks&) = delete;
  ProcessHooks& operator=(const ProcessHooks&) = delete;

 private:
  std::string properties_file;
};

ProcessHooks hooks;

}  // namespace
