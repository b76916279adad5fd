#include "window/win32_window.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "testbed/engine/import_hook.h"
#include "testbed/engine/testbed_control.h"
#include "tests/windows/message_pump.h"

namespace {

constexpr wchar_t kThemeKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
constexpr wchar_t kThemeValue[] = L"AppsUseLightTheme";

std::vector<LONG> WindowRect(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  return {rect.left, rect.top, rect.right, rect.bottom};
}

// The window class as registered; all zero when it is not.
WNDCLASSEXW RegisteredClass() {
  WNDCLASSEXW info = {};
  info.cbSize = sizeof(info);
  if (!GetClassInfoExW(GetModuleHandleW(nullptr), kWindowClassName, &info)) info = {};
  return info;
}

class Win32WindowTest : public ::testing::Test {
 protected:
  void SetUp() override { TestbedReset(); }
  void TearDown() override {
    TestbedOverrideDpi(0);
    PumpUntil([] { return false; }, 0);
  }
};

TEST_F(Win32WindowTest, CreatesHiddenWindowScaledToMonitorDpi) {
  const struct {
    UINT dpi;
    std::vector<LONG> rect;  // left, top, right, bottom
  } cases[] = {
      {96, {10, 10, 10 + 680, 10 + 460}},
      {144, {15, 15, 15 + 1020, 15 + 690}},
      {120, {12, 12, 12 + 850, 12 + 575}},  // 12.5 truncated
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dpi);
    TestbedOverrideDpi(c.dpi);
    Win32Window window;
    ASSERT_TRUE(window.Create(L"scaled", {10, 10}, {680, 460}));
    EXPECT_EQ(WindowRect(window.GetHandle()), c.rect);
    EXPECT_FALSE(IsWindowVisible(window.GetHandle()));
    EXPECT_EQ(GetWindowLongW(window.GetHandle(), GWL_STYLE) & WS_OVERLAPPEDWINDOW,
              static_cast<LONG>(WS_OVERLAPPEDWINDOW));
    EXPECT_EQ(GetWindowLongW(window.GetHandle(), GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0);

    // The class: the executable's icon 101 (linked into this test too), no extra bytes.
    const WNDCLASSEXW info = RegisteredClass();
    EXPECT_NE(info.hIcon, nullptr);
    EXPECT_EQ(info.hIcon, LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(101)));
    EXPECT_EQ(info.style + info.cbClsExtra + info.cbWndExtra, CS_HREDRAW | CS_VREDRAW);

    // Show reports whether the window was visible before.
    EXPECT_FALSE(window.Show());
    EXPECT_TRUE(window.Show());
    EXPECT_FALSE(IsIconic(window.GetHandle()));
  }
  // Truncated toward zero (-8.75 left of the primary monitor), clamped, NaN as 0.
  EXPECT_EQ(ScaleForDpi(-7, 1.25), -8);
  EXPECT_EQ(ScaleForDpi(INT32_MAX, 2.0), INT32_MAX);
  EXPECT_EQ(ScaleForDpi(5, std::nan("")), 0);
}

// Counts the runs of the destroy hook.
class HookedWindow : public Win32Window {
 public:
  int destroy_hook_runs = 0;

 protected:
  void OnDestroy() override { ++destroy_hook_runs; }
};

bool ClassRegistered() { return RegisteredClass().cbSize != 0; }

// Takes the quit message off the queue: its exit code, or -1 when none was posted.
int TakeQuitMessage() {
  MSG message;
  return PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)
             ? static_cast<int>(message.wParam)
             : -1;
}

int class_registrations = 0;
ATOM WINAPI CountClassRegistration(const WNDCLASSW* window_class) {
  ++class_registrations;
  return ImportHook::Original<ATOM(WINAPI*)(const WNDCLASSW*)>(L"user32.dll",
                                                               "RegisterClassW")(window_class);
}

// The class is registered once for all the windows alive at a time.
TEST_F(Win32WindowTest, WindowsGoWithCreateCloseAndTheirObjectAndTheLastObjectTakesTheClass) {
  class_registrations = 0;
  ImportHook count("user32.dll", "RegisterClassW", CountClassRegistration);
  ASSERT_TRUE(count.Installed());
  {
    HookedWindow window;
    window.SetQuitOnClose(true);
    ASSERT_TRUE(window.Create(L"first", {10, 10}, {200, 100}));
    HWND first = window.GetHandle();
    // A second Create destroys the first window: the hook, then WM_DESTROY's hook and quit.
    window.destroy_hook_runs = 0;
    ASSERT_TRUE(window.Create(L"second", {10, 10}, {200, 100}));
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(window.destroy_hook_runs, 2);
    EXPECT_EQ(TakeQuitMessage(), 0);

    // Closed while the object lives: no quit unless asked, and the class stays.
    window.SetQuitOnClose(false);
    DestroyWindow(window.GetHandle());
    EXPECT_EQ(window.GetHandle(), nullptr);
    EXPECT_EQ(window.destroy_hook_runs, 3);
    EXPECT_EQ(TakeQuitMessage(), -1);
    EXPECT_TRUE(ClassRegistered());

    // An object that goes while its window is open takes the window with it.
    HWND open = nullptr;
    {
      Win32Window other;
      ASSERT_TRUE(other.Create(L"other", {10, 10}, {200, 100}));
      open = other.GetHandle();
    }
    EXPECT_FALSE(IsWindow(open));
    EXPECT_TRUE(ClassRegistered());
  }
  EXPECT_FALSE(ClassRegistered());
  EXPECT_EQ(class_registrations, 1);
}

// Import replacements: the non-client scaling call, offered through GetProcAddress, and a
// system that refuses every window.
FARPROC(WINAPI* real_get_proc_address)(HMODULE, LPCSTR) = nullptr;
std::vector<HWND> non_client_scaled;

BOOL WINAPI RecordNonClientScaling(HWND window) {
  non_client_scaled.push_back(window);
  return TRUE;
}

FARPROC WINAPI OfferNonClientScaling(HMODULE module, LPCSTR name) {
  if (HIWORD(name) != 0 && std::strcmp(name, "EnableNonClientDpiScaling") == 0) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(RecordNonClientScaling));
  }
  return real_get_proc_address(module, name);
}

HWND WINAPI RefuseWindow(DWORD, LPCWSTR, LPCWSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE,
                         LPVOID) {
  return nullptr;
}

TEST_F(Win32WindowTest, CreateScalesTheNonClientAreaAndFailsWhenNoWindowIsMade) {
  real_get_proc_address = &GetProcAddress;
  {
    ImportHook offer("kernel32.dll", "GetProcAddress", OfferNonClientScaling);
    ASSERT_TRUE(offer.Installed());
    Win32Window window;
    ASSERT_TRUE(window.Create(L"scaled", {10, 10}, {200, 100}));
    EXPECT_EQ(non_client_scaled, std::vector<HWND>{window.GetHandle()});
  }
  ImportHook refuse("user32.dll", "CreateWindowExW", RefuseWindow);
  ASSERT_TRUE(refuse.Installed());
  Win32Window window;
  EXPECT_FALSE(window.Create(L"refused", {10, 10}, {200, 100}));
}

TEST_F(Win32WindowTest, ChildContentFillsClientAreaAndFollowsSizeAndDpiChanges) {
  Win32Window window;
  ASSERT_TRUE(window.Create(L"parent", {10, 10}, {300, 200}));
  HWND child = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 5, 5,
                               window.GetHandle(), nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(child, nullptr);
  window.SetChildContent(child);
  EXPECT_EQ(GetFocus(), child);
  // Activation gives the focus back to the child.
  SetFocus(window.GetHandle());
  EXPECT_EQ(SendMessageW(window.GetHandle(), WM_ACTIVATE, WA_ACTIVE, 0), 0);
  EXPECT_EQ(GetFocus(), child);
  EXPECT_EQ(SendMessageW(window.GetHandle(), WM_SIZE, SIZE_RESTORED, 0), 0);
  for (int width : {0, 400}) {
    if (width != 0) {
      SetWindowPos(window.GetHandle(), nullptr, 0, 0, width, 333, SWP_NOMOVE | SWP_NOZORDER);
    }
    RECT client = {};
    GetClientRect(window.GetHandle(), &client);
    RECT child_rect = {};
    GetClientRect(child, &child_rect);
    EXPECT_EQ(child_rect.right, client.right - client.left);
    EXPECT_EQ(child_rect.bottom, client.bottom - client.top);
  }

  // A DPI change moves the window to the suggested rectangle.
  RECT suggested = {40, 50, 40 + 450, 50 + 300};
  EXPECT_EQ(SendMessageW(window.GetHandle(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                         reinterpret_cast<LPARAM>(&suggested)),
            0);
  EXPECT_EQ(WindowRect(window.GetHandle()), (std::vector<LONG>{40, 50, 490, 350}));
  // A malformed message without a rectangle is ignored rather than followed.
  EXPECT_EQ(SendMessageW(window.GetHandle(), WM_DPICHANGED, 0, 0), 0);
}

// The values DwmSetWindowAttribute is given for the dark-mode attribute (20), seen through the
// import hook.
std::vector<BOOL>* dark_mode_calls = nullptr;

HRESULT WINAPI RecordThemeCall(HWND, DWORD attribute, LPCVOID value, DWORD size) {
  if (dark_mode_calls != nullptr && attribute == 20 && size == sizeof(BOOL)) {
    dark_mode_calls->push_back(*static_cast<const BOOL*>(value));
  }
  return S_OK;
}

// Sets the theme value: a number, a string, or none (REG_NONE removes it).
void SetThemeValue(DWORD type, const void* value, DWORD size) {
  if (type == REG_NONE) {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kThemeKey, kThemeValue);
  } else {
    RegSetKeyValueW(HKEY_CURRENT_USER, kThemeKey, kThemeValue, type, value, size);
  }
}

TEST_F(Win32WindowTest, TitleBarFollowsAppsUseLightTheme) {
  const DWORD zero = 0, seven = 7;
  const struct {
    DWORD type;
    const void* value;
    DWORD size;
    std::optional<BOOL> dark;  // nothing: no DwmSetWindowAttribute call at all
  } cases[] = {
      {REG_DWORD, &zero, sizeof(DWORD), TRUE},
      {REG_DWORD, &seven, sizeof(DWORD), FALSE},  // any non-zero value is light
      {REG_SZ, L"0", 2 * sizeof(wchar_t), std::nullopt},
      {REG_NONE, nullptr, 0, std::nullopt},  // last: the prefix is left without the value
  };
  std::vector<BOOL> calls;
  dark_mode_calls = &calls;
  ImportHook hook("dwmapi.dll", "DwmSetWindowAttribute", RecordThemeCall);
  ASSERT_TRUE(hook.Installed());
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.type << " " << c.size);
    SetThemeValue(c.type, c.value, c.size);
    EXPECT_EQ(ReadDarkTitleBarPreference(), c.dark);

    // Once at creation, once more on a colourisation change.
    calls.clear();
    Win32Window window;
    ASSERT_TRUE(window.Create(L"theme", {10, 10}, {200, 100}));
    EXPECT_EQ(SendMessageW(window.GetHandle(), WM_DWMCOLORIZATIONCOLORCHANGED, 0, 0), 0);
    EXPECT_EQ(calls, c.dark ? std::vector<BOOL>(2, *c.dark) : std::vector<BOOL>());
  }
  dark_mode_calls = nullptr;
}

}  // namespace
