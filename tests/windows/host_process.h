// Starts the built host as a separate process and watches it from outside.
#ifndef TESTS_WINDOWS_HOST_PROCESS_H_
#define TESTS_WINDOWS_HOST_PROCESS_H_

#include <windows.h>

#include <string>

#include "base/unique_handle.h"

class HostProcess {
 public:
  // command_line holds the arguments after the program path, already quoted.
  HostProcess(const std::wstring& executable, const std::wstring& command_line,
              const std::wstring& directory) {
    std::wstring full = L"\"" + executable + L"\" " + command_line;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (CreateProcessW(executable.c_str(), &full[0], nullptr, nullptr, FALSE, 0, nullptr,
                       directory.c_str(), &startup, &info)) {
      process.Reset(info.hProcess);
      process_id = info.dwProcessId;
      CloseHandle(info.hThread);
    }
  }
  ~HostProcess() {
    if (!process) return;
    if (WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT) {
      TerminateProcess(process.Get(), 99);
      WaitForSingleObject(process.Get(), 5000);
    }
  }
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  bool Started() const { return static_cast<bool>(process); }

  // The exit code, or -1 when the process is still running after limit_ms.
  long WaitForExit(DWORD limit_ms = 20000) {
    DWORD code = 0;
    if (!process || WaitForSingleObject(process.Get(), limit_ms) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.Get(), &code)) {
      return -1;
    }
    return static_cast<long>(code);
  }

  // Checks ready() until it holds; false once the process has ended or limit_ms has passed.
  template <typename Ready>
  bool WaitUntil(Ready ready, DWORD limit_ms = 20000) {
    const ULONGLONG deadline = GetTickCount64() + limit_ms;
    do {
      if (ready()) return true;
      if (WaitForSingleObject(process.Get(), 20) == WAIT_OBJECT_0) return false;
    } while (GetTickCount64() < deadline);
    return false;
  }

  // The process's visible top-level window of the host's class, waiting up to limit_ms.
  HWND WaitForVisibleWindow(DWORD limit_ms = 20000) {
    HWND window = nullptr;
    WaitUntil(
        [&] {
          while (
              (window = FindWindowExW(nullptr, window, L"FLUTTER_RUNNER_WIN32_WINDOW", nullptr))) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == process_id && IsWindowVisible(window)) return true;
          }
          return false;
        },
        limit_ms);
    return window;
  }

 private:
  UniqueHandle process;
  DWORD process_id = 0;
};

#endif  // TESTS_WINDOWS_HOST_PROCESS_H_
