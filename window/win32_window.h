// The application's top-level window: class registration, DPI-scaled creation, message
// routing to a virtual handler, child content, title-bar theme and quit-on-close.
#ifndef WINDOW_WIN32_WINDOW_H_
#define WINDOW_WIN32_WINDOW_H_

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

class Win32Window {
 public:
  // Logical coordinates at 96 DPI.
  struct Point {
    Point(int32_t left, int32_t top) : x(left), y(top) {}
    int32_t x;
    int32_t y;
  };
  struct Size {
    Size(int32_t w, int32_t h) : width(w), height(h) {}
    int32_t width;
    int32_t height;
  };

  Win32Window();
  virtual ~Win32Window();

  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  // Destroys any window this object has, then creates a hidden one scaled to the DPI of
  // the monitor nearest to origin. False when no window could be made or OnCreate failed.
  bool Create(const std::wstring& title, const Point& origin, const Size& size);

  // True when the window was visible before.
  bool Show();

  void Destroy();

  HWND GetHandle() const;

  void SetQuitOnClose(bool quit);

  RECT GetClientArea() const;

  // Adopts child as content that fills the client area and has the focus.
  void SetChildContent(HWND child);

  static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

  // Follows the user's app theme in the title bar: dark when "AppsUseLightTheme" is 0.
  static void UpdateTheme(HWND hwnd);

 protected:
  virtual LRESULT MessageHandler(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

  virtual bool OnCreate();

  virtual void OnDestroy();

 private:
  bool quit_on_close = false;
  HWND window_handle = nullptr;
  HWND child_content = nullptr;
};

// value × scale (a monitor's DPI / 96), truncated toward zero and clamped to 32 bits.
int32_t ScaleForDpi(int32_t value, double scale);

// The title bar's dark-mode flag for a theme value: 1 for 0 (dark app theme), else 0.
BOOL DarkTitleBarFor(DWORD apps_use_light_theme);

// The dark-mode flag from the registry, or nothing when the value cannot be read as a
// 32-bit number (missing, another type).
std::optional<BOOL> ReadDarkTitleBarPreference();

// The window class's name.
extern const wchar_t kWindowClassName[];

#endif  // WINDOW_WIN32_WINDOW_H_
