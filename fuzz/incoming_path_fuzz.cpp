// Drives arbitrary bytes down the whole incoming path: the stand-in engine delivers them on
// "veskaro/gamma" to the client layer's messenger and method channel, and the gamma guard
// answers over a fake screen. Window messages and screen faults are interleaved between
// messages. Every message must be answered exactly once, with the reply its content calls
// for, and the guard's flags, timers, device contexts and screen writes must stay consistent.
//
// Input: a sequence of records, each led by an operation byte op.
//   op % 4 == 0  raw message: a 2-byte little-endian length, then that many bytes (fewer
//                when the input ends first)
//   op % 4 == 1  window message (op >> 2) & 7 from kWindowMessages, sent 1 + (op >> 5) times
//   op % 4 == 2  screen state from op >> 2: bits 0-1 device-context mode (ok, always fails,
//                fails on odd calls, fails on even calls), bit 2 read fails, bit 3 driver
//                rejects, bit 4 an outside program drifts the ramp by 384 + next byte, bit 5
//                an outside program loads the identity ramp
//   op % 4 == 3  built message from (op >> 2) & 3: "set" with a ramp made from the next two
//                bytes, "clear", "set" with 1535 bytes, "set" whose argument is not a map;
//                first the desktop gets (op >> 4) & 3 displays (0: the whole screen alone)
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <streambuf>
#include <string>
#include <variant>
#include <vector>

#include "client/binary_messenger.h"
#include "client/engine_project.h"
#include "client/flutter_engine.h"
#include "codec/encodable_value.h"
#include "codec/standard_method_codec.h"
#include "gamma/gamma_guard.h"
#include "gamma/gamma_platform.h"
#include "gamma/gamma_ramp.h"
#include "gamma/guard_log.h"
#include "testbed/engine/testbed_control.h"

namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

constexpr char kChannel[] = "veskaro/gamma";
void* const kWindow = reinterpret_cast<void*>(0x77);
constexpr size_t kMaxRecords = 256;

void Check(bool condition) {
  if (!condition) {
    __builtin_trap();
  }
}

// Counts the client layer's reports of unanswered and twice-answered messages; every other
// diagnostic line (bad input is expected here) is dropped, or passed on when
// VESKARO_FUZZ_STDERR is set.
class ReportCounter : public std::streambuf {
 public:
  explicit ReportCounter(std::streambuf* forward) : forward(forward) { line.reserve(256); }
  int reports = 0;

 protected:
  int overflow(int c) override {
    if (c == traits_type::eof()) {
      return 0;
    }
    if (forward != nullptr) {
      forward->sputc(static_cast<char>(c));
    }
    if (c != '\n') {
      if (line.size() < 256) {
        line.push_back(static_cast<char>(c));
      }
      return c;
    }
    if (line.rfind("Warning: Failed to respond", 0) == 0 || line.rfind("Error: Only one", 0) == 0 ||
        line.rfind("Error: Response can be set only once", 0) == 0) {
      ++reports;
    }
    line.clear();
    return c;
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    for (std::streamsize i = 0; i < count; ++i) {
      overflow(static_cast<unsigned char>(text[i]));
    }
    return count;
  }

 private:
  std::streambuf* forward;
  std::string line;
};

bool WithinTolerance(const GammaRamp& screen, const GammaRamp& desired) {
  for (size_t channel = 0; channel < kRampChannels; ++channel) {
    for (size_t entry : GammaGuard::kSampleEntries) {
      const size_t i = channel * kRampEntriesPerChannel + entry;
      const int32_t difference = static_cast<int32_t>(screen[i]) - static_cast<int32_t>(desired[i]);
      if (difference > GammaGuard::kTolerance || difference < -GammaGuard::kTolerance) {
        return false;
      }
    }
  }
  return true;
}

// The screen and timers, with faults the input switches on. It checks each call as it is
// made: device contexts paired, timers neither started twice nor killed when not running,
// and every rewrite a nudged write followed by the exact intended ramp. Its displays all
// carry the one ramp, as every context does under Wine; when contexts fail, none opens.
class FakeScreen : public GammaPlatform {
 public:
  enum class DcMode { kOk, kFails, kFailsOdd, kFailsEven };

  void ForEachDisplay(DisplayVisitor& visitor) override {
    for (std::size_t i = 0; dc_mode != DcMode::kFails && i < displays; ++i) {
      ++get_dc_calls;
      ++open_dcs;
      visitor.Visit(kDisplayDc);
      Check(!next_write_exact);  // a display's rewrite is done before it is closed
      --open_dcs;
    }
  }

  DeviceContext GetDC(WindowHandle window) override {
    Check(window == nullptr);
    ++get_dc_calls;
    const bool fails = dc_mode == DcMode::kFails ||
                       (dc_mode == DcMode::kFailsOdd && get_dc_calls % 2 == 1) ||
                       (dc_mode == DcMode::kFailsEven && get_dc_calls % 2 == 0);
    if (fails) {
      return nullptr;
    }
    ++open_dcs;
    return kScreenDc;
  }
  void ReleaseDC(WindowHandle window, DeviceContext dc) override {
    Check(window == nullptr && dc == kScreenDc && open_dcs > 0);
    --open_dcs;
  }
  bool GetDeviceGammaRamp(DeviceContext dc, GammaRamp& ramp) override {
    Check((dc == kScreenDc || dc == kDisplayDc) && open_dcs > 0);
    if (read_fails) {
      return false;
    }
    ramp = screen;
    return true;
  }
  bool SetDeviceGammaRamp(DeviceContext dc, const GammaRamp& ramp) override {
    Check((dc == kScreenDc || dc == kDisplayDc) && open_dcs > 0);
    GammaRamp expected = intended;
    if (!next_write_exact) {
      expected[0] = expected[0] == 0xFFFF ? 0xFFFE : static_cast<uint16_t>(expected[0] + 1);
    }
    Check(ramp == expected);
    if (next_write_exact) {
      ++rewrites;
      ++rewrites_since_arm;
      last_rewrite_accepted = !rejects;
    }
    next_write_exact = !next_write_exact;
    if (!rejects) {
      screen = ramp;
    }
    return !rejects;
  }
  void SetTimer(WindowHandle window, uintptr_t id, uint32_t interval_ms) override {
    Check(window == kWindow);
    bool& running = TimerFlag(id);
    Check(!running);
    Check(interval_ms == (id == GammaGuard::kPeriodicTimerId ? GammaGuard::kPeriodicIntervalMs
                                                             : GammaGuard::kBurstIntervalMs));
    running = true;
  }
  void KillTimer(WindowHandle window, uintptr_t id) override {
    Check(window == kWindow);
    bool& running = TimerFlag(id);
    Check(running);
    running = false;
  }

  bool Accepting() const { return dc_mode == DcMode::kOk && !read_fails && !rejects; }

  static inline DeviceContext const kScreenDc = reinterpret_cast<DeviceContext>(0x5C);
  static inline DeviceContext const kDisplayDc = reinterpret_cast<DeviceContext>(0xD0);

  std::size_t displays = 0;
  GammaRamp screen = {};
  GammaRamp intended = {};  // the ramp the guard should hold after the last accepted "set"
  DcMode dc_mode = DcMode::kOk;
  bool read_fails = false;
  bool rejects = false;
  bool periodic_running = false;
  bool burst_running = false;
  bool next_write_exact = false;
  bool last_rewrite_accepted = false;
  int open_dcs = 0;
  uint64_t get_dc_calls = 0;
  uint64_t rewrites = 0;
  uint64_t rewrites_since_arm = 0;

 private:
  bool& TimerFlag(uintptr_t id) {
    Check(id == GammaGuard::kPeriodicTimerId || id == GammaGuard::kBurstTimerId);
    return id == GammaGuard::kPeriodicTimerId ? periodic_running : burst_running;
  }
};

struct WindowMessage {
  uint32_t message;
  uintptr_t wparam;
};

constexpr WindowMessage kWindowMessages[] = {
    {GammaGuard::kWmTimer, GammaGuard::kPeriodicTimerId},
    {GammaGuard::kWmTimer, GammaGuard::kBurstTimerId},
    {GammaGuard::kWmTimer, 1},
    {GammaGuard::kWmDisplayChange, 0},
    {GammaGuard::kWmPowerBroadcast, GammaGuard::kPbtApmResumeAutomatic},
    {GammaGuard::kWmPowerBroadcast, GammaGuard::kPbtApmResumeSuspend},
    {GammaGuard::kWmPowerBroadcast, 4},  // suspend: ignored
    {0x000F, 0},                         // WM_PAINT: not the guard's
};

// What a message should get back, worked out from its bytes alone.
enum class Expected { kEmpty, kSuccessSet, kSuccessClear, kBadArgs };

struct Harness {
  Harness() {
    TestbedReset();
    TestbedSetCallJournal(0);  // it would grow for the whole run
    engine = std::make_unique<flutter::FlutterEngine>(flutter::EngineProject(L"data"));
    Check(engine->GetMessenger() != nullptr);
    guard.Init(engine->GetMessenger(), kWindow);
    Check(TestbedHasChannelCallback(kChannel) == 1);
  }

  FakeScreen screen;
  GammaGuard guard{screen};
  std::unique_ptr<flutter::FlutterEngine> engine;
  ReportCounter* reports = nullptr;
};

Harness* harness = nullptr;

Expected Predict(const uint8_t* data, size_t size, GammaRamp* ramp) {
  const std::unique_ptr<flutter::MethodCall> call =
      flutter::StandardMethodCodec::GetInstance().DecodeMethodCall(data, size);
  if (call == nullptr) {
    return Expected::kEmpty;
  }
  if (call->MethodName() == "clear") {
    return Expected::kSuccessClear;
  }
  if (call->MethodName() != "set") {
    return Expected::kEmpty;
  }
  const auto* map =
      call->Arguments() != nullptr ? std::get_if<EncodableMap>(call->Arguments()) : nullptr;
  if (map == nullptr) {
    return Expected::kBadArgs;
  }
  // A plain scan, so the answer does not lean on the map's ordering.
  for (const auto& entry : *map) {
    const auto* key = std::get_if<std::string>(&entry.first);
    if (key == nullptr || *key != "ramp") {
      continue;
    }
    const auto* bytes = std::get_if<std::vector<uint8_t>>(&entry.second);
    if (bytes == nullptr || bytes->size() != kRampBytes) {
      return Expected::kBadArgs;
    }
    for (size_t i = 0; i < kRampEntries; ++i) {
      (*ramp)[i] = static_cast<uint16_t>((*bytes)[2 * i] | ((*bytes)[2 * i + 1] << 8));
    }
    return Expected::kSuccessSet;
  }
  return Expected::kBadArgs;
}

const std::vector<uint8_t>& SuccessEnvelope() {
  static const std::vector<uint8_t> bytes = {0x00, 0x00};
  return bytes;
}

const std::vector<uint8_t>& BadArgsEnvelope() {
  static const std::vector<uint8_t> bytes = [] {
    std::vector<uint8_t> envelope = {0x01, 0x07, 0x08};
    const std::string code = "bad_args";
    const std::string message = "ramp must be 1536 bytes";
    envelope.insert(envelope.end(), code.begin(), code.end());
    envelope.push_back(0x07);
    envelope.push_back(static_cast<uint8_t>(message.size()));
    envelope.insert(envelope.end(), message.begin(), message.end());
    envelope.push_back(0x00);
    return envelope;
  }();
  return bytes;
}

void CheckGuard() {
  const GammaGuard& guard = harness->guard;
  const FakeScreen& screen = harness->screen;
  Check(guard.Window() == kWindow);
  Check(guard.Armed() == guard.PeriodicTimerRunning());
  Check(guard.BurstTicksLeft() >= 0 && guard.BurstTicksLeft() <= GammaGuard::kBurstTicks);
  Check(guard.BurstTimerRunning() == (guard.BurstTicksLeft() > 0));
  Check(!guard.BurstTimerRunning() || guard.Armed());
  Check(guard.PeriodicTimerRunning() == screen.periodic_running);
  Check(guard.BurstTimerRunning() == screen.burst_running);
  Check(guard.LastOutcome() >= -1 && guard.LastOutcome() <= 1);
  Check(screen.open_dcs == 0);
  Check(screen.next_write_exact == false);  // no half-done rewrite
  if (guard.Armed()) {
    Check(guard.DesiredRamp() == screen.intended);
    const int32_t outcome = screen.rewrites_since_arm == 0 ? -1
                            : screen.last_rewrite_accepted ? 1
                                                           : 0;
    Check(guard.LastOutcome() == outcome);
  }
}

// After a check of the screen: an accepting screen carries the desired ramp.
void CheckReasserted() {
  if (harness->guard.Armed() && harness->screen.Accepting()) {
    Check(WithinTolerance(harness->screen.screen, harness->guard.DesiredRamp()));
  }
}

void Deliver(const uint8_t* data, size_t size) {
  FakeScreen& screen = harness->screen;
  GammaRamp ramp = {};
  const Expected expected = Predict(data, size, &ramp);
  const bool was_within = WithinTolerance(screen.screen, ramp);
  if (expected == Expected::kSuccessSet) {
    screen.intended = ramp;
    screen.rewrites_since_arm = 0;
  }
  const uint64_t get_dc_calls = screen.get_dc_calls;
  const uint64_t rewrites = screen.rewrites;
  const int32_t references = TestbedMessengerReferences();
  const int reports = harness->reports->reports;

  const int32_t ticket = TestbedDeliverMessage(kChannel, data, size);
  Check(ticket >= 0);
  const TestbedResponseState state = TestbedResponse(ticket);
  Check(state == kTestbedResponseEmpty || state == kTestbedResponseBytes);
  Check(TestbedDuplicateResponseCount() == 0);
  Check(harness->reports->reports == reports);
  // The reply's hold on the messenger is given back once it has answered.
  Check(TestbedMessengerReferences() == references);

  size_t reply_size = 0;
  const uint8_t* reply = TestbedResponseData(ticket, &reply_size);
  const std::vector<uint8_t> bytes(reply, reply + reply_size);
  switch (expected) {
    case Expected::kEmpty:
      Check(state == kTestbedResponseEmpty);
      break;
    case Expected::kSuccessSet:
    case Expected::kSuccessClear:
      Check(bytes == SuccessEnvelope());
      break;
    case Expected::kBadArgs:
      Check(bytes == BadArgsEnvelope());
      break;
  }

  if (expected == Expected::kSuccessSet) {
    Check(harness->guard.Armed());
    Check(harness->guard.DesiredRamp() == ramp);
    // Nothing is written while the samples are within tolerance.
    Check(!was_within || screen.rewrites == rewrites);
    CheckReasserted();
  } else {
    // Clearing, refusing and not knowing a call never touch the screen.
    Check(screen.get_dc_calls == get_dc_calls);
    if (expected == Expected::kSuccessClear) {
      Check(!harness->guard.Armed() && !harness->guard.BurstTimerRunning());
    }
  }
}

void SendWindowMessage(const WindowMessage& message) {
  GammaGuard& guard = harness->guard;
  FakeScreen& screen = harness->screen;
  const bool was_within = WithinTolerance(screen.screen, guard.DesiredRamp());
  const uint64_t rewrites = screen.rewrites;
  const bool was_armed = guard.Armed();
  const int32_t ticks = guard.BurstTicksLeft();

  const bool handled = guard.HandleWindowMessage(message.message, message.wparam, 0);

  const bool own_timer =
      message.message == GammaGuard::kWmTimer && (message.wparam == GammaGuard::kPeriodicTimerId ||
                                                  message.wparam == GammaGuard::kBurstTimerId);
  Check(handled == own_timer);
  Check(guard.Armed() == was_armed);
  Check(!was_within || screen.rewrites == rewrites);
  const bool burst_event = message.message == GammaGuard::kWmDisplayChange ||
                           (message.message == GammaGuard::kWmPowerBroadcast &&
                            (message.wparam == GammaGuard::kPbtApmResumeAutomatic ||
                             message.wparam == GammaGuard::kPbtApmResumeSuspend));
  if (burst_event && was_armed) {
    Check(guard.BurstTicksLeft() == GammaGuard::kBurstTicks);
  } else if (message.message == GammaGuard::kWmTimer &&
             message.wparam == GammaGuard::kBurstTimerId) {
    Check(guard.BurstTicksLeft() == std::max(ticks - 1, 0));
  } else {
    Check(guard.BurstTicksLeft() == ticks);
  }
  if (own_timer || burst_event) {
    CheckReasserted();
  }
}

void ChangeScreen(uint8_t bits, uint8_t drift) {
  FakeScreen& screen = harness->screen;
  screen.dc_mode = static_cast<FakeScreen::DcMode>(bits & 3);
  screen.read_fails = (bits & 4) != 0;
  screen.rejects = (bits & 8) != 0;
  if ((bits & 16) != 0) {
    for (uint16_t& entry : screen.screen) {
      entry = static_cast<uint16_t>(entry + 384 + drift);
    }
  }
  if ((bits & 32) != 0) {
    for (size_t i = 0; i < kRampEntries; ++i) {
      screen.screen[i] = static_cast<uint16_t>((i % kRampEntriesPerChannel) * 257);
    }
  }
}

// "set" with {"ramp": size bytes}, or with the ramp bytes alone as its argument.
std::vector<uint8_t> SetMessage(size_t size, uint8_t step, uint8_t offset, bool in_map) {
  std::vector<uint8_t> message = {0x07, 0x03, 's', 'e', 't'};
  message.reserve(message.size() + 12 + size);  // also keeps GCC 12's -Warray-bounds quiet
  if (in_map) {
    const uint8_t head[] = {0x0D, 0x01, 0x07, 0x04, 'r', 'a', 'm', 'p'};
    message.insert(message.end(), std::begin(head), std::end(head));
  }
  message.push_back(0x08);
  message.push_back(0xFE);
  message.push_back(static_cast<uint8_t>(size & 0xFF));
  message.push_back(static_cast<uint8_t>(size >> 8));
  // A byte list's payload is not aligned, so the count is followed directly by the bytes.
  for (size_t i = 0; i < size / 2; ++i) {
    const auto entry = static_cast<uint16_t>((i % kRampEntriesPerChannel) * step + offset * 257);
    message.push_back(static_cast<uint8_t>(entry & 0xFF));
    message.push_back(static_cast<uint8_t>(entry >> 8));
  }
  if (size % 2 == 1) {
    message.push_back(step);
  }
  return message;
}

std::vector<uint8_t> BuiltMessage(uint8_t kind, uint8_t step, uint8_t offset) {
  switch (kind) {
    case 0:
      return SetMessage(kRampBytes, step, offset, true);
    case 1:
      return {0x07, 0x05, 'c', 'l', 'e', 'a', 'r', 0x00};
    case 2:
      return SetMessage(kRampBytes - 1, step, offset, true);
    default:
      return SetMessage(kRampBytes, step, offset, false);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The guard's log goes nowhere, so a long run leaves no growing file behind: in this
  // temporary directory the log's name is taken by a directory, and every line is lost
  // silently. The directory itself stays usable, for libFuzzer's own files when merging.
  // Child processes of a merge inherit the setting and keep it.
  const char* tmpdir = std::getenv("TMPDIR");
  std::filesystem::path directory(tmpdir != nullptr && tmpdir[0] != '\0' ? tmpdir : "/tmp");
  if (directory.filename() != "veskaro_incoming_path_fuzz") {
    directory /= "veskaro_incoming_path_fuzz";
  }
  std::error_code error;
  std::filesystem::create_directories(directory / kGuardLogFileName, error);
  Check(std::filesystem::is_directory(directory / kGuardLogFileName));
  setenv("TMPDIR", directory.c_str(), 1);
  harness = new Harness();
  const bool keep = std::getenv("VESKARO_FUZZ_STDERR") != nullptr;
  harness->reports = new ReportCounter(keep ? std::cerr.rdbuf() : nullptr);
  std::cerr.rdbuf(harness->reports);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Each input starts from a disarmed guard over a healthy screen showing the identity ramp.
  harness->screen.get_dc_calls = 0;
  harness->screen.displays = 0;
  {
    const std::vector<uint8_t> clear = BuiltMessage(1, 0, 0);
    Deliver(clear.data(), clear.size());
  }
  ChangeScreen(32, 0);
  CheckGuard();

  size_t at = 0;
  for (size_t records = 0; at < size && records < kMaxRecords; ++records) {
    const uint8_t op = data[at++];
    const auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
    switch (op % 4) {
      case 0: {
        size_t length = next();
        length |= static_cast<size_t>(next()) << 8;
        length = std::min(length, size - at);
        Deliver(data + at, length);
        at += length;
        break;
      }
      case 1:
        for (int i = 0; i <= op >> 5; ++i) {
          SendWindowMessage(kWindowMessages[(op >> 2) & 7]);
          CheckGuard();
        }
        break;
      case 2:
        ChangeScreen(static_cast<uint8_t>(op >> 2), (op & 64) != 0 ? next() : 0);
        break;
      default: {
        harness->screen.displays = (op >> 4) & 3;
        const uint8_t kind = (op >> 2) & 3;
        const uint8_t step = kind == 1 ? 0 : next();
        const uint8_t offset = kind == 1 ? 0 : next();
        const std::vector<uint8_t> message = BuiltMessage(kind, step, offset);
        Deliver(message.data(), message.size());
        break;
      }
    }
    CheckGuard();
  }
  TestbedRecycleResponses();
  return 0;
}
