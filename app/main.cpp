// Program entry: one copy per executable path, then the Flutter window and the message loop.
#include <windows.h>

#include <objbase.h>

#include <string>
#include <utility>

#include "app/command_line.h"
#include "app/console.h"
#include "app/single_instance.h"
#include "base/unique_handle.h"
#include "client/engine_project.h"
#include "window/flutter_window.h"

namespace {

constexpr wchar_t kProjectDirectory[] = L"data";
constexpr wchar_t kWindowTitle[] = L"veskaro_flutter";
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;

}  // namespace

int APIENTRY wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
  if (!AttachConsole(ATTACH_PARENT_PROCESS) && IsDebuggerPresent()) {
    OpenOutputConsole();
  }

  const std::wstring mutex_name = BuildMutexName(ReadModulePath());
  UniqueHandle mutex(CreateMutexW(nullptr, FALSE, mutex_name.c_str()));
  if (!mutex) {
    return kExitFailure;
  }
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    // Another copy from this path runs: bring it forward; only existence is tested.
    ActivateRunningWindow();
    return kExitOk;
  }

  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  flutter::EngineProject project(kProjectDirectory);
  project.SetEntrypointArguments(ReadCommandLineArguments());

  FlutterWindow window(project);
  if (!window.Create(kWindowTitle, Win32Window::Point(10, 10), Win32Window::Size(680, 460))) {
    // COM stays initialised on this path; the process ends right away.
    mutex.Reset();
    return kExitFailure;
  }
  window.SetQuitOnClose(true);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }

  CoUninitialize();
  mutex.Reset();
  return kExitOk;
}
