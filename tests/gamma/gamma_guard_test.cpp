#include "gamma/gamma_guard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/gamma/fake_gamma_platform.h"
#include "tests/gamma/scoped_log_directory.h"

namespace {

using Op = FakeGammaPlatform::Op;
using Strings = std::vector<std::string>;
using Ids = std::vector<uintptr_t>;

constexpr uint32_t kWmDisplayChange = 126, kWmTimer = 275, kWmPowerBroadcast = 536;
constexpr uintptr_t kPeriodic = 60448, kBurst = 60449;
const char kOk[] = "reassert: ramp was reset -> rewrite OK";
const char kFailed[] = "reassert: ramp was reset -> rewrite FAILED (driver rejected)";
const char kDisplay[] = "event: displaychange -> burst";
const char kPower[] = "event: power resume -> burst";
void* const kWindow = reinterpret_cast<void*>(0x1234);

// A registered guard armed with the warm ramp, which the screen (the whole screen alone, or
// that many displays) already carries; calls and log lines of getting there are forgotten.
struct ArmedGuard {
  explicit ArmedGuard(std::size_t displays = 0) {
    guard.emplace(screen);
    guard->Init(nullptr, kWindow);
    screen.screen = WarmRamp();
    screen.displays.assign(displays, {WarmRamp()});
    guard->Arm(RampBytes(WarmRamp()));
    screen.calls.clear();
    std::filesystem::remove(log.LogFile());
  }
  // The ramp of the first display, or of the whole screen when there is no display.
  GammaRamp& Ramp() { return screen.displays.empty() ? screen.screen : screen.displays[0].ramp; }
  void Rejects(bool rejects) {
    (screen.displays.empty() ? screen.rejects : screen.displays[0].rejects) = rejects;
  }
  ScopedLogDirectory log;
  FakeGammaPlatform screen;
  std::optional<GammaGuard> guard;
};

// Only the 21 sampled entries count, and only beyond a difference of 512.
TEST(GammaGuardCheck, RewritesOnlyWhenASampleIsOffByMoreThanTheTolerance) {
  struct Case {
    std::size_t channel, entry;
    int delta;
    bool rewrites;
  };
  const Case cases[] = {
      {0, 32, 512, false},    {0, 32, -512, false},   {0, 32, 513, true},   {0, 32, -513, true},
      {2, 224, -513, true},   {2, 224, 512, false},   {0, 0, 30000, false}, {0, 31, 30000, false},
      {1, 33, -20000, false}, {2, 255, -9000, false},
  };
  for (std::size_t displays : {0, 1}) {
    for (const Case& test : cases) {
      SCOPED_TRACE(testing::Message() << displays << " display(s), " << test.channel << "/"
                                      << test.entry << " " << test.delta);
      ArmedGuard armed(displays);
      uint16_t& entry = armed.Ramp()[test.channel * 256 + test.entry];
      entry = static_cast<uint16_t>(entry + test.delta);
      armed.guard->Reassert();
      EXPECT_EQ(armed.screen.CallsOf(Op::kSetRamp).size(), test.rewrites ? 2u : 0u);
      EXPECT_EQ(armed.log.Messages(), test.rewrites ? Strings{kOk} : Strings{});
    }
  }
}

// One rewrite per check, nudged by one unit in the first red entry, then exact. The whole
// screen's context is released after the read and taken again for the two writes; a
// display's own context serves its read and both writes.
TEST(GammaGuardRewrite, WritesNudgedThenExact) {
  using Dc = FakeGammaPlatform::DeviceContext;
  const Dc screen_dc = FakeGammaPlatform::kScreenDc, display = FakeGammaPlatform::DisplayDc(0);
  const std::vector<std::pair<Op, Dc>> whole_screen = {
      {Op::kGetDC, nullptr},      {Op::kGetRamp, screen_dc}, {Op::kReleaseDC, screen_dc},
      {Op::kGetDC, nullptr},      {Op::kSetRamp, screen_dc}, {Op::kSetRamp, screen_dc},
      {Op::kReleaseDC, screen_dc}};
  const std::vector<std::pair<Op, Dc>> one_display = {{Op::kOpenDisplay, display},
                                                      {Op::kGetRamp, display},
                                                      {Op::kSetRamp, display},
                                                      {Op::kSetRamp, display},
                                                      {Op::kCloseDisplay, display}};
  for (std::size_t displays : {0, 1}) {
    for (const auto& [first, nudged] : {std::pair<uint16_t, uint16_t>{0, 1}, {0xFFFF, 0xFFFE}}) {
      SCOPED_TRACE(testing::Message() << displays << " display(s), " << first);
      ScopedLogDirectory log;
      FakeGammaPlatform screen;
      screen.displays.resize(displays);
      GammaGuard guard(screen);
      GammaRamp desired = WarmRamp();
      desired[0] = first;
      screen.screen = ScaledRamp(40, 40, 40);  // every sample off
      guard.Arm(RampBytes(desired));
      const auto& ops = displays == 0 ? whole_screen : one_display;
      ASSERT_EQ(screen.calls.size(), ops.size());
      for (std::size_t i = 0; i < ops.size(); ++i) {
        EXPECT_EQ(screen.calls[i].op, ops[i].first);
        EXPECT_EQ(screen.calls[i].handle, ops[i].second);
      }
      const auto writes = screen.CallsOf(Op::kSetRamp);
      EXPECT_EQ(writes[0].ramp[0], nudged);
      EXPECT_TRUE(
          std::equal(writes[0].ramp.begin() + 1, writes[0].ramp.end(), desired.begin() + 1));
      EXPECT_EQ(writes[1].ramp, desired);
      EXPECT_EQ(guard.DesiredRamp(), desired);
      EXPECT_EQ(screen.open_dcs, 0);
    }
  }
}

TEST(GammaGuardRewrite, UnavailableScreenSkipsTheCheckSilently) {
  struct Case {
    std::deque<bool> get_dc_results;
    bool read_fails;
    std::size_t calls;
  };
  for (const Case& test :
       {Case{{false}, false, 1}, Case{{}, true, 3}, Case{{true, false}, false, 4}}) {
    SCOPED_TRACE(test.calls);
    ArmedGuard armed;
    armed.screen.screen = IdentityRamp();
    armed.screen.get_dc_results = test.get_dc_results;
    armed.screen.read_fails = test.read_fails;
    armed.guard->Reassert();
    EXPECT_EQ(armed.screen.calls.size(), test.calls);
    EXPECT_TRUE(armed.screen.CallsOf(Op::kSetRamp).empty());
    EXPECT_EQ(armed.screen.open_dcs, 0);
    EXPECT_EQ(armed.guard->LastOutcome(), -1);
    EXPECT_TRUE(armed.log.Messages().empty());
    armed.screen.read_fails = false;
    armed.guard->Reassert();  // the next check tries again
    EXPECT_EQ(armed.screen.screen, WarmRamp());
  }
}

// Every reset is rewritten; outcomes are logged only when they change, and Arm makes the
// next one new again.
TEST(GammaGuardRewrite, LogsOnlyChangesOfOutcome) {
  struct Case {
    std::vector<bool> rejected;  // one reset and check each
    Strings lines;
  };
  const Case cases[] = {
      {{false, false}, {kOk}},
      {{true, true}, {kFailed}},
      {{false, true, false}, {kOk, kFailed, kOk}},
  };
  for (std::size_t displays : {0, 1}) {
    for (const Case& test : cases) {
      SCOPED_TRACE(testing::Message()
                   << displays << " display(s), " << testing::PrintToString(test.rejected));
      ArmedGuard armed(displays);
      for (bool rejected : test.rejected) {
        armed.Ramp() = IdentityRamp();
        armed.Rejects(rejected);
        armed.guard->Reassert();
        armed.guard->Reassert();  // intact or still rejected: no new line
      }
      EXPECT_EQ(armed.log.Messages(), test.lines);
      EXPECT_EQ(armed.guard->LastOutcome(), test.rejected.back() ? 0 : 1);
      armed.Ramp() = WarmRamp();
      armed.guard->Arm(RampBytes(WarmRamp()));
      EXPECT_EQ(armed.guard->LastOutcome(), -1);
    }
  }
}

// Each display is read and rewritten on its own, and one check logs one outcome: failure
// when any display refused its ramp, success when one was rewritten and none refused. A
// display that cannot be opened or read is skipped; with none opened, the whole screen
// serves as before.
TEST(GammaGuardDisplays, EachDisplayIsRewrittenOnItsOwnWithOneOutcomePerCheck) {
  using Display = FakeGammaPlatform::Display;
  const GammaRamp off = IdentityRamp(), on = WarmRamp();
  const Display intact{on}, reset{off}, closed{off, false}, unreadable{off, true, true},
      rejecting{off, true, false, true};
  struct Case {
    const char* name;
    std::vector<Display> displays;
    Strings lines;
    bool whole_screen = false;
  };
  const Case cases[] = {
      {"reset on one", {intact, reset, intact}, {kOk}},
      {"one rejects", {reset, rejecting, reset}, {kFailed}},
      {"one unreadable", {unreadable, reset}, {kOk}},
      {"one does not open", {closed, reset}, {kOk}},
      {"none opens", {closed, closed}, {kOk}, true},
      {"all intact", {intact, intact}, {}},
      {"many", std::vector<Display>(40, reset), {kOk}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    ArmedGuard armed;
    armed.screen.displays = test.displays;
    armed.screen.screen = off;  // touched only as the fallback
    armed.guard->Reassert();
    armed.guard->Reassert();  // the rejecting display again: no second line
    EXPECT_EQ(armed.log.Messages(), test.lines);
    EXPECT_EQ(armed.screen.CallsOf(Op::kGetDC).size(), test.whole_screen ? 3u : 0u);
    EXPECT_EQ(armed.screen.screen, test.whole_screen ? on : off);
    for (std::size_t i = 0; i < test.displays.size(); ++i) {
      SCOPED_TRACE(i);
      const Display& shown = test.displays[i];
      const bool read = shown.ramp == off && shown.opens && !shown.read_fails;
      EXPECT_EQ(armed.screen.displays[i].ramp, read && !shown.rejects ? on : shown.ramp);
      const auto ops = armed.screen.OpsOn(FakeGammaPlatform::DisplayDc(i));
      EXPECT_EQ(std::count(ops.begin(), ops.end(), Op::kSetRamp),
                read ? (shown.rejects ? 4 : 2) : 0);
      EXPECT_EQ(std::count(ops.begin(), ops.end(), Op::kOpenDisplay), shown.opens ? 2 : 0);
    }
  }
}

// Displays are enumerated at every check: one connected since the last check gets the
// ramp, one removed is no longer touched.
TEST(GammaGuardDisplays, FollowsDisplaysConnectedAndRemovedBetweenChecks) {
  ArmedGuard armed(1);
  armed.screen.displays.push_back({IdentityRamp()});
  armed.guard->Reassert();
  EXPECT_EQ(armed.screen.displays[1].ramp, WarmRamp());
  EXPECT_EQ(armed.log.Messages(), Strings{kOk});

  armed.screen.displays.pop_back();
  armed.screen.displays[0].ramp = IdentityRamp();
  armed.screen.calls.clear();
  armed.guard->Reassert();
  EXPECT_EQ(armed.screen.displays[0].ramp, WarmRamp());
  EXPECT_TRUE(armed.screen.OpsOn(FakeGammaPlatform::DisplayDc(1)).empty());
}

const GammaRamp kCool = ScaledRamp(70, 85, 100);
std::string Id(std::size_t i) { return FakeGammaPlatform::FakeDisplayId(i); }
std::vector<GammaRamp> RampsOf(const FakeGammaPlatform& screen) {
  std::vector<GammaRamp> ramps;
  for (const auto& display : screen.displays) ramps.push_back(display.ramp);
  return ramps;
}
void ResetAll(FakeGammaPlatform& screen) {
  for (auto& display : screen.displays) display.ramp = IdentityRamp();
}

// A display with a ramp of its own is restored with it, the others with the shared one; its
// identity is looked up only while some display has a ramp of its own. Clearing it gives it
// the shared ramp back at once; "clear" on the shared channel forgets every own ramp.
TEST(GammaGuardOwnRamps, EachDisplayIsRestoredWithItsOwnRampOrTheSharedOne) {
  ArmedGuard armed(3);
  EXPECT_EQ(armed.screen.id_lookups, 0);
  ASSERT_TRUE(armed.guard->SetOwnRamp(Id(1), kCool));
  ResetAll(armed.screen);
  armed.guard->Reassert();
  EXPECT_EQ(RampsOf(armed.screen), (std::vector<GammaRamp>{WarmRamp(), kCool, WarmRamp()}));
  EXPECT_EQ(armed.log.Messages(), (Strings{"displays: own ramp set for " + Id(1), kOk}));

  armed.guard->ClearOwnRamp(Id(1));
  EXPECT_EQ(RampsOf(armed.screen), std::vector<GammaRamp>(3, WarmRamp()));
  EXPECT_TRUE(armed.guard->Armed());

  armed.guard->SetOwnRamp(Id(2), kCool);
  armed.guard->Disarm();
  EXPECT_TRUE(armed.guard->OwnRamps().Empty());
  armed.guard->Arm(RampBytes(WarmRamp()));
  EXPECT_EQ(RampsOf(armed.screen), std::vector<GammaRamp>(3, WarmRamp()));
}

// Without a shared ramp only displays with a ramp of their own are touched, the whole screen
// never; clearing the last one stops the guard, burst and all, and leaves its ramp on the screen.
TEST(GammaGuardOwnRamps, WithoutASharedRampOnlyOwnRampsAreKept) {
  ScopedLogDirectory log;
  FakeGammaPlatform screen;
  screen.displays.assign(3, {IdentityRamp()});
  GammaGuard guard(screen);
  guard.Init(nullptr, kWindow);
  ASSERT_TRUE(guard.SetOwnRamp(Id(2), kCool));
  EXPECT_TRUE(guard.Armed());
  EXPECT_EQ(RampsOf(screen), (std::vector<GammaRamp>{IdentityRamp(), IdentityRamp(), kCool}));
  for (std::size_t i : {0, 1}) {
    const auto ops = screen.OpsOn(FakeGammaPlatform::DisplayDc(i));
    EXPECT_EQ(ops, (std::vector<Op>{Op::kOpenDisplay, Op::kCloseDisplay})) << i;
  }
  screen.displays[2].opens = false;
  guard.Reassert();
  EXPECT_TRUE(screen.CallsOf(Op::kGetDC).empty());  // the fallback serves the shared ramp only

  guard.HandleWindowMessage(kWmDisplayChange, 0, 0);
  guard.ClearOwnRamp(Id(2));
  EXPECT_FALSE(guard.Armed() || guard.BurstTimerRunning());
  EXPECT_EQ(screen.CallsOf(Op::kKillTimer).size(), 2u);
  EXPECT_EQ(screen.displays[2].ramp, kCool);
  EXPECT_EQ(log.Messages(), (Strings{"displays: own ramp set for " + Id(2), kOk, kDisplay,
                                     "displays: own ramp cleared for " + Id(2)}));
}

// A ramp follows its display's identity: kept while it is not connected, applied when it
// appears, and kept when it comes back at another position under another device name.
TEST(GammaGuardOwnRamps, ARampFollowsItsDisplaysIdentity) {
  ArmedGuard armed(2);
  armed.guard->SetOwnRamp("monitor-x", kCool);
  EXPECT_EQ(RampsOf(armed.screen), std::vector<GammaRamp>(2, WarmRamp()));
  armed.screen.displays.push_back({IdentityRamp()});
  armed.screen.displays[2].id = "monitor-x";
  armed.guard->Reassert();
  EXPECT_EQ(armed.screen.displays[2].ramp, kCool);

  std::swap(armed.screen.displays[0], armed.screen.displays[2]);
  armed.screen.displays[0].device = "\\\\.\\DISPLAY7";
  ResetAll(armed.screen);
  armed.guard->Reassert();
  EXPECT_EQ(RampsOf(armed.screen), (std::vector<GammaRamp>{kCool, WarmRamp(), WarmRamp()}));
}

// "list" tells each display's ramp and what the last check did there, and touches no ramp.
TEST(GammaGuardOwnRamps, ListTellsEachDisplaysRampAndLastCheck) {
  using Display = FakeGammaPlatform::Display;
  const GammaRamp off = IdentityRamp(), on = WarmRamp();
  ScopedLogDirectory log;
  FakeGammaPlatform screen;
  screen.displays = {
      Display{on},         Display{off}, Display{off, true, false, true}, Display{off, true, true},
      Display{off, false}, Display{on}};
  GammaGuard guard(screen);
  guard.Init(nullptr, kWindow);
  using R = GammaGuard::RampSource;
  using S = DisplayState;
  const auto expect_list = [&](R others, R last, const std::vector<S>& states) {
    screen.calls.clear();
    const std::vector<GammaGuard::DisplayReport> list = guard.ListDisplays();
    EXPECT_TRUE(screen.CallsOf(Op::kGetRamp).empty() && screen.CallsOf(Op::kSetRamp).empty());
    ASSERT_EQ(list.size(), states.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(list[i].id, Id(i));
      EXPECT_EQ(list[i].device, FakeGammaPlatform::FakeDeviceName(i));
      EXPECT_EQ(list[i].ramp, i + 1 == list.size() ? last : others);
      EXPECT_EQ(list[i].state, states[i]);
    }
  };
  const S unchecked = S::kUnchecked;
  expect_list(R::kNone, R::kNone, std::vector<S>(6, unchecked));
  guard.SetOwnRamp(Id(5), on);
  expect_list(R::kNone, R::kOwn,
              {unchecked, unchecked, unchecked, unchecked, unchecked, S::kIntact});
  guard.Arm(RampBytes(on));
  expect_list(R::kShared, R::kOwn,
              {S::kIntact, S::kRewritten, S::kRefused, S::kUnreadable, S::kUnreadable, S::kIntact});
  guard.Reassert();
  EXPECT_EQ(guard.ListDisplays()[1].state, S::kIntact);
}

TEST(GammaGuardMessages, OnlyTheGuardsTimersAreConsumed) {
  struct Case {
    uint32_t message;
    uintptr_t wparam;
    bool handled, bursts;
    Strings lines;
  };
  const Case cases[] = {
      {kWmTimer, kPeriodic, true, false, {}},
      {kWmTimer, 60450, false, false, {}},
      {kWmDisplayChange, 0, false, true, {kDisplay}},
      {kWmPowerBroadcast, 18, false, true, {kPower}},
      {kWmPowerBroadcast, 7, false, true, {kPower}},
      {kWmPowerBroadcast, 4, false, false, {}},
      {kWmPowerBroadcast, 10, false, false, {}},
      {0x000F, kPeriodic, false, false, {}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(testing::Message() << test.message << " " << test.wparam);
    ArmedGuard armed;
    EXPECT_EQ(armed.guard->HandleWindowMessage(test.message, test.wparam, 99), test.handled);
    EXPECT_EQ(armed.log.Messages(), test.lines);
    EXPECT_EQ(armed.guard->BurstTimerRunning(), test.bursts);
    EXPECT_EQ(armed.screen.CallsOf(Op::kGetRamp).size(), test.handled || test.bursts ? 1u : 0u);
  }
}

TEST(GammaGuardTimers, ArmStartsOnePeriodicTimerAndBurstsRunTwentyTicks) {
  ScopedLogDirectory log;
  FakeGammaPlatform screen;
  GammaGuard guard(screen);
  guard.Init(nullptr, kWindow);
  guard.Arm(RampBytes(WarmRamp()));
  guard.Arm(RampBytes(WarmRamp()));
  ASSERT_EQ(screen.CallsOf(Op::kSetTimer).size(), 1u);
  EXPECT_EQ(screen.calls[0].op, Op::kSetTimer);  // before the first check
  EXPECT_EQ(screen.calls[0].handle, kWindow);
  EXPECT_EQ(screen.calls[0].id, kPeriodic);
  EXPECT_EQ(screen.calls[0].interval_ms, 3000u);

  screen.calls.clear();
  guard.HandleWindowMessage(kWmDisplayChange, 0, 0);
  for (int tick = 0; tick < 15; ++tick) guard.HandleWindowMessage(kWmTimer, kBurst, 0);
  guard.HandleWindowMessage(kWmPowerBroadcast, 18, 0);  // restarts the count
  EXPECT_EQ(guard.BurstTicksLeft(), 20);
  for (int tick = 0; tick < 19; ++tick) guard.HandleWindowMessage(kWmTimer, kBurst, 0);
  EXPECT_TRUE(screen.CallsOf(Op::kKillTimer).empty());
  screen.screen = IdentityRamp();
  guard.HandleWindowMessage(kWmTimer, kBurst, 0);
  EXPECT_EQ(screen.screen, WarmRamp());  // the last tick still checks
  EXPECT_FALSE(guard.BurstTimerRunning());
  EXPECT_EQ(guard.BurstTicksLeft(), 0);
  EXPECT_EQ(screen.CallsOf(Op::kGetRamp).size(), 1u + 15 + 1 + 20);
  const auto set = screen.CallsOf(Op::kSetTimer);
  const auto killed = screen.CallsOf(Op::kKillTimer);
  ASSERT_EQ(set.size(), 1u);
  EXPECT_EQ(set[0].id, kBurst);
  EXPECT_EQ(set[0].interval_ms, 1000u);
  ASSERT_EQ(killed.size(), 1u);
  EXPECT_EQ(killed[0].id, kBurst);
  EXPECT_EQ(killed[0].handle, kWindow);
  // A tick already queued when the timer stopped kills nothing more.
  EXPECT_TRUE(guard.HandleWindowMessage(kWmTimer, kBurst, 0));
  EXPECT_EQ(screen.CallsOf(Op::kKillTimer).size(), 1u);
}

TEST(GammaGuardTimers, DisarmAndDestructionKillEachRunningTimerOnceAndWriteNothing) {
  for (bool burst : {false, true}) {
    SCOPED_TRACE(burst);
    const Ids running = burst ? Ids{kPeriodic, kBurst} : Ids{kPeriodic};
    for (bool destroy : {false, true}) {
      ArmedGuard armed;
      if (burst) armed.guard->HandleWindowMessage(kWmDisplayChange, 0, 0);
      armed.screen.screen = IdentityRamp();
      armed.screen.calls.clear();
      std::filesystem::remove(armed.log.LogFile());
      if (destroy) {
        armed.guard.reset();
        EXPECT_TRUE(armed.log.Messages().empty());
      } else {
        armed.guard->Disarm();
        armed.guard->Disarm();
        EXPECT_FALSE(armed.guard->Armed());
        EXPECT_EQ(armed.guard->BurstTicksLeft(), 0);
        EXPECT_EQ(armed.guard->DesiredRamp(), WarmRamp());
        EXPECT_TRUE(armed.guard->HandleWindowMessage(kWmTimer, kPeriodic, 0));
        EXPECT_EQ(armed.log.Messages(), Strings(2, "clear: guard disarmed"));
      }
      const auto killed = armed.screen.CallsOf(Op::kKillTimer);
      ASSERT_EQ(killed.size(), running.size());
      for (std::size_t i = 0; i < killed.size(); ++i) EXPECT_EQ(killed[i].id, running[i]);
      EXPECT_EQ(armed.screen.calls.size(), running.size());
      EXPECT_EQ(armed.screen.screen, IdentityRamp());
    }
  }
}

}  // namespace
