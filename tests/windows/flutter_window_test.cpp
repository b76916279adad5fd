#include "window/flutter_window.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "client/engine_project.h"
#include "testbed/engine/import_hook.h"
#include "testbed/engine/testbed_control.h"
#include "tests/windows/message_pump.h"

namespace {

class FlutterWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { TestbedReset(); }
  void TearDown() override {
    PumpUntil([] { return false; }, 0);
    TestbedReset();
  }

  flutter::EngineProject project{L"data"};
};

bool Seen(UINT message) {
  for (int32_t i = 0; i < TestbedSeenWindowMessageCount(); ++i) {
    if (TestbedSeenWindowMessage(i) == message) return true;
  }
  return false;
}

std::wstring Title(HWND window) {
  wchar_t title[64] = {};
  GetWindowTextW(window, title, 64);
  return title;
}

TEST_F(FlutterWindowTest, CreateHostsTheViewAndRegistersEverythingBeforeTheFirstFrame) {
  FlutterWindow window(project);
  ASSERT_TRUE(window.Create(L"veskaro_flutter", {10, 10}, {680, 460}));

  // The view was sized to the client area and adopted as the child content.
  RECT client = {};
  GetClientRect(window.GetHandle(), &client);
  EXPECT_EQ(TestbedViewWidth(), client.right - client.left);
  EXPECT_EQ(TestbedViewHeight(), client.bottom - client.top);
  EXPECT_NE(GetWindow(window.GetHandle(), GW_CHILD), nullptr);

  // Plug-ins (their names: the process test) and the channel are registered while the window
  // is still hidden.
  EXPECT_EQ(TestbedPluginRegistrationCount(), 3);
  EXPECT_TRUE(TestbedHasChannelCallback("veskaro/gamma"));
  EXPECT_GE(TestbedForceRedrawCount(), 1);
  EXPECT_FALSE(IsWindowVisible(window.GetHandle()));
  EXPECT_EQ(TestbedNextFrameCallbacksRun(), 0);

  ASSERT_TRUE(PumpUntil([] { return TestbedNextFrameCallbacksRun() > 0; }));
  EXPECT_TRUE(IsWindowVisible(window.GetHandle()));

  // Closing the window releases the controller, its view and engine, while the object lives.
  DestroyWindow(window.GetHandle());
  EXPECT_EQ(TestbedViewControllerDestroyCount(), 1);
  EXPECT_EQ(TestbedLiveEngineCount(), 0);
}

// The guard's timers first, then the view controller, then font changes, then the base.
TEST_F(FlutterWindowTest, MessagesRouteGuardThenViewControllerThenFontsThenBase) {
  FlutterWindow window(project);
  ASSERT_TRUE(window.Create(L"veskaro_flutter", {10, 10}, {680, 460}));
  HWND hwnd = window.GetHandle();

  // Even a view controller that would take timers never sees the guard's.
  TestbedConsumeWindowMessage(WM_TIMER, 99);
  for (UINT id : {60448, 60449}) {
    EXPECT_EQ(SendMessageW(hwnd, WM_TIMER, id, 0), 0);
  }
  EXPECT_FALSE(Seen(WM_TIMER));
  EXPECT_EQ(SendMessageW(hwnd, WM_TIMER, 1234, 0), 99);
  EXPECT_TRUE(Seen(WM_TIMER));

  // Unconsumed: fonts reloaded, and the base handler runs (default text handling).
  SendMessageW(hwnd, WM_FONTCHANGE, 0, 0);
  EXPECT_EQ(TestbedFontReloadCount(), 1);
  SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"renamed"));
  EXPECT_EQ(Title(hwnd), L"renamed");

  // Display changes go on past the guard.
  SendMessageW(hwnd, WM_DISPLAYCHANGE, 32, MAKELPARAM(1280, 1024));
  EXPECT_TRUE(Seen(WM_DISPLAYCHANGE));

  // Consumed by the view controller: its result, and nothing after it.
  TestbedConsumeWindowMessage(WM_FONTCHANGE, 5);
  TestbedConsumeWindowMessage(WM_SETTEXT, 6);
  EXPECT_EQ(SendMessageW(hwnd, WM_FONTCHANGE, 0, 0), 5);
  EXPECT_EQ(TestbedFontReloadCount(), 1);
  EXPECT_EQ(SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"ignored")), 6);
  EXPECT_EQ(Title(hwnd), L"renamed");
}

// Teardown calls seen through import hooks, in order.
std::vector<std::string>* teardown = nullptr;

BOOL WINAPI RecordKillTimer(HWND window, UINT_PTR id) {
  if (teardown != nullptr) teardown->push_back("KillTimer " + std::to_string(id));
  using KillTimerFunction = BOOL(WINAPI*)(HWND, UINT_PTR);
  return ImportHook::Original<KillTimerFunction>(L"user32.dll", "KillTimer")(window, id);
}

void RecordControllerDestroy(FlutterDesktopViewControllerRef controller) {
  if (teardown != nullptr) teardown->push_back("ViewControllerDestroy");
  ImportHook::Original<void (*)(FlutterDesktopViewControllerRef)>(
      L"flutter_windows.dll", "FlutterDesktopViewControllerDestroy")(controller);
}

// As when the loop ends without WM_DESTROY: the controller, its engine and messenger go
// before the guard stops its timers, so no message reaches a guard or controller half torn
// down.
TEST_F(FlutterWindowTest, DestroyingTheObjectWithItsWindowOpenReleasesControllerBeforeGuard) {
  std::vector<std::string> calls;
  ImportHook kill_timer("user32.dll", "KillTimer", RecordKillTimer);
  ImportHook destroy("flutter_windows.dll", "FlutterDesktopViewControllerDestroy",
                     RecordControllerDestroy);
  ASSERT_TRUE(kill_timer.Installed() && destroy.Installed());
  {
    FlutterWindow window(project);
    ASSERT_TRUE(window.Create(L"veskaro_flutter", {10, 10}, {680, 460}));
    std::vector<uint8_t> set = {0x07, 0x03, 's', 'e', 't',  0x0D, 0x01, 0x07, 0x04,
                                'r',  'a',  'm', 'p', 0x08, 0xFE, 0x00, 0x06};
    set.resize(set.size() + 1536, 0x80);
    const int32_t ticket = TestbedDeliverMessage("veskaro/gamma", set.data(), set.size());
    size_t size = 0;
    ASSERT_NE(TestbedResponseData(ticket, &size), nullptr);
    ASSERT_EQ(size, 2u);  // success: the guard is armed with its periodic timer running
    teardown = &calls;
  }
  teardown = nullptr;
  EXPECT_EQ(calls, (std::vector<std::string>{"ViewControllerDestroy", "KillTimer 60448"}));
  EXPECT_EQ(TestbedLiveEngineCount(), 0);
  EXPECT_EQ(TestbedLiveMessengerCount(), 0);
}

}  // namespace
