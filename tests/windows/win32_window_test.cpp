#include "window/win32_window.h"

#include <windows.h>

#include <dwmapi.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include "testbed/engine/testbed_control.h"
#include "tests/windows/import_hook.h"
#include "tests/windows/message_pump.h"

namespace {

constexpr wchar_t kThemeKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
constexpr wchar_t kThemeValue[] = L"AppsUseLightTheme";

// Records the hooks and lets a test make OnCreate fail.
class TestWindow : public Win32Window {
 public:
  using Win32Window::MessageHandler;

  bool on_create_result = true;
  int create_calls = 0;
  int destroy_calls = 0;

 protected:
  bool OnCreate() override {
    ++create_calls;
    return on_create_result;
  }
  void OnDestroy() override { ++destroy_calls; }
};

bool ClassRegistered() {
  WNDCLASSEXW info = {};
  info.cbSize = sizeof(info);
  return GetClassInfoExW(GetModuleHandleW(nullptr), kWindowClassName, &info) != 0;
}

class Win32WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestbedReset();
    TakeQuitMessage();
  }
  void TearDown() override {
    TestbedOverrideDpi(0);
    PumpUntil([] { return false; }, 0);
    TakeQuitMessage();
  }
};

struct DpiCase {
  UINT dpi;
  RECT expected;  // left, top, right, bottom
};

TEST_F(Win32WindowTest, CreatesHiddenWindowScaledToMonitorDpi) {
  const DpiCase cases[] = {
      {96, {10, 10, 10 + 680, 10 + 460}},
      {144, {15, 15, 15 + 1020, 15 + 690}},
      {120, {12, 12, 12 + 850, 12 + 575}},  // 12.5 truncated
  };
  for (const DpiCase& c : cases) {
    SCOPED_TRACE(c.dpi);
    TestbedOverrideDpi(c.dpi);
    TestWindow window;
    ASSERT_TRUE(window.Create(L"scaled", {10, 10}, {680, 460}));
    RECT rect = {};
    GetWindowRect(window.GetHandle(), &rect);
    EXPECT_EQ(rect.left, c.expected.left);
    EXPECT_EQ(rect.top, c.expected.top);
    EXPECT_EQ(rect.right, c.expected.right);
    EXPECT_EQ(rect.bottom, c.expected.bottom);
    EXPECT_FALSE(IsWindowVisible(window.GetHandle()));
    EXPECT_EQ(GetWindowLongW(window.GetHandle(), GWL_STYLE) & WS_OVERLAPPEDWINDOW,
              static_cast<LONG>(WS_OVERLAPPEDWINDOW));
  }
}

TEST(ScaleForDpiTest, TruncatesTowardZeroAndStaysInRange) {
  EXPECT_EQ(ScaleForDpi(10, 1.25), 12);
  EXPECT_EQ(ScaleForDpi(-10, 1.25), -12);
  EXPECT_EQ(ScaleForDpi(460, 1.5), 690);
  EXPECT_EQ(ScaleForDpi(0x7FFFFFFF, 2.0), 0x7FFFFFFF);
  EXPECT_EQ(ScaleForDpi(-0x7FFFFFFF, 2.0), -0x7FFFFFFF - 1);
}

// DwmSetWindowAttribute calls seen through the import hook.
struct ThemeCall {
  HWND window;
  DWORD attribute;
  BOOL value;
};
std::vector<ThemeCall>* theme_calls = nullptr;

HRESULT WINAPI RecordThemeCall(HWND window, DWORD attribute, LPCVOID value, DWORD size) {
  if (theme_calls != nullptr && size == sizeof(BOOL)) {
    theme_calls->push_back({window, attribute, *static_cast<const BOOL*>(value)});
  }
  return S_OK;
}

// Sets or removes the theme value for one test and puts the old one back afterwards.
class ThemeValue {
 public:
  ThemeValue() {
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_CURRENT_USER, kThemeKey, kThemeValue, RRF_RT_REG_DWORD, nullptr, &value,
                     &size) == ERROR_SUCCESS) {
      had_value = true;
      saved = value;
    }
  }
  ~ThemeValue() {
    if (had_value) {
      SetDword(saved);
    } else {
      Remove();
    }
  }
  void SetDword(DWORD value) {
    RegSetKeyValueW(HKEY_CURRENT_USER, kThemeKey, kThemeValue, REG_DWORD, &value, sizeof(value));
  }
  void SetString(const wchar_t* text) {
    RegSetKeyValueW(HKEY_CURRENT_USER, kThemeKey, kThemeValue, REG_SZ, text,
                    static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
  }
  void Remove() { RegDeleteKeyValueW(HKEY_CURRENT_USER, kThemeKey, kThemeValue); }

 private:
  bool had_value = false;
  DWORD saved = 0;
};

enum class Setting { kZero, kOne, kSeven, kMissing, kString };

struct ThemeCase {
  Setting setting;
  std::optional<BOOL> dark;  // nothing: no DwmSetWindowAttribute call at all
};

TEST_F(Win32WindowTest, TitleBarFollowsAppsUseLightTheme) {
  const ThemeCase cases[] = {
      {Setting::kZero, TRUE},           {Setting::kOne, FALSE},
      {Setting::kSeven, FALSE},         {Setting::kMissing, std::nullopt},
      {Setting::kString, std::nullopt},
  };
  std::vector<ThemeCall> calls;
  theme_calls = &calls;
  ImportHook hook("dwmapi.dll", "DwmSetWindowAttribute", reinterpret_cast<void*>(RecordThemeCall));
  ASSERT_TRUE(hook.Installed());
  ThemeValue theme;
  for (const ThemeCase& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.setting));
    switch (c.setting) {
      case Setting::kZero:
        theme.SetDword(0);
        break;
      case Setting::kOne:
        theme.SetDword(1);
        break;
      case Setting::kSeven:
        theme.SetDword(7);
        break;
      case Setting::kMissing:
        theme.Remove();
        break;
      case Setting::kString:
        theme.SetString(L"0");
        break;
    }
    EXPECT_EQ(ReadDarkTitleBarPreference(), c.dark);

    // Once at creation, once more on a colourisation change.
    calls.clear();
    TestWindow window;
    ASSERT_TRUE(window.Create(L"theme", {10, 10}, {200, 100}));
    SendMessageW(window.GetHandle(), WM_DWMCOLORIZATIONCOLORCHANGED, 0, 0);
    if (c.dark) {
      ASSERT_EQ(calls.size(), 2u);
      for (const ThemeCall& call : calls) {
        EXPECT_EQ(call.window, window.GetHandle());
        EXPECT_EQ(call.attribute, 20u);
        EXPECT_EQ(call.value, *c.dark);
      }
    } else {
      EXPECT_TRUE(calls.empty());
    }
  }
  theme_calls = nullptr;
}

TEST_F(Win32WindowTest, DestroyPostsQuitOnlyWhenAsked) {
  for (bool quit_on_close : {false, true}) {
    SCOPED_TRACE(quit_on_close);
    TestWindow window;
    ASSERT_TRUE(window.Create(L"quit", {10, 10}, {200, 100}));
    window.SetQuitOnClose(quit_on_close);
    HWND hwnd = window.GetHandle();
    DestroyWindow(hwnd);
    EXPECT_EQ(window.GetHandle(), nullptr);
    EXPECT_EQ(window.destroy_calls, 2);  // once from Create, once from WM_DESTROY
    EXPECT_EQ(TakeQuitMessage(), quit_on_close);
  }
}

TEST_F(Win32WindowTest, SecondCreateReplacesTheWindow) {
  TestWindow window;
  window.SetQuitOnClose(true);
  ASSERT_TRUE(window.Create(L"first", {10, 10}, {200, 100}));
  HWND first = window.GetHandle();
  ASSERT_TRUE(window.Create(L"second", {10, 10}, {200, 100}));
  EXPECT_FALSE(IsWindow(first));
  EXPECT_TRUE(IsWindow(window.GetHandle()));
  EXPECT_NE(window.GetHandle(), first);
  // Create's own Destroy, the first window's WM_DESTROY, and the initial Create's.
  EXPECT_EQ(window.destroy_calls, 3);
  EXPECT_EQ(window.create_calls, 2);
  EXPECT_TRUE(TakeQuitMessage());
  EXPECT_TRUE(ClassRegistered());
}

TEST_F(Win32WindowTest, FailedOnCreateFailsCreateAndKeepsWindowUntilObjectDies) {
  HWND hwnd = nullptr;
  {
    TestWindow window;
    window.on_create_result = false;
    EXPECT_FALSE(window.Create(L"failing", {10, 10}, {200, 100}));
    hwnd = window.GetHandle();
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_FALSE(IsWindowVisible(hwnd));
  }
  EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(Win32WindowTest, ClassUnregisteredWithLastWindowObject) {
  auto first = std::make_unique<TestWindow>();
  auto second = std::make_unique<TestWindow>();
  ASSERT_TRUE(first->Create(L"one", {10, 10}, {200, 100}));
  ASSERT_TRUE(second->Create(L"two", {10, 10}, {200, 100}));
  DestroyWindow(first->GetHandle());
  DestroyWindow(second->GetHandle());
  EXPECT_TRUE(ClassRegistered());  // no windows, but objects remain
  first.reset();
  EXPECT_TRUE(ClassRegistered());
  second.reset();
  EXPECT_FALSE(ClassRegistered());

  // And registered again on the next Create.
  TestWindow again;
  ASSERT_TRUE(again.Create(L"again", {10, 10}, {200, 100}));
  EXPECT_TRUE(ClassRegistered());
}

TEST_F(Win32WindowTest, ChildContentFillsClientAreaAndFollowsSize) {
  TestWindow window;
  ASSERT_TRUE(window.Create(L"parent", {10, 10}, {300, 200}));
  HWND child = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 5, 5,
                               window.GetHandle(), nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(child, nullptr);
  window.SetChildContent(child);
  auto expect_child_fills = [&] {
    RECT client = window.GetClientArea();
    RECT child_rect = {};
    GetClientRect(child, &child_rect);
    EXPECT_EQ(child_rect.right, client.right - client.left);
    EXPECT_EQ(child_rect.bottom, client.bottom - client.top);
  };
  expect_child_fills();
  SetWindowPos(window.GetHandle(), nullptr, 0, 0, 400, 333, SWP_NOMOVE | SWP_NOZORDER);
  expect_child_fills();
}

TEST_F(Win32WindowTest, DpiChangeMovesToSuggestedRect) {
  TestWindow window;
  ASSERT_TRUE(window.Create(L"dpi", {10, 10}, {300, 200}));
  RECT suggested = {40, 50, 40 + 450, 50 + 300};
  EXPECT_EQ(SendMessageW(window.GetHandle(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                         reinterpret_cast<LPARAM>(&suggested)),
            0);
  RECT rect = {};
  GetWindowRect(window.GetHandle(), &rect);
  EXPECT_EQ(rect.left, 40);
  EXPECT_EQ(rect.top, 50);
  EXPECT_EQ(rect.right, 490);
  EXPECT_EQ(rect.bottom, 350);
  // A malformed message without a rectangle is ignored rather than followed.
  EXPECT_EQ(SendMessageW(window.GetHandle(), WM_DPICHANGED, 0, 0), 0);
}

TEST_F(Win32WindowTest, ForeignWindowOfTheClassIsHarmless) {
  TestWindow owner;
  ASSERT_TRUE(owner.Create(L"owner", {10, 10}, {200, 100}));
  // Another creator of the class passes no object; the window just gets default handling.
  HWND stray = CreateWindowExW(0, kWindowClassName, L"stray", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(stray, nullptr);
  wchar_t title[16] = {};
  GetWindowTextW(stray, title, 16);
  EXPECT_STREQ(title, L"stray");
  DestroyWindow(stray);
}

}  // namespace
