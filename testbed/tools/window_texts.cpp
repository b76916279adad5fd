// window_texts.exe PART [BUTTON]: prints, in UTF-8, the title of every visible top-level window
// whose title contains PART and, indented, its child windows' texts. With BUTTON, clicks
// the first child button whose text is BUTTON ("&" ignored) as a user would (WM_COMMAND to its
// dialog). Exit code 1 when no such window or button exists.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::wstring Text(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  std::wstring plain;
  for (const wchar_t* c = text; *c != L'\0'; ++c) {
    if (*c != L'&') {
      plain += *c;
    }
  }
  return plain;
}

void Print(const std::wstring& text, const char* indent) {
  char utf8[4096] = {};
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8, sizeof utf8, nullptr, nullptr);
  std::printf("%s%s\n", indent, utf8);
}

struct Search {
  std::wstring part;
  std::wstring button;
  std::vector<HWND> windows;
  HWND clicked = nullptr;
};

BOOL CALLBACK OnChild(HWND child, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  const std::wstring text = Text(child);
  if (!text.empty()) {
    Print(text, "  ");
  }
  if (search->clicked == nullptr && !search->button.empty() && text == search->button) {
    search->clicked = child;
    PostMessageW(GetParent(child), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(child), BN_CLICKED),
                 reinterpret_cast<LPARAM>(child));
  }
  return TRUE;
}

BOOL CALLBACK OnTopLevel(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  if (IsWindowVisible(window) && Text(window).find(search->part) != std::wstring::npos) {
    search->windows.push_back(window);
  }
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: window_texts.exe PART [BUTTON]\n");
    return 2;
  }
  Search search;
  search.part = argv[1];
  search.button = argc == 3 ? argv[2] : L"";
  EnumWindows(OnTopLevel, reinterpret_cast<LPARAM>(&search));
  for (HWND window : search.windows) {
    Print(Text(window), "");
    EnumChildWindows(window, OnChild, reinterpret_cast<LPARAM>(&search));
  }
  return search.windows.empty() || (argc == 3 && search.clicked == nullptr) ? 1 : 0;
}
