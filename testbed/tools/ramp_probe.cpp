// ramp_probe.exe: reads or sets the screen's gamma ramp through GDI, as the host does.
//   ramp_probe.exe [--all | --set NAME | --set-gamma G | --reset | --expect NAME ...]
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/unique_any.h"
#include "testbed/tools/ramp_command.h"

namespace {

// The screen's device context, released on every path.
struct ScreenDcTraits {
  using Handle = HDC;
  static Handle Null() { return nullptr; }
  void Close(Handle dc) const { ReleaseDC(nullptr, dc); }
};
using ScreenDc = UniqueAny<ScreenDcTraits>;

bool ReadScreenRamp(probe::Ramp* ramp) {
  const ScreenDc screen(GetDC(nullptr));
  if (!screen) return false;
  probe::Ramp values(kRampEntries);
  if (!GetDeviceGammaRamp(screen.Get(), values.data())) return false;
  *ramp = values;
  return true;
}

bool WriteScreenRamp(const probe::Ramp& ramp) {
  const ScreenDc screen(GetDC(nullptr));
  if (!screen) return false;
  probe::Ramp values = ramp;
  return SetDeviceGammaRamp(screen.Get(), values.data()) != FALSE;
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
