#include "gamma/gamma_guard.h"

#include <string>
#include <utility>

#include "client/method_channel.h"
#include "codec/encodable_value.h"
#include "codec/method_call.h"
#include "codec/method_result.h"
#include "codec/standard_method_codec.h"
#include "gamma/guard_log.h"
#include "gamma/screen_dc.h"

#if defined(_WIN32)
#include "gamma/win32_gamma_platform.h"
#endif

namespace {

constexpr char kChannelName[] = "veskaro/gamma";

// The ramp of a "set" call's arguments, or null when they are not {"ramp": 1536 bytes}.
const std::vector<uint8_t>* RampArgument(const flutter::EncodableValue* arguments) {
  const auto* map = arguments != nullptr ? std::get_if<flutter::EncodableMap>(arguments) : nullptr;
  if (map == nullptr) {
    return nullptr;
  }
  const auto entry = map->find(flutter::EncodableValue(std::string("ramp")));
  if (entry == map->end()) {
    return nullptr;
  }
  const auto* ramp = std::get_if<std::vector<uint8_t>>(&entry->second);
  return ramp != nullptr && ramp->size() == kRampBytes ? ramp : nullptr;
}

int32_t Difference(uint16_t a, uint16_t b) {
  const int32_t difference = static_cast<int32_t>(a) - static_cast<int32_t>(b);
  return difference < 0 ? -difference : difference;
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
}

void GammaGuard::Init(flutter::BinaryMessenger* messenger,
                      GammaPlatform::WindowHandle timer_owner) {
  window = timer_owner;
  if (messenger == nullptr) {
    return;
  }
  const flutter::StandardMethodCodec& codec = flutter::StandardMethodCodec::GetInstance();
  channel = std::make_unique<flutter::MethodChannel>(messenger, kChannelName, &codec);
  channel->SetMethodCallHandler(
      [this](const flutter::MethodCall& call, std::unique_ptr<flutter::MethodResult> result) {
        HandleMethodCall(call, std::move(result));
      });
  GuardLog("init: channel registered");
}

void GammaGuard::HandleMethodCall(const flutter::MethodCall& call,
                                  std::unique_ptr<flutter::MethodResult> result) {
  // Without a result the call still takes effect; there is just nobody to answer.
  const std::string& method = call.MethodName();
  if (method == "set") {
    const std::vector<uint8_t>* ramp = RampArgument(call.Arguments());
    if (ramp == nullptr) {
      if (result != nullptr) {
        result->Error("bad_args", "ramp must be 1536 bytes");
      }
      return;
    }
    Arm(*ramp);
    // Success even when the driver rejected the ramp: it is accepted and guarded, and
    // the guard keeps retrying; the log records the rejection.
    if (result != nullptr) {
      result->Success();
    }
  } else if (method == "clear") {
    Disarm();
    if (result != nullptr) {
      result->Success();
    }
  } else if (result != nullptr) {
    result->NotImplemented();
  }
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

// One check's visit of the displays: each is read and, when reset, rewritten on its own;
// a display whose ramp cannot be read is skipped, as the whole screen is.
class GammaGuard::DisplayCheck final : public GammaPlatform::DisplayVisitor {
 public:
  explicit DisplayCheck(GammaGuard& guard) : guard(guard) {}

  void Visit(GammaPlatform::DeviceContext display) override {
    ++displays;
    GammaRamp current;
    if (!guard.platform.GetDeviceGammaRamp(display, current) || !guard.IsReset(current)) {
      return;
    }
    if (guard.WriteDesired(display)) {
      rewritten = true;
    } else {
      rejected = true;
    }
  }

  std::size_t displays = 0;
  bool rewritten = false;
  bool rejected = false;

 private:
  GammaGuard& guard;
};

void GammaGuard::Reassert() {
  if (!armed) {
    return;
  }
  DisplayCheck check(*this);
  platform.ForEachDisplay(check);
  if (check.displays == 0) {
    ReassertWholeScreen();
    return;
  }
  // One outcome per check: a display that refused the ramp outweighs those that took it.
  if (check.rejected) {
    RecordOutcome(0);
  } else if (check.rewritten) {
    RecordOutcome(1);
  }
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
  if (!IsReset(current)) {
    return;
  }
  bool taken = false;
  {
    const ScreenDc dc = AcquireScreenDc(platform);
    if (dc.Get() == nullptr) {
      return;
    }
    taken = WriteDesired(dc.Get());
  }
  RecordOutcome(taken ? 1 : 0);
}

bool GammaGuard::IsReset(const GammaRamp& current) const {
  for (std::size_t color = 0; color < kRampChannels; ++color) {
    const std::size_t base = color * kRampEntriesPerChannel;
    for (std::size_t entry : kSampleEntries) {
      if (Difference(current[base + entry], desired_ramp[base + entry]) > kTolerance) {
        return true;
      }
    }
  }
  return false;
}

bool GammaGuard::WriteDesired(GammaPlatform::DeviceContext dc) {
  // Written once nudged by one unit, then exact: some drivers skip a ramp identical to
  // the one they believe is loaded, although something else has replaced it since.
  const uint16_t first = desired_ramp[0];
  desired_ramp[0] =
      first == 0xFFFF ? static_cast<uint16_t>(first - 1) : static_cast<uint16_t>(first + 1);
  platform.SetDeviceGammaRamp(dc, desired_ramp);
  desired_ramp[0] = first;
  return platform.SetDeviceGammaRamp(dc, desired_ramp);
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

void GammaGuard::Arm(const std::vector<uint8_t>& ramp) {
  if (ramp.size() != kRampBytes) {
    return;
  }
  for (std::size_t i = 0; i < kRampEntries; ++i) {
    desired_ramp[i] = static_cast<uint16_t>(ramp[2 * i] | (ramp[2 * i + 1] << 8));
  }
  armed = true;
  last_outcome = -1;
  if (window != nullptr && !periodic_timer_running) {
    platform.SetTimer(window, kPeriodicTimerId, kPeriodicIntervalMs);
    periodic_timer_running = true;
  }
  GuardLog("set: desired ramp received, guard armed");
  Reassert();
}

void GammaGuard::Disarm() {
  armed = false;
  StopPeriodicTimer();
  StopBurstTimer();
  GuardLog("clear: guard disarmed");
}
