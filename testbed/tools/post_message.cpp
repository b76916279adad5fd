// post_message.exe TITLE MESSAGE WPARAM LPARAM: posts a message to the top-level window with
// that title, e.g. WM_POWERBROADCAST (536) with PBT_APMRESUMEAUTOMATIC (18), or WM_CLOSE (16).
// Numbers are decimal or 0x-hexadecimal. Exit code 1 when no such window exists.
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

bool ParseNumber(const wchar_t* text, unsigned long long* value) {
  wchar_t* end = nullptr;
  *value = std::wcstoull(text, &end, 0);
  return end != text && *end == L'\0';
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  unsigned long long message = 0;
  unsigned long long wparam = 0;
  unsigned long long lparam = 0;
  if (argc != 5 || !ParseNumber(argv[2], &message) || message > 0xFFFFFFFFull ||
      !ParseNumber(argv[3], &wparam) || !ParseNumber(argv[4], &lparam)) {
    std::fprintf(stderr, "usage: post_message.exe TITLE MESSAGE WPARAM LPARAM\n");
    return 2;
  }
  HWND window = FindWindowW(nullptr, argv[1]);
  if (window == nullptr) {
    std::fprintf(stderr, "post_message: no window titled \"%ls\"\n", argv[1]);
    return 1;
  }
  if (!PostMessageW(window, static_cast<UINT>(message), static_cast<WPARAM>(wparam),
                    static_cast<LPARAM>(lparam))) {
    std::fprintf(stderr, "post_message: PostMessageW failed (error %lu)\n", GetLastError());
    return 1;
  }
  return 0;
}
