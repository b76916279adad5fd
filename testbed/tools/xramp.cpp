// xramp: reads the X server's gamma ramp through XF86VidMode, independently of Wine, and prints
// it as ramp_probe.exe does.
//   xramp [--all | --expect NAME | --expect-gamma G] [--tolerance N]   (uses $DISPLAY)
#include <X11/Xlib.h>
#include <X11/extensions/xf86vmode.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "testbed/tools/ramp_command.h"

namespace {

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};

bool ReadXRamp(probe::Ramp* ramp) {
  std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
  if (!display) {
    std::fprintf(stderr, "xramp: cannot open display %s\n", XDisplayName(nullptr));
    return false;
  }
  const int screen = DefaultScreen(display.get());
  int size = 0;
  if (!XF86VidModeGetGammaRampSize(display.get(), screen, &size) || size < 2) {
    std::fprintf(stderr, "xramp: no gamma ramp (XF86VidMode missing?)\n");
    return false;
  }
  std::vector<unsigned short> values(3 * static_cast<std::size_t>(size));
  if (!XF86VidModeGetGammaRamp(display.get(), screen, size, values.data(), values.data() + size,
                               values.data() + 2 * size)) {
    return false;
  }
  *ramp = probe::ScaleRamp(std::vector<std::uint16_t>(values.begin(), values.end()), size);
  return !ramp->empty();
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  probe::RampCommand command;
  std::string error;
  if (!probe::ParseRampCommand(args, false, &command, &error)) {
    std::fprintf(stderr, "xramp: %s\n", error.c_str());
    return probe::kExitUsage;
  }
  std::string out;
  std::string err;
  const int code = probe::RunRampCommand(
      command, ReadXRamp, [](const probe::Ramp&) { return false; }, &out, &err);
  std::fputs(out.c_str(), stdout);
  if (!err.empty()) std::fprintf(stderr, "xramp: %s", err.c_str());
  return code;
}
