// The floor for a slider drag: per ramp, only the platform work the gamma guard does for a
// "set" call (read the screen's ramp, write the new one nudged by one unit and then exact,
// append one line to a file in the temporary folder), timed per call, one call every 8 ms.
// With --guard-sequence it does what the guard's set does to the letter: a log line before the
// read, the screen's device context taken again for the writes, and the outcome's log line.
//   drag_floor.exe RAMPS_FILE [--guard-sequence]
// RAMPS_FILE holds ramps of 768 little-endian 16-bit entries. Prints the microseconds of each
// call on one line; exit 1 when a call fails.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

bool AppendLine(const char* path, const char* text) {
  std::FILE* file = std::fopen(path, "a");
  if (file == nullptr) {
    return false;
  }
  std::fprintf(file, "2026-12-07 12:00:00  %s\n", text);
  std::fclose(file);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const bool guard_sequence = argc == 3 && std::strcmp(argv[2], "--guard-sequence") == 0;
  std::FILE* input = argc == 2 || guard_sequence ? std::fopen(argv[1], "rb") : nullptr;
  if (input == nullptr) {
    std::fprintf(stderr, "usage: drag_floor.exe RAMPS_FILE [--guard-sequence]\n");
    return 2;
  }
  std::vector<WORD> ramps;
  WORD ramp[768];
  while (std::fread(ramp, sizeof(ramp), 1, input) == 1) {
    ramps.insert(ramps.end(), ramp, ramp + 768);
  }
  std::fclose(input);
  char log[MAX_PATH + 32];
  const DWORD length = GetTempPathA(MAX_PATH, log);
  if (length == 0 || length >= MAX_PATH) {
    return 1;
  }
  lstrcatA(log, "drag_floor.log");

  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  for (size_t at = 0; at < ramps.size(); at += 768) {
    WORD* wanted = &ramps[at];
    LARGE_INTEGER before;
    LARGE_INTEGER after;
    QueryPerformanceCounter(&before);
    bool done = !guard_sequence || AppendLine(log, "set: desired ramp received, guard armed");
    HDC dc = GetDC(nullptr);
    WORD current[768];
    done = done && dc != nullptr && GetDeviceGammaRamp(dc, current);
    if (guard_sequence) {
      ReleaseDC(nullptr, dc);
      dc = GetDC(nullptr);
    }
    const WORD first = wanted[0];
    wanted[0] = static_cast<WORD>(first == 0xFFFF ? first - 1 : first + 1);
    done = done && SetDeviceGammaRamp(dc, wanted);
    wanted[0] = first;
    done = done && SetDeviceGammaRamp(dc, wanted);
    ReleaseDC(nullptr, dc);
    done = done && AppendLine(log, "reassert: ramp was reset -> rewrite OK");
    QueryPerformanceCounter(&after);
    if (!done) {
      std::fprintf(stderr, "call %u failed\n", static_cast<unsigned>(at / 768));
      return 1;
    }
    const long long microseconds =
        (after.QuadPart - before.QuadPart) * 1000000 / frequency.QuadPart;
    std::printf("%lld ", microseconds);
    Sleep(8);
  }
  std::printf("\n");
  return 0;
}
