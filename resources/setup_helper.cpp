// setup_helper.exe: the setup program's and the uninstaller's dealings with the running app and
// the screen, which NSIS script cannot say plainly. It ships inside the setup program only.
//   close EXE    asks every copy of EXE with a window in this session to close as a user would
//                (WM_CLOSE to its top-level window) and waits up to 15 s for each to end
//   start EXE    starts EXE with no arguments as the signed-in user, never elevated
//   identity     writes the identity ramp to every display and the whole screen, then asks
//                Windows to load the display calibration again
// Exit code 0 when done, 1 when not (a copy still running, no way to start it, a display that
// refused the ramp), 2 on usage errors.
#include <windows.h>

#include <exdisp.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shobjidl.h>
#include <taskschd.h>
#include <wrl/client.h>

#include <cwchar>

using Microsoft::WRL::ComPtr;

namespace {

// The class window/win32_window.cpp registers for the app's one top-level window.
constexpr wchar_t kWindowClass[] = L"FLUTTER_RUNNER_WIN32_WINDOW";
constexpr DWORD kCloseTimeoutMs = 15000;
constexpr DWORD kPathLength = MAX_PATH * 2;
// More copies than any user runs; the app itself allows one per exe path.
constexpr int kMostCopies = 16;
// The Task Scheduler's class; MinGW declares it but its libraries do not define it.
constexpr CLSID kTaskScheduler = {
    0x0F87369F, 0xA4E5, 0x4CFC, {0xBD, 0x3E, 0x73, 0xE6, 0x15, 0x45, 0x72, 0xDD}};

// The long, full form, so that a path spelled another way still names the same file. Fixed
// buffers, no C++ strings: the helper ships twice inside the setup program, so it stays small.
void Canonical(const wchar_t* path, wchar_t (&out)[kPathLength]) {
  wchar_t full[kPathLength] = {};
  if (GetFullPathNameW(path, kPathLength, full, nullptr) == 0) {
    lstrcpynW(full, path, kPathLength);
  }
  const DWORD length = GetLongPathNameW(full, out, kPathLength);
  if (length == 0 || length >= kPathLength) {
    lstrcpynW(out, full, kPathLength);
  }
}

bool RunsFrom(HANDLE process, const wchar_t* exe) {
  wchar_t image[kPathLength] = {};
  wchar_t canonical[kPathLength] = {};
  DWORD length = kPathLength;
  if (!QueryFullProcessImageNameW(process, 0, image, &length)) {
    return false;
  }
  Canonical(image, canonical);
  return CompareStringOrdinal(canonical, -1, exe, -1, TRUE) == CSTR_EQUAL;
}

int Close(const wchar_t* exe) {
  wchar_t wanted[kPathLength] = {};
  Canonical(exe, wanted);
  HANDLE closing[kMostCopies] = {};
  int count = 0;
  HWND window = nullptr;
  while (count < kMostCopies &&
         (window = FindWindowExW(nullptr, window, kWindowClass, nullptr)) != nullptr) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, id);
    if (process == nullptr) {
      continue;
    }
    if (RunsFrom(process, wanted) && PostMessageW(window, WM_CLOSE, 0, 0)) {
      closing[count++] = process;
    } else {
      CloseHandle(process);
    }
  }
  const ULONGLONG deadline = GetTickCount64() + kCloseTimeoutMs;
  int result = 0;
  for (int i = 0; i < count; ++i) {
    const ULONGLONG now = GetTickCount64();
    const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
    if (WaitForSingleObject(closing[i], left) != WAIT_OBJECT_0) {
      result = 1;
    }
    CloseHandle(closing[i]);
  }
  return result;
}

bool Elevated() {
  HANDLE token = nullptr;
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return true;  // unknown: never risk an elevated start
  }
  const BOOL read = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
  CloseHandle(token);
  return !read || elevation.TokenIsElevated != 0;
}

struct Bstr {
  explicit Bstr(const wchar_t* text) : value(SysAllocString(text)) {}
  ~Bstr() { SysFreeString(value); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR value;
};

// The desktop's shell (Explorer, running unelevated as the signed-in user) starts the program:
// its IShellDispatch2, reached through the desktop window's view.
bool StartThroughShell(const wchar_t* exe, const wchar_t* folder) {
  ComPtr<IShellWindows> windows;
  if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER,
                              IID_PPV_ARGS(&windows)))) {
    return false;
  }
  VARIANT empty;
  VariantInit(&empty);
  long desktop = 0;
  ComPtr<IDispatch> found;
  ComPtr<IServiceProvider> services;
  ComPtr<IShellBrowser> browser;
  ComPtr<IShellView> view;
  ComPtr<IDispatch> background;
  ComPtr<IShellFolderViewDual> folder_view;
  ComPtr<IDispatch> application;
  ComPtr<IShellDispatch2> shell;
  if (windows->FindWindowSW(&empty, &empty, SWC_DESKTOP, &desktop, SWFO_NEEDDISPATCH, &found) !=
          S_OK ||
      FAILED(found.As(&services)) ||
      FAILED(services->QueryService(SID_STopLevelBrowser, IID_PPV_ARGS(&browser))) ||
      FAILED(browser->QueryActiveShellView(&view)) ||
      FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_PPV_ARGS(&background))) ||
      FAILED(background.As(&folder_view)) || FAILED(folder_view->get_Application(&application)) ||
      FAILED(application.As(&shell))) {
    return false;
  }
  Bstr file(exe);
  Bstr directory(folder);
  Bstr open(L"open");
  VARIANT directory_value = empty;
  directory_value.vt = VT_BSTR;
  directory_value.bstrVal = directory.value;
  VARIANT operation = empty;
  operation.vt = VT_BSTR;
  operation.bstrVal = open.value;
  VARIANT show = empty;
  show.vt = VT_I4;
  show.lVal = SW_SHOWNORMAL;
  return SUCCEEDED(shell->ShellExecute(file.value, empty, directory_value, operation, show));
}

// The app runs in its own folder, where its data folder is, as the shortcut starts it.
int Start(const wchar_t* exe) {
  wchar_t path[kPathLength] = {};
  wchar_t folder[kPathLength] = {};
  Canonical(exe, path);
  lstrcpynW(folder, path, kPathLength);
  wchar_t* name = std::wcsrchr(folder, L'\\');
  if (name != nullptr) {
    *name = L'\0';
  }
  if (!Elevated()) {
    return reinterpret_cast<INT_PTR>(
               ShellExecuteW(nullptr, L"open", path, nullptr, folder, SW_SHOWNORMAL)) > 32
               ? 0
               : 1;
  }
  return StartThroughShell(path, folder) ? 0 : 1;
}

bool WriteIdentity(HDC context) {
  WORD ramp[3][256];
  for (int channel = 0; channel < 3; ++channel) {
    for (int i = 0; i < 256; ++i) {
      ramp[channel][i] = static_cast<WORD>(i * 257);
    }
  }
  return context != nullptr && SetDeviceGammaRamp(context, ramp) != FALSE;
}

BOOL CALLBACK IdentityOnMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM all_written) {
  MONITORINFOEXW info = {};
  info.cbSize = sizeof info;
  HDC context = GetMonitorInfoW(monitor, &info)
                    ? CreateDCW(L"DISPLAY", info.szDevice, nullptr, nullptr)
                    : nullptr;
  if (!WriteIdentity(context)) {
    *reinterpret_cast<bool*>(all_written) = false;
  }
  if (context != nullptr) {
    DeleteDC(context);
  }
  return TRUE;
}

// Where the task exists (not under Wine), it loads each display's calibration again.
void RunCalibrationLoader() {
  ComPtr<ITaskService> service;
  ComPtr<ITaskFolder> folder;
  ComPtr<IRegisteredTask> task;
  ComPtr<IRunningTask> running;
  VARIANT empty;
  VariantInit(&empty);
  Bstr folder_name(L"\\Microsoft\\Windows\\WindowsColorSystem");
  Bstr task_name(L"Calibration Loader");
  if (SUCCEEDED(CoCreateInstance(kTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_PPV_ARGS(&service))) &&
      SUCCEEDED(service->Connect(empty, empty, empty, empty)) &&
      SUCCEEDED(service->GetFolder(folder_name.value, &folder)) &&
      SUCCEEDED(folder->GetTask(task_name.value, &task))) {
    task->Run(empty, &running);
  }
}

int Identity() {
  bool all_written = true;
  EnumDisplayMonitors(nullptr, nullptr, IdentityOnMonitor, reinterpret_cast<LPARAM>(&all_written));
  HDC screen = GetDC(nullptr);
  all_written = WriteIdentity(screen) && all_written;
  if (screen != nullptr) {
    ReleaseDC(nullptr, screen);
  }
  RunCalibrationLoader();
  return all_written ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    return 1;
  }
  int result = 2;
  if (argc == 3 && std::wcscmp(argv[1], L"close") == 0) {
    result = Close(argv[2]);
  } else if (argc == 3 && std::wcscmp(argv[1], L"start") == 0) {
    result = Start(argv[2]);
  } else if (argc == 2 && std::wcscmp(argv[1], L"identity") == 0) {
    result = Identity();
  }
  CoUninitialize();
  return result;
}
