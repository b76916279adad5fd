// The gamma guard on the real GDI and user32 binding. Under Wine this needs a display
// with a gamma ramp (the rig's Xorg dummy server); without one the tests are skipped.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gamma/gamma_guard.h"
#include "tests/gamma/gamma_test_ramps.h"
#include "tests/gamma/scoped_log_directory.h"

namespace {

using Strings = std::vector<std::string>;

bool ScreenRamp(GammaRamp& ramp, bool write) {
  HDC dc = GetDC(nullptr);
  if (dc == nullptr) return false;
  const BOOL done =
      write ? SetDeviceGammaRamp(dc, ramp.data()) : GetDeviceGammaRamp(dc, ramp.data());
  ReleaseDC(nullptr, dc);
  return done != FALSE;
}
bool WriteScreen(GammaRamp ramp) { return ScreenRamp(ramp, true); }

// Every sample within the guard's tolerance of expected: read-back is quantised.
testing::AssertionResult Carries(const GammaRamp& expected) {
  GammaRamp screen;
  if (!ScreenRamp(screen, false)) return testing::AssertionFailure() << "ramp unreadable";
  for (std::size_t i = 32; i < kRampEntries; i += 32) {
    if (i % 256 != 0 && std::abs(screen[i] - expected[i]) > 512) {
      return testing::AssertionFailure()
             << "entry " << i << ": " << screen[i] << " vs " << expected[i];
    }
  }
  return testing::AssertionSuccess();
}

class Win32GammaTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!ScreenRamp(original, false)) GTEST_SKIP() << "no display with a gamma ramp";
    ASSERT_TRUE(WriteScreen(IdentityRamp()));
  }
  void TearDown() override {
    if (!IsSkipped()) WriteScreen(original);
  }
  GammaRamp original;
  ScopedLogDirectory log;
};

TEST_F(Win32GammaTest, KeepsAWarmRampOnTheScreen) {
  // A message-only window owns the timers.
  HWND window =
      CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  {
    GammaGuard guard;  // the real screen
    guard.Init(nullptr, window);
    guard.Arm(RampBytes(WarmRamp()));
    EXPECT_TRUE(Carries(WarmRamp()));

    // Reset by someone else: the next periodic tick restores it.
    ASSERT_TRUE(WriteScreen(IdentityRamp()));
    EXPECT_TRUE(guard.HandleWindowMessage(WM_TIMER, GammaGuard::kPeriodicTimerId, 0));
    EXPECT_TRUE(Carries(WarmRamp()));

    // A display change starts a real one-second timer whose tick restores it again.
    EXPECT_FALSE(guard.HandleWindowMessage(WM_DISPLAYCHANGE, 0, 0));
    ASSERT_TRUE(WriteScreen(IdentityRamp()));
    const ULONGLONG deadline = GetTickCount64() + 5000;
    MSG message = {};
    while (!(message.message == WM_TIMER && message.wParam == GammaGuard::kBurstTimerId) &&
           GetTickCount64() < deadline) {
      if (!PeekMessageW(&message, window, 0, 0, PM_REMOVE)) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        continue;
      }
      guard.HandleWindowMessage(message.message, message.wParam, message.lParam);
    }
    EXPECT_EQ(guard.BurstTicksLeft(), 19);
    EXPECT_TRUE(Carries(WarmRamp()));

    guard.Disarm();  // leaves the ramp as it is
    EXPECT_TRUE(Carries(WarmRamp()));
  }
  DestroyWindow(window);
  EXPECT_EQ(log.Messages(), (Strings{"set: desired ramp received, guard armed",
                                     "reassert: ramp was reset -> rewrite OK",
                                     "event: displaychange -> burst", "clear: guard disarmed"}));
}

TEST_F(Win32GammaTest, RejectedRampIsLoggedOnce) {
  GammaGuard guard;
  guard.Arm(RampBytes(GammaRamp{}));  // all zero: refused
  guard.Reassert();
  EXPECT_EQ(guard.LastOutcome(), 0);
  EXPECT_TRUE(Carries(IdentityRamp()));
  EXPECT_EQ(log.Messages(),
            (Strings{"set: desired ramp received, guard armed",
                     "reassert: ramp was reset -> rewrite FAILED (driver rejected)"}));
}

}  // namespace
