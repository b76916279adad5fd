#include "gamma/gamma_guard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/gamma/fake_gamma_platform.h"
#include "tests/gamma/gamma_test_ramps.h"
#include "tests/gamma/scoped_log_directory.h"

namespace {

using Op = FakeGammaPlatform::Op;
using Strings = std::vector<std::string>;

constexpr uint32_t kWmDisplayChange = 126;
constexpr uint32_t kWmTimer = 275;
constexpr uint32_t kWmPowerBroadcast = 536;
constexpr uintptr_t kPeriodic = 60448;
constexpr uintptr_t kBurst = 60449;

const char kArmed[] = "set: desired ramp received, guard armed";
const char kRewriteOk[] = "reassert: ramp was reset -> rewrite OK";
const char kRewriteFailed[] = "reassert: ramp was reset -> rewrite FAILED (driver rejected)";
const char kDisplayChange[] = "event: displaychange -> burst";
const char kPowerResume[] = "event: power resume -> burst";
const char kDisarmed[] = "clear: guard disarmed";

GammaPlatform::WindowHandle const kWindow = reinterpret_cast<GammaPlatform::WindowHandle>(0x1234);

class GammaGuardTest : public ::testing::Test {
 protected:
  // Registered and armed with the warm ramp, which the screen already carries; the calls
  // and log lines of getting there are forgotten.
  void ArmIntact() {
    guard.Init(nullptr, kWindow);
    screen.screen = WarmRamp();
    guard.Arm(RampBytes(WarmRamp()));
    Forget();
  }

  void Forget() {
    screen.calls.clear();
    std::filesystem::remove(log.LogFile());
  }

  std::vector<uintptr_t> TimerCalls(Op op) const {
    std::vector<uintptr_t> ids;
    for (const auto& call : screen.CallsOf(op)) {
      EXPECT_EQ(call.window, kWindow);
      ids.push_back(call.id);
    }
    return ids;
  }

  ScopedLogDirectory log;
  FakeGammaPlatform screen;
  GammaGuard guard{screen};
};

TEST_F(GammaGuardTest, ConstructedIdle) {
  EXPECT_EQ(guard.Window(), nullptr);
  EXPECT_FALSE(guard.Armed());
  EXPECT_FALSE(guard.PeriodicTimerRunning());
  EXPECT_FALSE(guard.BurstTimerRunning());
  EXPECT_EQ(guard.BurstTicksLeft(), 0);
  EXPECT_EQ(guard.LastOutcome(), -1);
  EXPECT_EQ(guard.DesiredRamp(), GammaRamp{});
}

// Only the 21 sampled entries count, and only beyond a difference of 512.
TEST(GammaGuardCheck, RewritesOnlyWhenASampleIsOffByMoreThanTheTolerance) {
  struct Case {
    std::size_t channel;
    std::size_t entry;
    int delta;
    bool rewrites;
  };
  const Case cases[] = {
      {0, 32, 512, false},     {0, 32, -512, false},    {0, 32, 513, true},
      {0, 32, -513, true},     {1, 128, 513, true},     {1, 128, -512, false},
      {2, 224, -513, true},    {2, 224, 512, false},    {2, 64, 20000, true},
      {0, 0, 30000, false},    {0, 1, 30000, false},    {0, 31, 30000, false},
      {0, 33, 30000, false},   {1, 100, -20000, false}, {2, 0, 30000, false},
      {0, 255, -30000, false}, {2, 255, -30000, false}, {1, 225, -20000, false},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(::testing::Message() << "channel " << test.channel << " entry " << test.entry
                                      << " delta " << test.delta);
    ScopedLogDirectory log;
    FakeGammaPlatform screen;
    GammaGuard guard(screen);
    screen.screen = WarmRamp();
    guard.Arm(RampBytes(WarmRamp()));
    ASSERT_EQ(screen.CountOf(Op::kSetRamp), 0u);

    uint16_t& entry = screen.screen[test.channel * 256 + test.entry];
    entry = static_cast<uint16_t>(entry + test.delta);
    guard.Reassert();
    EXPECT_EQ(screen.CountOf(Op::kSetRamp), test.rewrites ? 2u : 0u);
    EXPECT_EQ(log.Messages(), (test.rewrites ? Strings{kArmed, kRewriteOk} : Strings{kArmed}));
  }
}

TEST_F(GammaGuardTest, ArmWithinToleranceWritesNothing) {
  guard.Init(nullptr, kWindow);
  GammaRamp within = WarmRamp();
  for (std::size_t c = 0; c < 3; ++c) {
    for (std::size_t i = 32; i <= 224; i += 32) {
      within[c * 256 + i] = static_cast<uint16_t>(within[c * 256 + i] + (c == 1 ? -512 : 512));
    }
  }
  screen.screen = within;
  guard.Arm(RampBytes(WarmRamp()));
  EXPECT_EQ(screen.CountOf(Op::kSetRamp), 0u);
  EXPECT_EQ(screen.screen, within);
  EXPECT_EQ(log.Messages(), Strings{kArmed});
  EXPECT_EQ(guard.LastOutcome(), -1);
}

TEST_F(GammaGuardTest, ArmTakesLittleEndianEntriesAndIgnoresOtherSizes) {
  std::vector<uint8_t> bytes = RampBytes(GammaRamp{});
  bytes[2 * (256 + 5)] = 0x34;  // green entry 5
  bytes[2 * (256 + 5) + 1] = 0x12;
  bytes[1534] = 0xFF;  // blue entry 255
  bytes[1535] = 0xFE;
  guard.Arm(bytes);
  EXPECT_EQ(guard.DesiredRamp()[256 + 5], 0x1234);
  EXPECT_EQ(guard.DesiredRamp()[767], 0xFEFF);
  EXPECT_EQ(guard.DesiredRamp()[0], 0);

  for (std::size_t size : {0u, 1535u, 1537u}) {
    ScopedLogDirectory other_log;
    FakeGammaPlatform other_screen;
    GammaGuard other(other_screen);
    other.Arm(std::vector<uint8_t>(size, 0x77));
    EXPECT_FALSE(other.Armed()) << size;
    EXPECT_EQ(other.DesiredRamp(), GammaRamp{}) << size;
    EXPECT_TRUE(other_screen.calls.empty()) << size;
    EXPECT_TRUE(other_log.Messages().empty()) << size;
  }
}

// A rewrite reads, releases, then writes twice on one device context: nudged by one
// unit in the first red entry, then exact.
TEST_F(GammaGuardTest, RewriteWritesNudgedThenExact) {
  struct Case {
    uint16_t first;
    uint16_t nudged;
  };
  for (const Case& test : {Case{0, 1}, Case{0xFFFF, 0xFFFE}, Case{1000, 1001}}) {
    SCOPED_TRACE(test.first);
    ScopedLogDirectory log;
    FakeGammaPlatform screen;
    GammaGuard guard(screen);
    GammaRamp desired = WarmRamp();
    desired[0] = test.first;
    screen.screen = IdentityRamp();  // every green and blue sample is off
    guard.Arm(RampBytes(desired));

    EXPECT_EQ(screen.Ops(), (std::vector<Op>{Op::kGetDC, Op::kGetRamp, Op::kReleaseDC, Op::kGetDC,
                                             Op::kSetRamp, Op::kSetRamp, Op::kReleaseDC}));
    for (const auto& call : screen.calls) {
      EXPECT_EQ(call.window, nullptr);
      if (call.op != Op::kGetDC) {
        EXPECT_EQ(call.dc, FakeGammaPlatform::kScreenDc);
      }
    }
    const auto writes = screen.CallsOf(Op::kSetRamp);
    ASSERT_EQ(writes.size(), 2u);
    GammaRamp nudged = desired;
    nudged[0] = test.nudged;
    EXPECT_EQ(writes[0].ramp, nudged);
    EXPECT_EQ(writes[1].ramp, desired);
    EXPECT_EQ(guard.DesiredRamp(), desired);
    EXPECT_EQ(screen.screen, desired);
    EXPECT_EQ(screen.open_dcs, 0);
  }
}

TEST_F(GammaGuardTest, UnavailableScreenSkipsTheCheckSilently) {
  struct Case {
    const char* name;
    std::deque<bool> get_dc_results;
    bool read_fails;
    std::vector<Op> ops;
  };
  const Case cases[] = {
      {"no device context", {false}, false, {Op::kGetDC}},
      {"ramp unreadable", {}, true, {Op::kGetDC, Op::kGetRamp, Op::kReleaseDC}},
      {"no device context for the rewrite",
       {true, false},
       false,
       {Op::kGetDC, Op::kGetRamp, Op::kReleaseDC, Op::kGetDC}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    ScopedLogDirectory log;
    FakeGammaPlatform screen;
    GammaGuard guard(screen);
    screen.screen = WarmRamp();
    guard.Arm(RampBytes(WarmRamp()));
    screen.screen = IdentityRamp();
    screen.calls.clear();

    screen.get_dc_results = test.get_dc_results;
    screen.read_fails = test.read_fails;
    guard.Reassert();
    EXPECT_EQ(screen.Ops(), test.ops);
    EXPECT_EQ(screen.open_dcs, 0);
    EXPECT_EQ(guard.LastOutcome(), -1);
    EXPECT_EQ(log.Messages(), Strings{kArmed});

    // The next check tries again.
    screen.read_fails = false;
    guard.Reassert();
    EXPECT_EQ(screen.screen, WarmRamp());
    EXPECT_EQ(log.Messages(), (Strings{kArmed, kRewriteOk}));
  }
}

// Outcomes are logged only when they change; Arm makes the next one new again.
TEST(GammaGuardOutcome, LogsOnlyChangesOfOutcome) {
  struct Case {
    std::vector<bool> rejected;  // one reset and check per element
    Strings lines;
    int32_t last_outcome;
  };
  const Case cases[] = {
      {{false}, {kRewriteOk}, 1},
      {{true}, {kRewriteFailed}, 0},
      {{false, false}, {kRewriteOk}, 1},
      {{true, true, true}, {kRewriteFailed}, 0},
      {{false, true, false}, {kRewriteOk, kRewriteFailed, kRewriteOk}, 1},
      {{true, false}, {kRewriteFailed, kRewriteOk}, 1},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(::testing::PrintToString(test.rejected));
    ScopedLogDirectory log;
    FakeGammaPlatform screen;
    GammaGuard guard(screen);
    screen.screen = WarmRamp();
    guard.Arm(RampBytes(WarmRamp()));
    for (bool rejected : test.rejected) {
      screen.screen = IdentityRamp();
      screen.rejects = rejected;
      guard.Reassert();
    }
    Strings expected{kArmed};
    expected.insert(expected.end(), test.lines.begin(), test.lines.end());
    EXPECT_EQ(log.Messages(), expected);
    EXPECT_EQ(guard.LastOutcome(), test.last_outcome);
    // Every reset is rewritten, rejected or not.
    EXPECT_EQ(screen.CountOf(Op::kSetRamp), 2 * test.rejected.size());
  }
}

TEST_F(GammaGuardTest, IntactCheckKeepsOutcomeAndArmResetsIt) {
  ArmIntact();
  screen.screen = IdentityRamp();
  guard.Reassert();
  guard.Reassert();  // intact now
  EXPECT_EQ(guard.LastOutcome(), 1);
  EXPECT_EQ(log.Messages(), Strings{kRewriteOk});
  EXPECT_EQ(screen.CountOf(Op::kSetRamp), 2u);

  // The same ramp again: the next rewrite is logged although it succeeds as before.
  guard.Arm(RampBytes(WarmRamp()));
  EXPECT_EQ(guard.LastOutcome(), -1);
  screen.screen = IdentityRamp();
  guard.Reassert();
  EXPECT_EQ(log.Messages(), (Strings{kRewriteOk, kArmed, kRewriteOk}));
}

TEST_F(GammaGuardTest, ArmAgainReplacesTheRampWithOneTimer) {
  ArmIntact();
  guard.Arm(RampBytes(IdentityRamp()));
  EXPECT_TRUE(guard.Armed());
  EXPECT_EQ(guard.DesiredRamp(), IdentityRamp());
  EXPECT_EQ(screen.screen, IdentityRamp());
  EXPECT_TRUE(screen.CallsOf(Op::kSetTimer).empty());

  GammaGuard unregistered(screen);
  unregistered.Arm(RampBytes(WarmRamp()));
  EXPECT_TRUE(unregistered.Armed());
  EXPECT_FALSE(unregistered.PeriodicTimerRunning());
  EXPECT_TRUE(screen.CallsOf(Op::kSetTimer).empty());
}

TEST_F(GammaGuardTest, ArmStartsThePeriodicTimerBeforeTheFirstCheck) {
  guard.Init(nullptr, kWindow);
  screen.screen = IdentityRamp();
  guard.Arm(RampBytes(WarmRamp()));
  ASSERT_GE(screen.calls.size(), 2u);
  EXPECT_EQ(screen.calls[0].op, Op::kSetTimer);
  EXPECT_EQ(screen.calls[0].window, kWindow);
  EXPECT_EQ(screen.calls[0].id, kPeriodic);
  EXPECT_EQ(screen.calls[0].interval_ms, 3000u);
  EXPECT_TRUE(guard.PeriodicTimerRunning());
  EXPECT_EQ(log.Messages(), (Strings{kArmed, kRewriteOk}));

  // Each periodic tick checks once and is consumed.
  screen.screen = IdentityRamp();
  EXPECT_TRUE(guard.HandleWindowMessage(kWmTimer, kPeriodic, 0));
  EXPECT_EQ(screen.screen, WarmRamp());
}

TEST_F(GammaGuardTest, WindowMessages) {
  struct Case {
    uint32_t message;
    uintptr_t wparam;
    bool handled;
    Strings lines;
    bool bursts;
  };
  const Case cases[] = {
      {kWmTimer, kPeriodic, true, {}, false},
      {kWmTimer, kBurst, true, {}, false},
      {kWmTimer, 60450, false, {}, false},
      {kWmTimer, 1, false, {}, false},
      {kWmDisplayChange, 0, false, {kDisplayChange}, true},
      {kWmPowerBroadcast, 18, false, {kPowerResume}, true},
      {kWmPowerBroadcast, 7, false, {kPowerResume}, true},
      {kWmPowerBroadcast, 4, false, {}, false},
      {kWmPowerBroadcast, 10, false, {}, false},
      {0x000F, kPeriodic, false, {}, false},  // WM_PAINT
      {0x0112, kBurst, false, {}, false},     // WM_SYSCOMMAND
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(::testing::Message() << test.message << " " << test.wparam);
    ScopedLogDirectory log;
    FakeGammaPlatform screen;
    GammaGuard guard(screen);
    guard.Init(nullptr, kWindow);
    screen.screen = WarmRamp();
    guard.Arm(RampBytes(WarmRamp()));
    screen.calls.clear();
    std::filesystem::remove(log.LogFile());

    EXPECT_EQ(guard.HandleWindowMessage(test.message, test.wparam, 12345), test.handled);
    EXPECT_EQ(log.Messages(), test.lines);
    EXPECT_EQ(guard.BurstTimerRunning(), test.bursts);
    const bool checks = test.handled || test.bursts;
    EXPECT_EQ(screen.CountOf(Op::kGetRamp), checks ? 1u : 0u);
  }
}

TEST_F(GammaGuardTest, BurstChecksTwentyTimesThenStops) {
  ArmIntact();
  EXPECT_FALSE(guard.HandleWindowMessage(kWmDisplayChange, 0, 0));
  EXPECT_EQ(TimerCalls(Op::kSetTimer), std::vector<uintptr_t>{kBurst});
  EXPECT_EQ(screen.CallsOf(Op::kSetTimer)[0].interval_ms, 1000u);
  EXPECT_EQ(guard.BurstTicksLeft(), 20);
  EXPECT_EQ(screen.CountOf(Op::kGetRamp), 1u);  // at once

  for (int tick = 1; tick <= 19; ++tick) {
    EXPECT_TRUE(guard.HandleWindowMessage(kWmTimer, kBurst, 0));
  }
  EXPECT_EQ(guard.BurstTicksLeft(), 1);
  EXPECT_TRUE(guard.BurstTimerRunning());
  EXPECT_TRUE(screen.CallsOf(Op::kKillTimer).empty());

  screen.screen = IdentityRamp();  // reset just before the last tick
  EXPECT_TRUE(guard.HandleWindowMessage(kWmTimer, kBurst, 0));
  EXPECT_EQ(screen.screen, WarmRamp());
  EXPECT_EQ(screen.CountOf(Op::kGetRamp), 21u);
  EXPECT_EQ(TimerCalls(Op::kKillTimer), std::vector<uintptr_t>{kBurst});
  EXPECT_FALSE(guard.BurstTimerRunning());
  EXPECT_EQ(guard.BurstTicksLeft(), 0);
  EXPECT_TRUE(guard.PeriodicTimerRunning());

  // A tick already queued when the timer stopped is still the guard's, and kills nothing.
  EXPECT_TRUE(guard.HandleWindowMessage(kWmTimer, kBurst, 0));
  EXPECT_EQ(TimerCalls(Op::kKillTimer).size(), 1u);
  EXPECT_EQ(guard.BurstTicksLeft(), 0);
}

TEST_F(GammaGuardTest, NewEventRestartsTheCountWithoutASecondTimer) {
  ArmIntact();
  guard.HandleWindowMessage(kWmDisplayChange, 0, 0);
  for (int tick = 0; tick < 15; ++tick) {
    guard.HandleWindowMessage(kWmTimer, kBurst, 0);
  }
  EXPECT_EQ(guard.BurstTicksLeft(), 5);
  guard.HandleWindowMessage(kWmPowerBroadcast, 18, 0);
  EXPECT_EQ(guard.BurstTicksLeft(), 20);
  for (int tick = 0; tick < 19; ++tick) {
    guard.HandleWindowMessage(kWmTimer, kBurst, 0);
  }
  EXPECT_TRUE(guard.BurstTimerRunning());
  guard.HandleWindowMessage(kWmTimer, kBurst, 0);
  EXPECT_FALSE(guard.BurstTimerRunning());
  EXPECT_EQ(TimerCalls(Op::kSetTimer), std::vector<uintptr_t>{kBurst});
  EXPECT_EQ(TimerCalls(Op::kKillTimer), std::vector<uintptr_t>{kBurst});
  EXPECT_EQ(log.Messages(), (Strings{kDisplayChange, kPowerResume}));
}

TEST_F(GammaGuardTest, EventsWithoutArmOrWindowStartNoBurst) {
  // Registered, not armed: logged, nothing else.
  guard.Init(nullptr, kWindow);
  guard.HandleWindowMessage(kWmDisplayChange, 0, 0);
  guard.HandleWindowMessage(kWmPowerBroadcast, 7, 0);
  EXPECT_TRUE(screen.calls.empty());
  EXPECT_EQ(guard.BurstTicksLeft(), 0);
  EXPECT_EQ(log.Messages(), (Strings{kDisplayChange, kPowerResume}));

  // Armed, never registered: no window to own a timer.
  FakeGammaPlatform other_screen;
  GammaGuard other(other_screen);
  other_screen.screen = WarmRamp();
  other.Arm(RampBytes(WarmRamp()));
  other.HandleWindowMessage(kWmDisplayChange, 0, 0);
  EXPECT_FALSE(other.BurstTimerRunning());
  EXPECT_EQ(other.BurstTicksLeft(), 0);
  EXPECT_TRUE(other_screen.CallsOf(Op::kSetTimer).empty());
}

TEST_F(GammaGuardTest, DisarmStopsBothTimersAndWritesNothing) {
  ArmIntact();
  screen.screen = IdentityRamp();
  guard.HandleWindowMessage(kWmDisplayChange, 0, 0);
  guard.HandleWindowMessage(kWmTimer, kBurst, 0);
  screen.screen = IdentityRamp();  // reset again after the guard's last rewrite
  screen.calls.clear();

  guard.Disarm();
  EXPECT_FALSE(guard.Armed());
  EXPECT_FALSE(guard.PeriodicTimerRunning());
  EXPECT_FALSE(guard.BurstTimerRunning());
  EXPECT_EQ(guard.BurstTicksLeft(), 0);
  EXPECT_EQ(TimerCalls(Op::kKillTimer), (std::vector<uintptr_t>{kPeriodic, kBurst}));
  EXPECT_EQ(screen.CountOf(Op::kSetRamp), 0u);
  EXPECT_EQ(screen.screen, IdentityRamp());
  // The ramp and outcome are kept.
  EXPECT_EQ(guard.DesiredRamp(), WarmRamp());
  EXPECT_EQ(guard.LastOutcome(), 1);

  // Late ticks are still consumed but check nothing; a second Disarm kills nothing.
  EXPECT_TRUE(guard.HandleWindowMessage(kWmTimer, kPeriodic, 0));
  guard.Disarm();
  EXPECT_EQ(screen.calls.size(), 2u);
  EXPECT_EQ(log.Messages(), (Strings{kDisplayChange, kRewriteOk, kDisarmed, kDisarmed}));
}

TEST(GammaGuardDestruction, KillsEachRunningTimerOnceAndWritesNothing) {
  struct Case {
    bool burst;
    std::vector<uintptr_t> killed;
  };
  for (const Case& test : {Case{false, {kPeriodic}}, Case{true, {kPeriodic, kBurst}}}) {
    SCOPED_TRACE(test.burst);
    ScopedLogDirectory log;
    FakeGammaPlatform screen;
    {
      GammaGuard guard(screen);
      guard.Init(nullptr, kWindow);
      screen.screen = WarmRamp();
      guard.Arm(RampBytes(WarmRamp()));
      if (test.burst) {
        guard.HandleWindowMessage(kWmDisplayChange, 0, 0);
      }
      screen.screen = IdentityRamp();
      screen.calls.clear();
      std::filesystem::remove(log.LogFile());
    }
    std::vector<uintptr_t> killed;
    for (const auto& call : screen.calls) {
      EXPECT_EQ(call.op, Op::kKillTimer);
      EXPECT_EQ(call.window, kWindow);
      killed.push_back(call.id);
    }
    EXPECT_EQ(killed, test.killed);
    EXPECT_EQ(screen.screen, IdentityRamp());
    EXPECT_TRUE(log.Messages().empty());
  }
}

}  // namespace
