#include "gamma/gamma_guard.h"

#include <string>
#include <utility>

#include "client/method_channel.h"
#include "gamma/guard_log.h"
#include "gamma/screen_dc.h"

#if defined(_WIN32)
#include "gamma/win32_gamma_platform.h"
#endif

namespace {

int32_t Difference(uint16_t a, uint16_t b) {
  const int32_t difference = static_cast<int32_t>(a) - static_cast<int32_t>(b);
  return difference < 0 ? -difference : difference;
}

// A display id as the log shows it: control characters would let an id forge or break lines.
std::string Printable(std::string_view id) {
  std::string printable(id);
  for (char& c : printable) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      c = '?';
    }
  }
  return printable;
}

}  // namespace

#if defined(_WIN32)
GammaGuard::GammaGuard()
    : owned_platform(std::make_unique<Win32GammaPlatform>()), platform(*owned_platform) {}
#endif

GammaGuard::GammaGuard(GammaPlatform& screen) : platform(screen) {}

GammaGuard::~GammaGuard() {
  // The native window is usually gone by now, so these KillTimer calls may fail; the
  // timers died with it.
  StopPeriodicTimer();
  StopBurstTimer();
  channel.reset();
  displays_channel.reset();
}

bool GammaGuard::HandleWindowMessage(uint32_t message, uintptr_t wparam, intptr_t /*lparam*/) {
  switch (message) {
    case kWmDisplayChange:
      GuardLog("event: displaychange -> burst");
      StartBurst();
      return false;
    case kWmTimer:
      if (wparam == kPeriodicTimerId) {
        Reassert();
        return true;
      }
      if (wparam == kBurstTimerId) {
        Reassert();
        --burst_ticks_left;
        if (burst_ticks_left <= 0) {
          StopBurstTimer();
        }
        return true;
      }
      return false;
    case kWmPowerBroadcast:
      if (wparam == kPbtApmResumeAutomatic || wparam == kPbtApmResumeSuspend) {
        GuardLog("event: power resume -> burst");
        StartBurst();
      }
      return false;
    default:
      return false;
  }
}

// One check's visit of the displays: each is read and, when reset, rewritten on its own
// with the ramp it must keep; what happened on each is recorded for "list".
class GammaGuard::DisplayCheck final : public GammaPlatform::DisplayVisitor {
 public:
  explicit DisplayCheck(GammaGuard& guard) : guard(guard) {}

  void Visit(GammaPlatform::Display& display) override {
    guard.states.Record(display.DeviceName(), Check(display));
  }

  std::size_t opened = 0;  // displays whose own context opened
  bool rewritten = false;
  bool rejected = false;

 private:
  DisplayState Check(GammaPlatform::Display& display) {
    const GammaPlatform::DeviceContext dc = display.Context();
    opened += dc != nullptr ? 1 : 0;
    const GammaRamp* desired = guard.DesiredRampOf(display);
    if (desired == nullptr) {
      return DisplayState::kUnchecked;  // neither read nor written
    }
    GammaRamp current;
    if (dc == nullptr || !guard.platform.GetDeviceGammaRamp(dc, current)) {
      return DisplayState::kUnreadable;
    }
    if (!IsReset(current, *desired)) {
      return DisplayState::kIntact;
    }
    if (guard.WriteDesired(dc, *desired)) {
      rewritten = true;
      return DisplayState::kRewritten;
    }
    rejected = true;
    return DisplayState::kRefused;
  }

  GammaGuard& guard;
};

void GammaGuard::Reassert() {
  if (!armed) {
    return;
  }
  states.Reset();
  DisplayCheck check(*this);
  platform.ForEachDisplay(check);
  if (check.opened == 0) {
    if (has_shared_ramp) {
      ReassertWholeScreen();
    }
    return;
  }
  // One outcome per check: a display that refused the ramp outweighs those that took it.
  if (check.rejected) {
    RecordOutcome(0);
  } else if (check.rewritten) {
    RecordOutcome(1);
  }
}

const GammaRamp* GammaGuard::DesiredRampOf(GammaPlatform::Display& display) {
  // Only a display with a ramp of its own needs its identity, which costs a lookup.
  if (!own_ramps.Empty()) {
    if (const GammaRamp* own = own_ramps.Find(display.Id())) {
      return own;
    }
  }
  return has_shared_ramp ? &desired_ramp : nullptr;
}

void GammaGuard::ReassertWholeScreen() {
  GammaRamp current;
  {
    // Released right after the read, whatever its result.
    const ScreenDc dc = AcquireScreenDc(platform);
    if (dc.Get() == nullptr || !platform.GetDeviceGammaRamp(dc.Get(), current)) {
      return;
    }
  }
  if (!IsReset(current, desired_ramp)) {
    return;
  }
  bool taken = false;
  {
    const ScreenDc dc = AcquireScreenDc(platform);
    if (dc.Get() == nullptr) {
      return;
    }
    taken = WriteDesired(dc.Get(), desired_ramp);
  }
  RecordOutcome(taken ? 1 : 0);
}

bool GammaGuard::IsReset(const GammaRamp& current, const GammaRamp& desired) {
  for (std::size_t color = 0; color < kRampChannels; ++color) {
    const std::size_t base = color * kRampEntriesPerChannel;
    for (std::size_t entry : kSampleEntries) {
      if (Difference(current[base + entry], desired[base + entry]) > kTolerance) {
        return true;
      }
    }
  }
  return false;
}

bool GammaGuard::WriteDesired(GammaPlatform::DeviceContext dc, const GammaRamp& ramp) {
  // Written once nudged by one unit, then exact: some drivers skip a ramp identical to
  // the one they believe is loaded, although something else has replaced it since.
  GammaRamp nudged = ramp;
  nudged[0] =
      ramp[0] == 0xFFFF ? static_cast<uint16_t>(ramp[0] - 1) : static_cast<uint16_t>(ramp[0] + 1);
  platform.SetDeviceGammaRamp(dc, nudged);
  return platform.SetDeviceGammaRamp(dc, ramp);
}

void GammaGuard::RecordOutcome(int32_t outcome) {
  // Logged only on a change, so a steadily reset or rejected ramp writes one line.
  if (outcome != last_outcome) {
    last_outcome = outcome;
    GuardLog(outcome == 1 ? "reassert: ramp was reset -> rewrite OK"
                          : "reassert: ramp was reset -> rewrite FAILED (driver rejected)");
  }
}

void GammaGuard::StartBurst() {
  if (window == nullptr || !armed) {
    return;
  }
  burst_ticks_left = kBurstTicks;
  if (!burst_timer_running) {
    platform.SetTimer(window, kBurstTimerId, kBurstIntervalMs);
    burst_timer_running = true;
  }
  Reassert();
}

void GammaGuard::StopBurstTimer() {
  if (window != nullptr && burst_timer_running) {
    platform.KillTimer(window, kBurstTimerId);
    burst_timer_running = false;
  }
  burst_ticks_left = 0;
}

void GammaGuard::StopPeriodicTimer() {
  if (window != nullptr && periodic_timer_running) {
    platform.KillTimer(window, kPeriodicTimerId);
    periodic_timer_running = false;
  }
}

void GammaGuard::StartGuarding() {
  armed = true;
  last_outcome = -1;
  if (window != nullptr && !periodic_timer_running) {
    platform.SetTimer(window, kPeriodicTimerId, kPeriodicIntervalMs);
    periodic_timer_running = true;
  }
}

void GammaGuard::Arm(const std::vector<uint8_t>& ramp) {
  if (ramp.size() != kRampBytes) {
    return;
  }
  desired_ramp = RampFromBytes(ramp.data());
  has_shared_ramp = true;
  StartGuarding();
  GuardLog("set: desired ramp received, guard armed");
  Reassert();
}

void GammaGuard::Disarm() {
  armed = false;
  has_shared_ramp = false;
  own_ramps.ClearAll();
  StopPeriodicTimer();
  StopBurstTimer();
  GuardLog("clear: guard disarmed");
}

bool GammaGuard::SetOwnRamp(std::string_view id, const GammaRamp& ramp) {
  if (!own_ramps.Set(id, ramp)) {
    return false;
  }
  StartGuarding();
  GuardLog(("displays: own ramp set for " + Printable(id)).c_str());
  Reassert();
  return true;
}

void GammaGuard::ClearOwnRamp(std::string_view id) {
  own_ramps.Clear(id);
  GuardLog(("displays: own ramp cleared for " + Printable(id)).c_str());
  if (has_shared_ramp || !own_ramps.Empty()) {
    Reassert();  // the display takes the shared ramp back at once
    return;
  }
  armed = false;
  StopPeriodicTimer();
  StopBurstTimer();
}

std::vector<GammaGuard::DisplayReport> GammaGuard::ListDisplays() {
  // Collects what each display tells; touches no ramp.
  class Lister final : public GammaPlatform::DisplayVisitor {
   public:
    explicit Lister(GammaGuard& guard) : guard(guard) {}
    void Visit(GammaPlatform::Display& display) override {
      DisplayReport report{std::string(display.Id()), std::string(display.DeviceName()),
                           display.Facts(), RampSource::kNone, DisplayState::kUnchecked};
      if (guard.own_ramps.Find(report.id) != nullptr) {
        report.ramp = RampSource::kOwn;
      } else if (guard.has_shared_ramp) {
        report.ramp = RampSource::kShared;
      }
      if (report.ramp != RampSource::kNone) {
        report.state = guard.states.Of(report.device);
      }
      reports.push_back(std::move(report));
    }
    std::vector<DisplayReport> reports;

   private:
    GammaGuard& guard;
  };
  Lister lister(*this);
  platform.ForEachDisplay(lister);
  return std::move(lister.reports);
}
