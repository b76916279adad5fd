// monitors.exe: prints each monitor of the desktop as Windows programs see it, one a line:
// device name, rectangle, and "primary" for the primary one; then "N monitor(s)".
//   monitors.exe [--expect N]    exit 1 when the count is not N
//   monitors.exe --until N       asks again until the count is N (a monitor switched on or off
//                                from outside reaches Wine's programs a little later); exit 1
//                                if that takes over 30 s
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

struct Listing {
  bool print;
  int count;
};

BOOL CALLBACK VisitMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  Listing& listing = *reinterpret_cast<Listing*>(data);
  ++listing.count;
  MONITORINFOEXW info = {};
  info.cbSize = sizeof info;
  if (!listing.print || !GetMonitorInfoW(monitor, &info)) return TRUE;
  const RECT& r = info.rcMonitor;
  std::printf("%ls (%ld,%ld)-(%ld,%ld)%s\n", info.szDevice, static_cast<long>(r.left),
              static_cast<long>(r.top), static_cast<long>(r.right), static_cast<long>(r.bottom),
              (info.dwFlags & MONITORINFOF_PRIMARY) != 0 ? " primary" : "");
  return TRUE;
}

int Count(bool print) {
  Listing listing = {print, 0};
  if (!EnumDisplayMonitors(nullptr, nullptr, VisitMonitor, reinterpret_cast<LPARAM>(&listing))) {
    return -1;
  }
  return listing.count;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  long wanted = -1;
  bool until = false;
  if (argc == 3) {
    until = std::wcscmp(argv[1], L"--until") == 0;
    wchar_t* end = nullptr;
    wanted = std::wcstol(argv[2], &end, 10);
    if ((!until && std::wcscmp(argv[1], L"--expect") != 0) || end == argv[2] || *end != L'\0' ||
        wanted < 0) {
      argc = 0;
    }
  }
  if (argc != 1 && argc != 3) {
    std::fprintf(stderr, "usage: monitors.exe [--expect N | --until N]\n");
    return 2;
  }
  const DWORD start = GetTickCount();
  while (until && Count(false) != wanted && GetTickCount() - start < 30000) Sleep(20);
  const int count = Count(true);
  if (count < 0) {
    std::fprintf(stderr, "monitors: EnumDisplayMonitors failed\n");
    return 1;
  }
  std::printf("%d monitor(s)\n", count);
  return wanted < 0 || count == wanted ? 0 : 1;
}
