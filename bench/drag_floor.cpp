// The floor for a slider drag: per ramp, only the platform work the gamma guard must do for a
// "set" call, done the cheapest way, timed per call, one call every 8 ms:
//   its two log lines ("set: ..." and the rewrite's outcome), each with the temporary folder
//   and the local time read again and the file opened for appending, written and closed;
//   the check on every monitor of the desktop: EnumDisplayMonitors, then per monitor
//   GetMonitorInfoW, CreateDCW, the ramp read, written nudged by one unit and then exact,
//   DeleteDC; the whole screen's context when no monitor's opens.
// Variants: --whole-screen does the check through the whole screen's context as the guard's
// fallback does (taken once for the read and again for the writes); --minimum is the earlier
// floor: one context, read and two writes, one log line.
//   drag_floor.exe RAMPS_FILE [--whole-screen | --minimum]
// RAMPS_FILE holds ramps of 768 little-endian 16-bit entries. Prints "displays=N" (monitors
// served at the last call, 0 for the whole screen) and the microseconds of each call on one
// line; exit 1 when a call fails.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

enum class Variant { kDisplays, kWholeScreen, kMinimum };

char g_log_name[] = "drag_floor.log";

// The bytes the guard's log gets: "YYYY-MM-DD hh:mm:ss  text" and CRLF, appended.
bool AppendLine(const char* text) {
  char path[MAX_PATH + sizeof(g_log_name)];
  const DWORD length = GetTempPathA(MAX_PATH, path);
  if (length == 0 || length >= MAX_PATH) {
    return false;
  }
  std::memcpy(path + length, g_log_name, sizeof(g_log_name));
  SYSTEMTIME now;
  GetLocalTime(&now);
  char line[128];
  const int size =
      std::snprintf(line, sizeof(line), "%04d-%02d-%02d %02d:%02d:%02d  %s\r\n", now.wYear,
                    now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, text);
  const HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  DWORD written = 0;
  const bool done = WriteFile(file, line, static_cast<DWORD>(size), &written, nullptr) != FALSE;
  CloseHandle(file);
  return done;
}

// Written nudged, then exact, as the guard does.
bool WriteRamp(HDC dc, WORD* wanted) {
  const WORD first = wanted[0];
  wanted[0] = static_cast<WORD>(first == 0xFFFF ? first - 1 : first + 1);
  SetDeviceGammaRamp(dc, wanted);
  wanted[0] = first;
  return SetDeviceGammaRamp(dc, wanted) != FALSE;
}

bool IsReset(const WORD* current, const WORD* wanted) {
  // The guard's 21 samples: entries 32, 64, .., 224 of each channel.
  for (int color = 0; color < 3; ++color) {
    for (int entry = 32; entry < 256; entry += 32) {
      const int at = color * 256 + entry;
      const int difference = current[at] - wanted[at];
      if (difference > 512 || difference < -512) return true;
    }
  }
  return false;
}

struct Check {
  WORD* wanted;
  int served;
  bool rejected;
};

BOOL CALLBACK CheckMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  Check& check = *reinterpret_cast<Check*>(data);
  MONITORINFOEXW info = {};
  info.cbSize = sizeof(info);
  if (!GetMonitorInfoW(monitor, &info)) return TRUE;
  const HDC dc = CreateDCW(L"DISPLAY", info.szDevice, nullptr, nullptr);
  if (dc == nullptr) return TRUE;
  ++check.served;
  WORD current[768];
  if (GetDeviceGammaRamp(dc, current) && IsReset(current, check.wanted) &&
      !WriteRamp(dc, check.wanted)) {
    check.rejected = true;
  }
  DeleteDC(dc);
  return TRUE;
}

bool WholeScreen(WORD* wanted, bool one_context) {
  HDC dc = GetDC(nullptr);
  WORD current[768];
  bool done = dc != nullptr && GetDeviceGammaRamp(dc, current);
  if (!one_context) {
    ReleaseDC(nullptr, dc);
    dc = GetDC(nullptr);
  }
  done = done && WriteRamp(dc, wanted);
  ReleaseDC(nullptr, dc);
  return done;
}

}  // namespace

int main(int argc, char** argv) {
  Variant variant = Variant::kDisplays;
  if (argc == 3 && std::strcmp(argv[2], "--whole-screen") == 0) {
    variant = Variant::kWholeScreen;
  } else if (argc == 3 && std::strcmp(argv[2], "--minimum") == 0) {
    variant = Variant::kMinimum;
  } else if (argc != 2) {
    argc = 0;
  }
  std::FILE* input = argc != 0 ? std::fopen(argv[1], "rb") : nullptr;
  if (input == nullptr) {
    std::fprintf(stderr, "usage: drag_floor.exe RAMPS_FILE [--whole-screen | --minimum]\n");
    return 2;
  }
  std::vector<WORD> ramps;
  WORD ramp[768];
  while (std::fread(ramp, sizeof(ramp), 1, input) == 1) {
    ramps.insert(ramps.end(), ramp, ramp + 768);
  }
  std::fclose(input);
  const size_t calls = ramps.size() / 768;
  std::vector<long long> times(calls);
  int served = 0;

  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  for (size_t call = 0; call < calls; ++call) {
    WORD* wanted = &ramps[call * 768];
    LARGE_INTEGER before;
    LARGE_INTEGER after;
    QueryPerformanceCounter(&before);
    bool done = true;
    if (variant != Variant::kMinimum) {
      done = AppendLine("set: desired ramp received, guard armed");
    }
    if (variant == Variant::kDisplays) {
      Check check = {wanted, 0, false};
      EnumDisplayMonitors(nullptr, nullptr, CheckMonitor, reinterpret_cast<LPARAM>(&check));
      served = check.served;
      done = done && (check.served > 0 ? !check.rejected : WholeScreen(wanted, false));
    } else {
      done = done && WholeScreen(wanted, variant == Variant::kMinimum);
    }
    done = done && AppendLine("reassert: ramp was reset -> rewrite OK");
    QueryPerformanceCounter(&after);
    if (!done) {
      std::fprintf(stderr, "call %u failed\n", static_cast<unsigned>(call));
      return 1;
    }
    times[call] = (after.QuadPart - before.QuadPart) * 1000000 / frequency.QuadPart;
    Sleep(8);
  }
  std::printf("displays=%d", served);
  for (const long long microseconds : times) std::printf(" %lld", microseconds);
  std::printf("\n");
  return 0;
}
