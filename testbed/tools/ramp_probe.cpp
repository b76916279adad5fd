// ramp_probe.exe: reads or sets the screen's gamma ramp through GDI, as the host does.
//   ramp_probe.exe [--all | --set NAME | --set-gamma G | --reset | --expect NAME ...]
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "testbed/tools/ramp_command.h"

namespace {

// The screen's device context, released on every path.
class ScreenDc {
 public:
  ScreenDc() : dc(GetDC(nullptr)) {}
  ~ScreenDc() {
    if (dc != nullptr) ReleaseDC(nullptr, dc);
  }
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  HDC get() const { return dc; }

 private:
  HDC dc;
};

bool ReadScreenRamp(probe::Ramp* ramp) {
  ScreenDc screen;
  if (screen.get() == nullptr) return false;
  probe::Ramp values(3 * probe::kRampEntries);
  if (!GetDeviceGammaRamp(screen.get(), values.data())) return false;
  *ramp = values;
  return true;
}

bool WriteScreenRamp(const probe::Ramp& ramp) {
  ScreenDc screen;
  if (screen.get() == nullptr) return false;
  probe::Ramp values = ramp;
  return SetDeviceGammaRamp(screen.get(), values.data()) != FALSE;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  probe::RampCommand command;
  std::string error;
  if (!probe::ParseRampCommand(args, true, &command, &error)) {
    std::fprintf(stderr, "ramp_probe: %s\n", error.c_str());
    return probe::kExitUsage;
  }
  std::string out;
  std::string err;
  const int code = probe::RunRampCommand(command, ReadScreenRamp, WriteScreenRamp, &out, &err);
  std::fputs(out.c_str(), stdout);
  if (!err.empty()) std::fprintf(stderr, "ramp_probe: %s", err.c_str());
  return code;
}
