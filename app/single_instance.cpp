#include "app/single_instance.h"

#include <cwchar>

namespace {

constexpr wchar_t kMutexNamePrefix[] = L"Local\\VeskaroCenter-";
constexpr size_t kModulePathLength = 260;

bool IsReplacedInMutexName(wchar_t c) { return c == L'\\' || c == L' ' || c == L'.' || c == L':'; }

}  // namespace

const wchar_t* const kRunningWindowTitles[5] = {L"Tarnuvo Plus", L"Tarnuvo", L"Sarvelin Plus",
                                                L"Sarvelin", L"veskaro_flutter"};

std::wstring BuildMutexName(const std::wstring& module_path) {
  std::wstring name = kMutexNamePrefix + module_path;
  for (wchar_t& c : name) {
    if (IsReplacedInMutexName(c)) {
      c = L'_';
    }
  }
  return name;
}

std::wstring ReadModulePath() {
  wchar_t buffer[kModulePathLength] = {};
  GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(kModulePathLength));
  // Older systems leave a truncated path unterminated; never read past the buffer.
  return std::wstring(buffer, wcsnlen(buffer, kModulePathLength));
}

HWND ActivateRunningWindow() {
  for (const wchar_t* title : kRunningWindowTitles) {
    HWND window = FindWindowW(nullptr, title);
    if (window != nullptr) {
      ShowWindow(window, SW_RESTORE);
      SetForegroundWindow(window);
      return window;
    }
  }
  return nullptr;
}
