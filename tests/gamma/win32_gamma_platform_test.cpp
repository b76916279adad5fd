// The gamma guard on the real GDI and user32 binding. Under Wine this needs a display
// with a gamma ramp (the rig's Xorg dummy server); without one the tests are skipped.
#include "gamma/win32_gamma_platform.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gamma/gamma_guard.h"
#include "tests/gamma/gamma_test_ramps.h"
#include "tests/gamma/scoped_log_directory.h"

namespace {

using Strings = std::vector<std::string>;

const char kArmed[] = "set: desired ramp received, guard armed";
const char kRewriteOk[] = "reassert: ramp was reset -> rewrite OK";
const char kRewriteFailed[] = "reassert: ramp was reset -> rewrite FAILED (driver rejected)";
const char kDisplayChange[] = "event: displaychange -> burst";

// The screen's ramp read independently of the guard; false when there is none.
bool ReadScreen(GammaRamp& ramp) {
  HDC dc = GetDC(nullptr);
  if (dc == nullptr) {
    return false;
  }
  const BOOL read = GetDeviceGammaRamp(dc, ramp.data());
  ReleaseDC(nullptr, dc);
  return read != FALSE;
}

bool WriteScreen(const GammaRamp& ramp) {
  HDC dc = GetDC(nullptr);
  if (dc == nullptr) {
    return false;
  }
  GammaRamp copy = ramp;
  const BOOL written = SetDeviceGammaRamp(dc, copy.data());
  ReleaseDC(nullptr, dc);
  return written != FALSE;
}

// Whether every sample is within the guard's tolerance of expected: read-back is quantised.
::testing::AssertionResult Carries(const GammaRamp& expected) {
  GammaRamp screen;
  if (!ReadScreen(screen)) {
    return ::testing::AssertionFailure() << "screen ramp unreadable";
  }
  for (std::size_t c = 0; c < 3; ++c) {
    for (std::size_t i = 32; i <= 224; i += 32) {
      const int difference = screen[c * 256 + i] - expected[c * 256 + i];
      if (difference > 512 || difference < -512) {
        return ::testing::AssertionFailure()
               << "channel " << c << " entry " << i << ": " << screen[c * 256 + i] << " vs "
               << expected[c * 256 + i];
      }
    }
  }
  return ::testing::AssertionSuccess();
}

// A message-only window to own the guard's timers.
class TimerWindow {
 public:
  TimerWindow() {
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = kClassName;
    RegisterClassW(&window_class);
    handle = CreateWindowExW(0, kClassName, L"gamma timers", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  }
  ~TimerWindow() {
    if (handle != nullptr) {
      DestroyWindow(handle);
    }
    UnregisterClassW(kClassName, GetModuleHandleW(nullptr));
  }
  TimerWindow(const TimerWindow&) = delete;
  TimerWindow& operator=(const TimerWindow&) = delete;

  // Feeds the guard the window's messages until a WM_TIMER with id arrives or time runs out.
  bool PumpUntilTimer(GammaGuard& guard, UINT_PTR id, DWORD timeout_ms) {
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    while (GetTickCount64() < deadline) {
      MSG message;
      while (PeekMessageW(&message, handle, 0, 0, PM_REMOVE)) {
        const bool handled =
            guard.HandleWindowMessage(message.message, message.wParam, message.lParam);
        if (message.message == WM_TIMER && message.wParam == id) {
          return handled;
        }
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    return false;
  }

  HWND handle = nullptr;

 private:
  static constexpr const wchar_t* kClassName = L"VeskaroGammaTestTimers";
};

class Win32GammaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ReadScreen(original)) {
      GTEST_SKIP() << "no display with a readable gamma ramp";
    }
    ASSERT_TRUE(WriteScreen(IdentityRamp()));
    ASSERT_TRUE(Carries(IdentityRamp()));
  }

  void TearDown() override {
    if (!IsSkipped()) {
      WriteScreen(original);
    }
  }

  GammaRamp original;
  ScopedLogDirectory log;
};

TEST_F(Win32GammaTest, KeepsAWarmRampOnTheScreen) {
  TimerWindow window;
  ASSERT_NE(window.handle, nullptr);
  GammaGuard guard;  // the real screen
  guard.Init(nullptr, window.handle);

  guard.Arm(RampBytes(WarmRamp()));
  EXPECT_TRUE(Carries(WarmRamp()));
  EXPECT_EQ(guard.LastOutcome(), 1);

  // Reset by someone else; the next periodic tick restores it.
  ASSERT_TRUE(WriteScreen(IdentityRamp()));
  EXPECT_TRUE(guard.HandleWindowMessage(WM_TIMER, GammaGuard::kPeriodicTimerId, 0));
  EXPECT_TRUE(Carries(WarmRamp()));

  // A display change re-asserts at once, then a real one-second timer keeps checking.
  ASSERT_TRUE(WriteScreen(IdentityRamp()));
  EXPECT_FALSE(guard.HandleWindowMessage(WM_DISPLAYCHANGE, 0, 0));
  EXPECT_TRUE(Carries(WarmRamp()));
  ASSERT_TRUE(WriteScreen(IdentityRamp()));
  EXPECT_TRUE(window.PumpUntilTimer(guard, GammaGuard::kBurstTimerId, 5000));
  EXPECT_TRUE(Carries(WarmRamp()));
  EXPECT_EQ(guard.BurstTicksLeft(), 19);

  // Disarming leaves the ramp as it is.
  guard.Disarm();
  EXPECT_TRUE(Carries(WarmRamp()));
  EXPECT_EQ(log.Messages(), (Strings{kArmed, kRewriteOk, kDisplayChange, "clear: guard disarmed"}));
}

TEST_F(Win32GammaTest, RejectedRampIsLoggedOnce) {
  GammaGuard guard;
  guard.Arm(RampBytes(GammaRamp{}));  // all zero: refused by the driver
  EXPECT_EQ(guard.LastOutcome(), 0);
  EXPECT_TRUE(Carries(IdentityRamp()));
  guard.Reassert();  // still reset, still refused, not logged again
  EXPECT_EQ(log.Messages(), (Strings{kArmed, kRewriteFailed}));
  // Written on disk as text: CR LF line ends.
  EXPECT_NE(log.Contents().find(std::string(kArmed) + "\r\n"), std::string::npos);
}

}  // namespace
