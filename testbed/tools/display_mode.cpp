// display_mode.exe [WIDTH HEIGHT]: switches the display mode with ChangeDisplaySettingsExW, so
// that windows receive WM_DISPLAYCHANGE (a mode switch from outside Wine sends none). Without
// arguments it prints the current mode.
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

bool ParseDimension(const wchar_t* text, DWORD* value) {
  wchar_t* end = nullptr;
  const unsigned long parsed = std::wcstoul(text, &end, 10);
  if (end == text || *end != L'\0' || parsed == 0 || parsed > 32768) return false;
  *value = static_cast<DWORD>(parsed);
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  DEVMODEW mode = {};
  mode.dmSize = sizeof mode;
  if (argc == 1) {
    if (!EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode)) {
      std::fprintf(stderr, "display_mode: cannot read the current mode\n");
      return 1;
    }
    std::printf("%lux%lu\n", static_cast<unsigned long>(mode.dmPelsWidth),
                static_cast<unsigned long>(mode.dmPelsHeight));
    return 0;
  }
  if (argc != 3 || !ParseDimension(argv[1], &mode.dmPelsWidth) ||
      !ParseDimension(argv[2], &mode.dmPelsHeight)) {
    std::fprintf(stderr, "usage: display_mode.exe [WIDTH HEIGHT]\n");
    return 2;
  }
  mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
  const LONG result = ChangeDisplaySettingsExW(nullptr, &mode, nullptr, 0, nullptr);
  if (result != DISP_CHANGE_SUCCESSFUL) {
    std::fprintf(stderr, "display_mode: ChangeDisplaySettingsExW returned %ld\n",
                 static_cast<long>(result));
    return 1;
  }
  std::printf("%lux%lu\n", static_cast<unsigned long>(mode.dmPelsWidth),
              static_cast<unsigned long>(mode.dmPelsHeight));
  return 0;
}
