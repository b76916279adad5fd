#include "window/win32_window.h"

#include <dwmapi.h>

#include <cmath>
#include <cstdint>

#include "base/unique_module.h"
#include "client/embedder.h"

const wchar_t kWindowClassName[] = L"FLUTTER_RUNNER_WIN32_WINDOW";

namespace {

constexpr int kIconResourceId = 101;
constexpr double kBaseDpi = 96.0;
constexpr wchar_t kThemeSubkey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
constexpr wchar_t kThemeValue[] = L"AppsUseLightTheme";
// DWMWA_USE_IMMERSIVE_DARK_MODE; older SDK headers lack the name.
constexpr DWORD kImmersiveDarkModeAttribute = 20;

// Process-wide: live window objects, and whether the class is registered.
int32_t active_window_count = 0;

struct ClassRegistration {
  bool class_registered = false;
};

ClassRegistration& Registration() {
  // Created on first use and never freed: it must outlive every window object.
  static ClassRegistration* registration = new ClassRegistration();
  return *registration;
}

void RegisterWindowClass() {
  ClassRegistration& registration = Registration();
  if (registration.class_registered) {
    return;
  }
  WNDCLASSW window_class = {};
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = kWindowClassName;
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.cbClsExtra = 0;
  window_class.cbWndExtra = 0;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.hIcon = LoadIconW(window_class.hInstance, MAKEINTRESOURCEW(kIconResourceId));
  window_class.hbrBackground = nullptr;
  window_class.lpszMenuName = nullptr;
  window_class.lpfnWndProc = Win32Window::WndProc;
  RegisterClassW(&window_class);
  registration.class_registered = true;
}

void UnregisterWindowClass() {
  UnregisterClassW(kWindowClassName, nullptr);
  Registration().class_registered = false;
}

// Lets the non-client area follow the monitor's DPI on systems that have the call.
void EnableFullDpiSupportIfAvailable(HWND hwnd) {
  const UniqueModule user32(LoadLibraryA("User32.dll"));
  if (!user32) {
    return;
  }
  using EnableNonClientDpiScalingFunction = BOOL(WINAPI*)(HWND);
  auto enable = reinterpret_cast<EnableNonClientDpiScalingFunction>(
      reinterpret_cast<void*>(GetProcAddress(user32.Get(), "EnableNonClientDpiScaling")));
  if (enable != nullptr) {
    enable(hwnd);
  }
}

}  // namespace

int32_t ScaleForDpi(int32_t value, double scale) {
  const double scaled = static_cast<double>(value) * scale;
  // A result outside 32 bits (or a NaN scale) has no meaningful truncation; clamp it
  // instead of converting out of range.
  if (std::isnan(scaled)) {
    return 0;
  }
  if (scaled <= static_cast<double>(INT32_MIN)) {
    return INT32_MIN;
  }
  if (scaled >= static_cast<double>(INT32_MAX)) {
    return INT32_MAX;
  }
  return static_cast<int32_t>(scaled);
}

BOOL DarkTitleBarFor(DWORD apps_use_light_theme) {
  return apps_use_light_theme == 0 ? TRUE : FALSE;
}

std::optional<BOOL> ReadDarkTitleBarPreference() {
  DWORD value = 0;
  DWORD size = sizeof(value);
  const LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, kThemeSubkey, kThemeValue,
                                      RRF_RT_REG_DWORD, nullptr, &value, &size);
  if (status != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return DarkTitleBarFor(value);
}

Win32Window::Win32Window() { ++active_window_count; }

Win32Window::~Win32Window() {
  --active_window_count;
  Destroy();
}

bool Win32Window::Create(const std::wstring& title, const Point& origin, const Size& size) {
  Destroy();
  RegisterWindowClass();

  const POINT target_point = {static_cast<LONG>(origin.x), static_cast<LONG>(origin.y)};
  HMONITOR monitor = MonitorFromPoint(target_point, MONITOR_DEFAULTTONEAREST);
  const UINT dpi = FlutterDesktopGetDpiForMonitor(monitor);
  const double scale = dpi / kBaseDpi;

  HWND window = CreateWindowExW(0, kWindowClassName, title.c_str(), WS_OVERLAPPEDWINDOW,
                                ScaleForDpi(origin.x, scale), ScaleForDpi(origin.y, scale),
                                ScaleForDpi(size.width, scale), ScaleForDpi(size.height, scale),
                                nullptr, nullptr, GetModuleHandleW(nullptr), this);
  if (window == nullptr) {
    return false;
  }
  UpdateTheme(window);
  return OnCreate();
}

bool Win32Window::Show() { return ShowWindow(window_handle, SW_SHOWNORMAL) != 0; }

void Win32Window::Destroy() {
  OnDestroy();
  if (window_handle != nullptr) {
    DestroyWindow(window_handle);
    window_handle = nullptr;
  }
  if (active_window_count == 0) {
    UnregisterWindowClass();
  }
}

HWND Win32Window::GetHandle() const { return window_handle; }

void Win32Window::SetQuitOnClose(bool quit) { quit_on_close = quit; }

RECT Win32Window::GetClientArea() const {
  RECT frame = {};
  GetClientRect(window_handle, &frame);
  return frame;
}

void Win32Window::SetChildContent(HWND child) {
  child_content = child;
  SetParent(child, window_handle);
  const RECT frame = GetClientArea();
  MoveWindow(child, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
             TRUE);
  SetFocus(child_content);
}

LRESULT CALLBACK Win32Window::WndProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create_struct = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(create_struct->lpCreateParams));
    EnableFullDpiSupportIfAvailable(hwnd);
    auto* that = static_cast<Win32Window*>(create_struct->lpCreateParams);
    if (that != nullptr) {
      that->window_handle = hwnd;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }
  auto* that = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (that != nullptr) {
    return that->MessageHandler(hwnd, message, wparam, lparam);
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

LRESULT Win32Window::MessageHandler(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DESTROY:
      window_handle = nullptr;
      Destroy();
      if (quit_on_close) {
        PostQuitMessage(0);
      }
      return 0;

    case WM_SIZE: {
      const RECT frame = GetClientArea();
      if (child_content != nullptr) {
        MoveWindow(child_content, frame.left, frame.top, frame.right - frame.left,
                   frame.bottom - frame.top, TRUE);
      }
      return 0;
    }

    case WM_ACTIVATE:
      if (child_content != nullptr) {
        SetFocus(child_content);
      }
      return 0;

    case WM_DPICHANGED: {
      const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
      if (suggested == nullptr) {
        return 0;
      }
      SetWindowPos(hwnd, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }

    case WM_DWMCOLORIZATIONCOLORCHANGED:
      UpdateTheme(hwnd);
      return 0;
  }
  // The stored handle, not hwnd, on purpose: after WM_DESTROY it is null, so the closing
  // WM_NCDESTROY reaches DefWindowProcW with a null handle, which does nothing.
  return DefWindowProcW(window_handle, message, wparam, lparam);
}

bool Win32Window::OnCreate() { return true; }

void Win32Window::OnDestroy() {}

void Win32Window::UpdateTheme(HWND hwnd) {
  const std::optional<BOOL> dark = ReadDarkTitleBarPreference();
  if (!dark) {
    return;
  }
  BOOL enable_dark_mode = *dark;
  DwmSetWindowAttribute(hwnd, kImmersiveDarkModeAttribute, &enable_dark_mode,
                        sizeof(enable_dark_mode));
}
