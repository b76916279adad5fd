// Keeps the user interface's desired gamma ramps on the screen: re-asserts them at once,
// every 3 seconds, and once a second for 20 seconds after a display change or a resume,
// rewriting a display's ramp whenever a sampled entry has drifted by more than the
// tolerance. The screen is every display of the desktop, each checked and rewritten on its
// own: with several monitors Windows refuses gamma through the whole-screen context, which
// serves only as the fallback when no display's own context opens. Each display keeps the
// shared ramp of "veskaro/gamma", or a ramp of its own given on "veskaro/displays".
#ifndef GAMMA_GAMMA_GUARD_H_
#define GAMMA_GAMMA_GUARD_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "gamma/display_ramps.h"
#include "gamma/display_states.h"
#include "gamma/gamma_platform.h"
#include "gamma/gamma_ramp.h"

namespace flutter {
class BinaryMessenger;
class MethodCall;
class MethodChannel;
class MethodResult;
}  // namespace flutter

class GammaGuard {
 public:
  static constexpr uintptr_t kPeriodicTimerId = 60448;  // 0xEC20
  static constexpr uintptr_t kBurstTimerId = 60449;     // 0xEC21
  static constexpr uint32_t kPeriodicIntervalMs = 3000;
  static constexpr uint32_t kBurstIntervalMs = 1000;
  static constexpr int32_t kBurstTicks = 20;
  // Largest difference, in ramp units, still counted as equal.
  static constexpr int32_t kTolerance = 512;
  // Entries compared in each channel; 0 and 255 are left out.
  static constexpr std::size_t kSampleEntries[] = {32, 64, 96, 128, 160, 192, 224};

  // Window messages and power events the guard reacts to.
  static constexpr uint32_t kWmDisplayChange = 0x007E;
  static constexpr uint32_t kWmTimer = 0x0113;
  static constexpr uint32_t kWmPowerBroadcast = 0x0218;
  static constexpr uintptr_t kPbtApmResumeSuspend = 0x07;
  static constexpr uintptr_t kPbtApmResumeAutomatic = 0x12;

#if defined(_WIN32)
  // Guards the real screen through GDI and user32.
  GammaGuard();
#endif
  // Guards the screen behind platform, which must outlive the guard (not owned).
  explicit GammaGuard(GammaPlatform& screen);
  // Stops both timers and destroys the channels. Writes no ramp.
  ~GammaGuard();

  GammaGuard(const GammaGuard&) = delete;
  GammaGuard& operator=(const GammaGuard&) = delete;

  // Where a display's desired ramp comes from.
  enum class RampSource { kOwn, kShared, kNone };
  // One display as "list" on "veskaro/displays" reports it.
  struct DisplayReport {
    std::string id;
    std::string device;
    GammaPlatform::DisplayFacts facts;
    RampSource ramp;
    DisplayState state;
  };

  // Registers the "veskaro/gamma" and "veskaro/displays" channels on messenger (borrowed;
  // it must outlive every call the channels deliver) and takes window as the owner of the
  // guard's timers. A null messenger registers nothing; the window is taken all the same.
  void Init(flutter::BinaryMessenger* messenger, GammaPlatform::WindowHandle timer_owner);

  // Answers one call of "veskaro/gamma": "set" arms the guard, "clear" disarms it.
  void HandleMethodCall(const flutter::MethodCall& call,
                        std::unique_ptr<flutter::MethodResult> result);
  // Answers one call of "veskaro/displays": "list", "set" and "clear" of a display's own ramp.
  void HandleDisplaysCall(const flutter::MethodCall& call,
                          std::unique_ptr<flutter::MethodResult> result);

  // The window-message hook, called before anything else sees the message. True when
  // the message was one of the guard's own timers and must go no further.
  bool HandleWindowMessage(uint32_t message, uintptr_t wparam, intptr_t lparam);

  // Compares each display's ramp with the desired one and rewrites those that were reset.
  void Reassert();
  // Starts, or restarts, the 20 one-second checks.
  void StartBurst();
  void StopBurstTimer();
  void StopPeriodicTimer();
  // Takes a new desired ramp (1536 bytes, little-endian entries) and guards it. A
  // buffer of any other size is ignored.
  void Arm(const std::vector<uint8_t>& ramp);
  // Stops guarding and forgets every ramp, shared and own; the screen keeps whatever ramp
  // it carries.
  void Disarm();
  // Display id keeps ramp instead of the shared one from now on, also while it is not
  // connected; arms the guard and checks at once. False, and nothing changed, when
  // DisplayRamps::kCapacity other displays keep a ramp of their own already.
  bool SetOwnRamp(std::string_view id, const GammaRamp& ramp);
  // Display id follows the shared ramp again, or is left alone when there is none; the
  // guard stops when no ramp is left to keep.
  void ClearOwnRamp(std::string_view id);
  // The desktop's displays in the order the check visits them. Reads and writes no ramp.
  std::vector<DisplayReport> ListDisplays();

  GammaPlatform::WindowHandle Window() const { return window; }
  bool Armed() const { return armed; }
  // True while "veskaro/gamma" holds a ramp.
  bool HasSharedRamp() const { return has_shared_ramp; }
  const DisplayRamps& OwnRamps() const { return own_ramps; }
  bool PeriodicTimerRunning() const { return periodic_timer_running; }
  bool BurstTimerRunning() const { return burst_timer_running; }
  int32_t BurstTicksLeft() const { return burst_ticks_left; }
  // -1 nothing logged since construction or the last ramp given, 0 failed, 1 succeeded.
  int32_t LastOutcome() const { return last_outcome; }
  const GammaRamp& DesiredRamp() const { return desired_ramp; }

 private:
  class DisplayCheck;

  // Arms the guard for a ramp just given: the next rewrite is logged whatever its outcome.
  void StartGuarding();
  // The ramp display must keep: its own, else the shared one, else none (null).
  GammaRamp* DesiredRampOf(GammaPlatform::Display& display);
  // The check as on a desktop of one display, through the whole-screen context.
  void ReassertWholeScreen();
  // True when a sampled entry of current is off by more than the tolerance from desired.
  static bool IsReset(const GammaRamp& current, const GammaRamp& desired);
  // Writes ramp to dc nudged, then exact; true when the exact write was taken. The nudge is
  // made in place and undone, so a rewrite copies no ramp.
  bool WriteDesired(GammaPlatform::DeviceContext dc, GammaRamp& ramp);
  // Logs a rewrite's outcome when it differs from the last one logged.
  void RecordOutcome(int32_t outcome);

  GammaPlatform::WindowHandle window = nullptr;
  bool armed = false;  // while there is a shared ramp or an own one
  bool periodic_timer_running = false;
  bool burst_timer_running = false;
  int32_t burst_ticks_left = 0;
  int32_t last_outcome = -1;
  GammaRamp desired_ramp = {};  // the shared ramp
  std::unique_ptr<flutter::MethodChannel> channel;
  bool has_shared_ramp = false;
  DisplayRamps own_ramps;
  DisplayStates states;  // of the last check
  std::unique_ptr<flutter::MethodChannel> displays_channel;

  // Set only by the default constructor, which binds the real screen.
  std::unique_ptr<GammaPlatform> owned_platform;
  GammaPlatform& platform;
};

#endif  // GAMMA_GAMMA_GUARD_H_
