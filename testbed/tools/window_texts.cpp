// window_texts.exe PART [BUTTON]: prints, in UTF-8, the title of every visible top-level window
// whose title contains PART, in z-order, and indented its child windows' texts ("&" left out).
// With BUTTON, clicks the first child button with that text as a user would (WM_COMMAND to its
// dialog). Exit code 1 when no such window or button exists.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

struct Search {
  std::string part;
  std::string button;
  bool found = false;
  bool clicked = false;
};

std::string Utf8(const wchar_t* text) {
  char utf8[4096] = {};
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
  std::string plain;
  for (const char* c = utf8; *c != '\0'; ++c) {
    plain += *c == '&' ? "" : std::string(1, *c);
  }
  return plain;
}

std::string Text(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return Utf8(text);
}

BOOL CALLBACK OnChild(HWND child, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  const std::string text = Text(child);
  if (!text.empty()) {
    std::printf("  %s\n", text.c_str());
  }
  if (!search->clicked && !search->button.empty() && text == search->button) {
    search->clicked = true;
    PostMessageW(GetParent(child), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(child), BN_CLICKED),
                 reinterpret_cast<LPARAM>(child));
  }
  return TRUE;
}

BOOL CALLBACK OnTopLevel(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  const std::string title = Text(window);
  if (IsWindowVisible(window) && title.find(search->part) != std::string::npos) {
    search->found = true;
    std::printf("%s\n", title.c_str());
    EnumChildWindows(window, OnChild, data);
  }
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: window_texts.exe PART [BUTTON]\n");
    return 2;
  }
  Search search{Utf8(argv[1]), argc == 3 ? Utf8(argv[2]) : ""};
  EnumWindows(OnTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found && (argc == 2 || search.clicked) ? 0 : 1;
}
