// Drives arbitrary bytes down the whole incoming path: the stand-in engine delivers them on
// "veskaro/gamma" and "veskaro/displays" to the client layer's messenger and method channels,
// and the gamma guard answers over a fake desktop whose displays each carry a ramp of their
// own. Window messages, desktop changes and screen faults are interleaved between messages.
// Every message must be answered exactly once with the reply its bytes call for, worked out
// from a model of the ramps the guard keeps (shared, and own ones by display id); the
// guard's flags and timers, device contexts, and every read and write of a ramp are checked
// as they happen.
//
// Input: a sequence of records, each led by an operation byte op.
//   op % 8 == 0  raw message on "veskaro/gamma" (op bit 3 clear) or on "veskaro/displays"
//                (set): a 2-byte little-endian length, then that many bytes (fewer when the
//                input ends first)
//   op % 8 == 1  built "veskaro/gamma" message from (op >> 3) & 3: "set" with a ramp made
//                from the next two bytes, "clear", "set" with 1535 bytes, "set" whose
//                argument is not a map
//   op % 8 == 2  window message (op >> 3) & 7 from kWindowMessages, sent 1 + (op >> 6) times
//   op % 8 == 3  an outside program changes ramps: (op >> 3) & 7 picks display 0-3, 4 the
//                whole screen, 5-7 all of them; op bit 6 loads the identity ramp, else every
//                entry drifts by 384 + the next byte
//   op % 8 == 4  faults of the whole desktop from op >> 3: bits 0-1 device-context mode (ok,
//                always fails, fails on odd calls, fails on even calls; "always fails" also
//                keeps every display's context shut), bit 2 reads fail, bit 3 the driver
//                rejects, bit 4 every display's own faults are lifted
//   op % 8 == 5  faults of display (op >> 3) & 3: bit 5 its context stays shut, bit 6 its
//                reads fail, bit 7 its driver rejects
//   op % 8 == 6  the desktop from (op >> 3) & 7: 0-4 that many displays; 5 the ids move one
//                position on; 6 display (b >> 5) & 3 of the next byte b takes id
//                (b & 31) % kIdCount, swapping with the display that had it; 7 each display
//                back to its first id
//   op % 8 == 7  built "veskaro/displays" message from (op >> 3) & 7: 0 "list"; 1 "set" with
//                id next byte % kIdCount and a ramp from the next two bytes; 2 "clear" with id
//                next byte % kIdCount; 3 "set" and 4 "clear" with bad-argument variant next
//                byte % kBadVariants; 5 "set" and 7 "clear" of the id display (next byte & 3)
//                has now, 5 with a ramp from the two bytes after; 6 "set" under a method name
//                next byte % 4 that differs in case or is unknown
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <streambuf>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "client/binary_messenger.h"
#include "client/engine_project.h"
#include "client/flutter_engine.h"
#include "codec/encodable_value.h"
#include "codec/method_result.h"
#include "codec/standard_method_codec.h"
#include "gamma/display_ramps.h"
#include "gamma/gamma_guard.h"
#include "gamma/gamma_platform.h"
#include "gamma/gamma_ramp.h"
#include "gamma/guard_log.h"
#include "testbed/engine/testbed_control.h"

namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

constexpr char kGammaChannel[] = "veskaro/gamma";
constexpr char kDisplaysChannel[] = "veskaro/displays";
void* const kWindow = reinterpret_cast<void*>(0x77);
constexpr size_t kMaxRecords = 256;
constexpr size_t kSlots = 4;  // positions on the desktop
constexpr size_t kIdCount = 20;
constexpr size_t kBadVariants = 10;

void Check(bool condition) {
  if (!condition) {
    __builtin_trap();
  }
}

// The ids displays can have: Wine's and a real monitor's paths, a device name, one that is
// never on the desktop unless moved there, bytes a log or a C string would mangle, plain
// ones to reach the limit of 16, and one of the longest length taken.
const std::vector<std::string>& Ids() {
  static const std::vector<std::string> ids = [] {
    std::vector<std::string> made = {
        "\\\\?\\DISPLAY#Default_Monitor#0000&0000#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}",
        "\\\\?\\DISPLAY#Default_Monitor#0001&0000#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}",
        "\\\\?\\DISPLAY#DEL4321#5&1a2b3c4d&0&UID4353#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}",
        "\\\\.\\DISPLAY1",  // a device name, also the name of another display's device
        "\\\\?\\DISPLAY#GSM5B7F#unplugged",
        "\u00c9cran",
        "line\nbreak\x01",
        std::string("nul\0inside", 10),
    };
    while (made.size() < kIdCount - 1) {
      made.push_back("id-" + std::to_string(made.size()));
    }
    made.push_back(std::string(DisplayRamps::kMaxIdBytes, 'x'));
    return made;
  }();
  return ids;
}

const char* const kDevices[kSlots] = {"\\\\.\\DISPLAY1", "\\\\.\\DISPLAY2", "\\\\.\\DISPLAY3",
                                      "\\\\.\\DISPLAY4"};

GammaPlatform::DisplayFacts FactsOf(size_t slot) {
  static const char* const kNames[kSlots] = {"Display1", "\u00c9cran 2", "TV", "Display4"};
  GammaPlatform::DisplayFacts facts;
  facts.name = kNames[slot];
  facts.left = static_cast<int32_t>(slot) * 1920 - (slot == 3 ? 7680 : 0);  // 3: left of 0
  facts.top = slot == 2 ? -1080 : 0;
  facts.right = facts.left + 1920;
  facts.bottom = facts.top + 1080;
  facts.primary = slot == 0;
  return facts;
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

GammaRamp Nudged(const GammaRamp& ramp) {
  GammaRamp nudged = ramp;
  nudged[0] = ramp[0] == 0xFFFF ? 0xFFFE : static_cast<uint16_t>(ramp[0] + 1);
  return nudged;
}

GammaRamp IdentityRamp() {
  GammaRamp ramp;
  for (size_t i = 0; i < kRampEntries; ++i) {
    ramp[i] = static_cast<uint16_t>((i % kRampEntriesPerChannel) * 257);
  }
  return ramp;
}

// The ramps the guard should keep, as the messages so far have set them.
struct Model {
  std::optional<GammaRamp> shared;
  std::map<std::string, GammaRamp> own;

  bool Armed() const { return shared.has_value() || !own.empty(); }
  // Own, else shared, else none.
  const GammaRamp* DesiredOf(const std::string& id) const {
    const auto found = own.find(id);
    if (found != own.end()) {
      return &found->second;
    }
    return shared ? &*shared : nullptr;
  }
  const char* SourceOf(const std::string& id) const {
    return own.count(id) != 0 ? "own" : shared ? "shared" : "none";
  }
};

// The desktop and timers, with faults the input switches on. It checks each call as it is
// made against the model: a display is read or written only during its visit, through its
// own context, and only when it has a desired ramp; every rewrite is a nudged write then the
// exact ramp that display must keep, made only when a sample was off; the whole screen is
// used only when no display's context opened, and only for the shared ramp; device
// contexts are paired and timers neither started twice nor killed when not running. It
// also works out what each check should have recorded per display and as its outcome.
class FakeDesktop : public GammaPlatform {
 public:
  enum class DcMode { kOk, kFails, kFailsOdd, kFailsEven };
  struct Slot {
    GammaRamp ramp;
    size_t id;
    bool shut = false;
    bool read_fails = false;
    bool rejects = false;
  };

  explicit FakeDesktop(const Model& model) : model(model) {}

  void ForEachDisplay(DisplayVisitor& visitor) override {
    Check(visiting == kNone && open_dcs == 0);
    FoldOutcome();
    ++passes;
    if (!listing) {
      states.clear();
      whole_read.reset();
      whole_writes = 0;
    }
    for (size_t i = 0; i < displays; ++i) {
      VisitOne(visitor, i);
    }
  }

  DeviceContext GetDC(WindowHandle window) override {
    Check(window == nullptr && visiting == kNone && !listing);
    // The whole screen only as the fallback of a check where no display's context opened.
    Check(passes > 0 && !AnyOpens() && model.shared.has_value());
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
    if (dc == kScreenDc) {
      Check(open_dcs > 0 && !whole_read.has_value());
      if (read_fails) {
        return false;
      }
      ramp = whole;
      whole_read = whole;
      return true;
    }
    const size_t slot = VisitedSlot(dc);
    Check(visit.desired != nullptr && visit.reads == 0);  // none: neither read nor written
    ++visit.reads;
    if (read_fails || slots[slot].read_fails) {
      return false;
    }
    ramp = slots[slot].ramp;
    visit.read_ok = true;
    return true;
  }
  bool SetDeviceGammaRamp(DeviceContext dc, const GammaRamp& ramp) override {
    bool rejected = rejects;
    GammaRamp* target = &whole;
    if (dc == kScreenDc) {
      Check(open_dcs > 0 && whole_read.has_value() && ++whole_writes <= 2);
      Check(!WithinTolerance(*whole_read, *model.shared));
      Check(ramp == (next_write_exact ? *model.shared : Nudged(*model.shared)));
    } else {
      const size_t slot = VisitedSlot(dc);
      Check(visit.read_ok && ++visit.writes <= 2);
      Check(ramp == (next_write_exact ? *visit.desired : Nudged(*visit.desired)));
      rejected = rejected || slots[slot].rejects;
      target = &slots[slot].ramp;
      if (next_write_exact) {
        visit.exact_taken = !rejected;
      }
    }
    if (next_write_exact) {
      (rejected ? pass_rejected : pass_rewritten) = true;
    }
    next_write_exact = !next_write_exact;
    if (!rejected) {
      *target = ramp;
    }
    return !rejected;
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

  bool Opens(size_t slot) const { return dc_mode != DcMode::kFails && !slots[slot].shut; }
  bool AnyOpens() const {
    for (size_t i = 0; i < displays; ++i) {
      if (Opens(i)) return true;
    }
    return false;
  }
  bool Accepting(size_t slot) const {
    return Opens(slot) && !read_fails && !rejects && !slots[slot].read_fails &&
           !slots[slot].rejects;
  }
  bool WholeAccepting() const { return dc_mode == DcMode::kOk && !read_fails && !rejects; }
  const std::string& IdOf(size_t slot) const { return Ids()[slots[slot].id]; }

  // Folds the last check's writes into the outcome the guard should report: a refusal
  // outweighs a rewrite taken, and a check that wrote nothing leaves it as it was.
  void FoldOutcome() {
    if (pass_rejected) {
      outcome = 0;
    } else if (pass_rewritten) {
      outcome = 1;
    }
    pass_rejected = pass_rewritten = false;
  }

  // The state "list" should report for the display at slot.
  const char* StateOf(size_t slot) const {
    static const char* const kNames[] = {"unchecked", "intact", "rewritten", "refused",
                                         "unreadable"};
    const auto found = states.find(kDevices[slot]);
    return found != states.end() ? kNames[static_cast<int>(found->second)] : kNames[0];
  }

  void Reset() {
    displays = 3;
    for (size_t i = 0; i < kSlots; ++i) {
      slots[i] = Slot{IdentityRamp(), i};
    }
    whole = IdentityRamp();
    dc_mode = DcMode::kOk;
    read_fails = rejects = false;
  }

  static inline DeviceContext const kScreenDc = reinterpret_cast<DeviceContext>(0x5C);
  static DeviceContext DisplayDc(size_t slot) {
    return reinterpret_cast<DeviceContext>(0xD00 + slot);
  }

  size_t displays = 0;
  Slot slots[kSlots];
  GammaRamp whole = {};  // the whole screen's ramp
  DcMode dc_mode = DcMode::kOk;
  bool read_fails = false;
  bool rejects = false;
  bool listing = false;  // a "list" is being answered: no ramp may be touched
  bool periodic_running = false;
  bool burst_running = false;
  bool next_write_exact = false;
  int open_dcs = 0;
  int32_t outcome = -1;  // what the guard should report as its last outcome
  uint64_t get_dc_calls = 0;
  uint64_t passes = 0;  // visits of the desktop, checks and lists

 private:
  static constexpr size_t kNone = ~size_t{0};

  // What the guard may do to the display being visited.
  struct Visit {
    const GammaRamp* desired = nullptr;
    int reads = 0;
    int writes = 0;
    bool read_ok = false;
    bool exact_taken = false;
  };

  class Visited final : public GammaPlatform::Display {
   public:
    Visited(FakeDesktop& desktop, size_t slot) : desktop(desktop), slot(slot) {}
    DeviceContext Context() override {
      Check(desktop.visiting == slot);
      return desktop.Opens(slot) ? DisplayDc(slot) : nullptr;
    }
    std::string_view DeviceName() override {
      Check(desktop.visiting == slot);
      return kDevices[slot];
    }
    std::string_view Id() override {
      // Looked up by a check only while some display keeps a ramp of its own.
      Check(desktop.visiting == slot && (desktop.listing || !desktop.model.own.empty()));
      return desktop.IdOf(slot);
    }
    DisplayFacts Facts() override {
      Check(desktop.visiting == slot && desktop.listing);
      return FactsOf(slot);
    }

   private:
    FakeDesktop& desktop;
    size_t slot;
  };

  void VisitOne(DisplayVisitor& visitor, size_t slot) {
    const GammaRamp before = slots[slot].ramp;
    visit = Visit{listing ? nullptr : model.DesiredOf(IdOf(slot))};
    visiting = slot;
    Visited display(*this, slot);
    visitor.Visit(display);
    visiting = kNone;
    Check(!next_write_exact);  // a display's rewrite is done before it is closed
    if (listing) {
      Check(visit.reads == 0);
      return;
    }
    DisplayState state = DisplayState::kUnchecked;
    if (visit.desired != nullptr) {
      // A display that opens is read once; one that was off by more than the tolerance is
      // rewritten, and only then.
      Check(visit.reads == (Opens(slot) ? 1 : 0));
      const bool reset = visit.read_ok && !WithinTolerance(before, *visit.desired);
      Check(visit.writes == (reset ? 2 : 0));
      state = !visit.read_ok      ? DisplayState::kUnreadable
              : !reset            ? DisplayState::kIntact
              : visit.exact_taken ? DisplayState::kRewritten
                                  : DisplayState::kRefused;
    }
    states[kDevices[slot]] = state;
  }

  size_t VisitedSlot(DeviceContext dc) const {
    Check(visiting != kNone && dc == DisplayDc(visiting) && Opens(visiting));
    return visiting;
  }

  bool& TimerFlag(uintptr_t id) {
    Check(id == GammaGuard::kPeriodicTimerId || id == GammaGuard::kBurstTimerId);
    return id == GammaGuard::kPeriodicTimerId ? periodic_running : burst_running;
  }

  const Model& model;
  size_t visiting = kNone;
  Visit visit;
  std::map<std::string, DisplayState> states;  // by device, of the last check
  std::optional<GammaRamp> whole_read;         // in this check's fallback
  int whole_writes = 0;
  bool pass_rejected = false;
  bool pass_rewritten = false;
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

// What a message should get back and do, worked out from its bytes and the model alone.
struct Expected {
  enum class Reply { kEmpty, kSuccess, kList, kError } reply = Reply::kEmpty;
  std::string code;
  std::string message;
  enum class Change { kNone, kShared, kForgetAll, kOwn, kClearOwn } change = Change::kNone;
  std::string id;
  GammaRamp ramp = {};

  static Expected Error(const char* code, std::string message) {
    Expected expected;
    expected.reply = Reply::kError;
    expected.code = code;
    expected.message = std::move(message);
    return expected;
  }
};

struct Harness {
  Harness() {
    TestbedReset();
    TestbedSetCallJournal(0);  // it would grow for the whole run
    engine = std::make_unique<flutter::FlutterEngine>(flutter::EngineProject(L"data"));
    Check(engine->GetMessenger() != nullptr);
    guard.Init(engine->GetMessenger(), kWindow);
    Check(TestbedHasChannelCallback(kGammaChannel) == 1);
    Check(TestbedHasChannelCallback(kDisplaysChannel) == 1);
  }

  Model model;
  FakeDesktop desktop{model};
  GammaGuard guard{desktop};
  std::unique_ptr<flutter::FlutterEngine> engine;
  ReportCounter* reports = nullptr;
};

Harness* harness = nullptr;

// A plain scan, so the answer does not lean on the map's ordering.
const EncodableValue* Entry(const EncodableMap& map, const char* key) {
  for (const auto& entry : map) {
    const auto* name = std::get_if<std::string>(&entry.first);
    if (name != nullptr && *name == key) {
      return &entry.second;
    }
  }
  return nullptr;
}

const std::vector<uint8_t>* RampOf(const EncodableMap& map) {
  const EncodableValue* value = Entry(map, "ramp");
  const auto* bytes = value != nullptr ? std::get_if<std::vector<uint8_t>>(value) : nullptr;
  return bytes != nullptr && bytes->size() == kRampBytes ? bytes : nullptr;
}

GammaRamp ToRamp(const std::vector<uint8_t>& bytes) {
  GammaRamp ramp;
  for (size_t i = 0; i < kRampEntries; ++i) {
    ramp[i] = static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
  return ramp;
}

const EncodableMap* ArgumentMap(const flutter::MethodCall& call) {
  return call.Arguments() != nullptr ? std::get_if<EncodableMap>(call.Arguments()) : nullptr;
}

Expected PredictGamma(const flutter::MethodCall* call) {
  Expected expected;
  if (call == nullptr || (call->MethodName() != "set" && call->MethodName() != "clear")) {
    return expected;
  }
  if (call->MethodName() == "clear") {
    expected.reply = Expected::Reply::kSuccess;
    expected.change = Expected::Change::kForgetAll;
    return expected;
  }
  const EncodableMap* map = ArgumentMap(*call);
  const std::vector<uint8_t>* ramp = map != nullptr ? RampOf(*map) : nullptr;
  if (ramp == nullptr) {
    return Expected::Error("bad_args", "ramp must be 1536 bytes");
  }
  expected.reply = Expected::Reply::kSuccess;
  expected.change = Expected::Change::kShared;
  expected.ramp = ToRamp(*ramp);
  return expected;
}

Expected PredictDisplays(const flutter::MethodCall* call, const Model& model) {
  Expected expected;
  if (call == nullptr) {
    return expected;
  }
  const std::string& method = call->MethodName();
  if (method == "list") {
    expected.reply = Expected::Reply::kList;
    return expected;
  }
  if (method != "set" && method != "clear") {
    return expected;
  }
  const EncodableMap* map = ArgumentMap(*call);
  if (map == nullptr) {
    return Expected::Error("bad_args", "arguments must be a map");
  }
  const EncodableValue* id_value = Entry(*map, "id");
  const auto* id = id_value != nullptr ? std::get_if<std::string>(id_value) : nullptr;
  if (id == nullptr || id->empty() || id->size() > 512) {
    return Expected::Error("bad_args", "id must be a string of 1 to 512 bytes");
  }
  expected.id = *id;
  expected.reply = Expected::Reply::kSuccess;
  if (method == "clear") {
    expected.change = Expected::Change::kClearOwn;
    return expected;
  }
  const std::vector<uint8_t>* ramp = RampOf(*map);
  if (ramp == nullptr) {
    return Expected::Error("bad_args", "ramp must be 1536 bytes");
  }
  if (model.own.count(*id) == 0 && model.own.size() == 16) {
    return Expected::Error("too_many_displays", "at most 16 displays keep a ramp of their own");
  }
  expected.change = Expected::Change::kOwn;
  expected.ramp = ToRamp(*ramp);
  return expected;
}

// Standard-codec writing, kept apart from the codec under test.
void PutSize(std::vector<uint8_t>& out, size_t size) {
  if (size < 254) {
    out.push_back(static_cast<uint8_t>(size));
  } else {
    out.push_back(254);
    out.push_back(static_cast<uint8_t>(size & 0xFF));
    out.push_back(static_cast<uint8_t>(size >> 8));
  }
}
void PutString(std::vector<uint8_t>& out, std::string_view text) {
  out.push_back(0x07);
  PutSize(out, text.size());
  out.insert(out.end(), text.begin(), text.end());
}

std::vector<uint8_t> ErrorEnvelope(const std::string& code, const std::string& message) {
  std::vector<uint8_t> envelope = {0x01};
  PutString(envelope, code);
  PutString(envelope, message);
  envelope.push_back(0x00);
  return envelope;
}

// Captures the value of a success envelope.
class Capture : public flutter::MethodResult {
 public:
  std::optional<EncodableValue> value;

 protected:
  void HandleSuccess(const EncodableValue* result) override {
    value = result != nullptr ? *result : EncodableValue();
  }
  void HandleError(const std::string&, const std::string&, const EncodableValue*) override {}
  void HandleNotImplemented() override {}
};

const std::string* StringAt(const EncodableMap& map, const char* key) {
  const EncodableValue* value = Entry(map, key);
  return value != nullptr ? std::get_if<std::string>(value) : nullptr;
}

// The "list" reply: one map per display on the desktop, in order, with its facts, where its
// ramp comes from, and what the last check did on it.
void CheckList(const std::vector<uint8_t>& reply) {
  const FakeDesktop& desktop = harness->desktop;
  Check(!reply.empty() && reply[0] == 0x00);
  Capture capture;
  Check(flutter::StandardMethodCodec::GetInstance().DecodeAndProcessResponseEnvelope(
      reply.data(), reply.size(), &capture));
  Check(capture.value.has_value());
  const auto* list = std::get_if<EncodableList>(&*capture.value);
  Check(list != nullptr && list->size() == desktop.displays);
  for (size_t slot = 0; slot < list->size(); ++slot) {
    const auto* map = std::get_if<EncodableMap>(&(*list)[slot]);
    Check(map != nullptr && map->size() == 7);
    const GammaPlatform::DisplayFacts facts = FactsOf(slot);
    const std::string& id = desktop.IdOf(slot);
    const std::string* ramp = StringAt(*map, "ramp");
    const std::string* state = StringAt(*map, "state");
    const EncodableValue* bounds = Entry(*map, "bounds");
    const EncodableValue* primary = Entry(*map, "primary");
    Check(StringAt(*map, "id") != nullptr && *StringAt(*map, "id") == id);
    Check(StringAt(*map, "device") != nullptr && *StringAt(*map, "device") == kDevices[slot]);
    Check(StringAt(*map, "name") != nullptr && *StringAt(*map, "name") == facts.name);
    Check(bounds != nullptr && *bounds == EncodableValue(std::vector<int32_t>{
                                              facts.left, facts.top, facts.right, facts.bottom}));
    Check(primary != nullptr && *primary == EncodableValue(facts.primary));
    Check(ramp != nullptr && *ramp == harness->model.SourceOf(id));
    Check(state != nullptr &&
          *state == (*ramp == "none" ? std::string("unchecked") : desktop.StateOf(slot)));
  }
}

void CheckGuard() {
  const GammaGuard& guard = harness->guard;
  FakeDesktop& desktop = harness->desktop;
  const Model& model = harness->model;
  Check(guard.Window() == kWindow);
  Check(guard.Armed() == model.Armed());
  Check(guard.Armed() == guard.PeriodicTimerRunning());
  Check(guard.BurstTicksLeft() >= 0 && guard.BurstTicksLeft() <= GammaGuard::kBurstTicks);
  Check(guard.BurstTimerRunning() == (guard.BurstTicksLeft() > 0));
  Check(!guard.BurstTimerRunning() || guard.Armed());
  Check(guard.PeriodicTimerRunning() == desktop.periodic_running);
  Check(guard.BurstTimerRunning() == desktop.burst_running);
  Check(desktop.open_dcs == 0);
  Check(!desktop.next_write_exact);  // no half-done rewrite
  Check(guard.HasSharedRamp() == model.shared.has_value());
  Check(!model.shared || guard.DesiredRamp() == *model.shared);
  Check(guard.OwnRamps().Size() == model.own.size());
  for (const auto& [id, ramp] : model.own) {
    const GammaRamp* kept = guard.OwnRamps().Find(id);
    Check(kept != nullptr && *kept == ramp);
  }
  desktop.FoldOutcome();
  Check(!guard.Armed() || guard.LastOutcome() == desktop.outcome);
}

// After a check: each accepting display carries its desired ramp; displays with none were
// not touched (the desktop refuses any read or write of them); when no display's context
// opens, an accepting whole screen carries the shared ramp.
void CheckServed() {
  const FakeDesktop& desktop = harness->desktop;
  for (size_t slot = 0; slot < desktop.displays; ++slot) {
    const GammaRamp* desired = harness->model.DesiredOf(desktop.IdOf(slot));
    if (desired != nullptr && desktop.Accepting(slot)) {
      Check(WithinTolerance(desktop.slots[slot].ramp, *desired));
    }
  }
  if (!desktop.AnyOpens() && harness->model.shared && desktop.WholeAccepting()) {
    Check(WithinTolerance(desktop.whole, *harness->model.shared));
  }
}

void Deliver(bool displays, const uint8_t* data, size_t size) {
  FakeDesktop& desktop = harness->desktop;
  Model& model = harness->model;
  const std::unique_ptr<flutter::MethodCall> call =
      flutter::StandardMethodCodec::GetInstance().DecodeMethodCall(data, size);
  const Expected expected =
      displays ? PredictDisplays(call.get(), model) : PredictGamma(call.get());

  desktop.FoldOutcome();
  switch (expected.change) {
    case Expected::Change::kNone:
      break;
    case Expected::Change::kShared:
      model.shared = expected.ramp;
      desktop.outcome = -1;  // a new ramp: its first outcome is logged whatever it is
      break;
    case Expected::Change::kForgetAll:
      model.shared.reset();
      model.own.clear();
      break;
    case Expected::Change::kOwn:
      model.own[expected.id] = expected.ramp;
      desktop.outcome = -1;
      break;
    case Expected::Change::kClearOwn:
      model.own.erase(expected.id);
      break;
  }
  // A new ramp is checked at once; so is the rest when one display's own ramp goes.
  const bool checks = expected.change == Expected::Change::kShared ||
                      expected.change == Expected::Change::kOwn ||
                      (expected.change == Expected::Change::kClearOwn && model.Armed());
  const bool lists = expected.reply == Expected::Reply::kList;
  const uint64_t passes = desktop.passes;
  const uint64_t get_dc_calls = desktop.get_dc_calls;
  const int32_t references = TestbedMessengerReferences();
  const int reports = harness->reports->reports;

  desktop.listing = lists;
  const int32_t ticket =
      TestbedDeliverMessage(displays ? kDisplaysChannel : kGammaChannel, data, size);
  desktop.listing = false;
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
  switch (expected.reply) {
    case Expected::Reply::kEmpty:
      Check(state == kTestbedResponseEmpty);
      break;
    case Expected::Reply::kSuccess:
      Check(bytes == std::vector<uint8_t>{0x00, 0x00});
      break;
    case Expected::Reply::kList:
      CheckList(bytes);
      break;
    case Expected::Reply::kError:
      Check(bytes == ErrorEnvelope(expected.code, expected.message));
      break;
  }

  Check(desktop.passes == passes + (checks || lists ? 1 : 0));
  if (checks) {
    CheckServed();
  } else {
    Check(desktop.get_dc_calls == get_dc_calls);
  }
  if (expected.change == Expected::Change::kForgetAll) {
    Check(!harness->guard.BurstTimerRunning());
  }
}

void SendWindowMessage(const WindowMessage& message) {
  GammaGuard& guard = harness->guard;
  const bool was_armed = guard.Armed();
  const int32_t ticks = guard.BurstTicksLeft();
  const uint64_t passes = harness->desktop.passes;

  const bool handled = guard.HandleWindowMessage(message.message, message.wparam, 0);

  const bool own_timer =
      message.message == GammaGuard::kWmTimer && (message.wparam == GammaGuard::kPeriodicTimerId ||
                                                  message.wparam == GammaGuard::kBurstTimerId);
  Check(handled == own_timer);
  Check(guard.Armed() == was_armed);
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
  const bool checks = (own_timer || burst_event) && was_armed;
  Check(harness->desktop.passes == passes + (checks ? 1 : 0));
  if (checks) {
    CheckServed();
  }
}

void ChangeRamps(uint8_t target, bool identity, uint8_t drift) {
  FakeDesktop& desktop = harness->desktop;
  const auto change = [&](GammaRamp& ramp) {
    if (identity) {
      ramp = IdentityRamp();
      return;
    }
    for (uint16_t& entry : ramp) {
      entry = static_cast<uint16_t>(entry + 384 + drift);
    }
  };
  for (size_t slot = 0; slot < kSlots; ++slot) {
    if (target == slot || target > kSlots) change(desktop.slots[slot].ramp);
  }
  if (target >= kSlots) change(desktop.whole);
}

void ChangeDesktop(uint8_t kind, uint8_t next) {
  FakeDesktop& desktop = harness->desktop;
  if (kind <= kSlots) {
    desktop.displays = kind;
  } else if (kind == 5) {
    const size_t first = desktop.slots[0].id;
    for (size_t slot = 0; slot + 1 < kSlots; ++slot) {
      desktop.slots[slot].id = desktop.slots[slot + 1].id;
    }
    desktop.slots[kSlots - 1].id = first;
  } else if (kind == 6) {
    const size_t slot = (next >> 5) & 3;
    const size_t id = (next & 31) % kIdCount;
    for (FakeDesktop::Slot& other : desktop.slots) {
      if (other.id == id) other.id = desktop.slots[slot].id;
    }
    desktop.slots[slot].id = id;
  } else {
    for (size_t slot = 0; slot < kSlots; ++slot) desktop.slots[slot].id = slot;
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

std::vector<uint8_t> GammaMessage(uint8_t kind, uint8_t step, uint8_t offset) {
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

// What a displays call's map may hold.
struct Fields {
  std::optional<std::vector<uint8_t>> id;  // encoded value
  std::optional<std::vector<uint8_t>> ramp;
};

std::vector<uint8_t> StringValue(std::string_view text) {
  std::vector<uint8_t> out;
  PutString(out, text);
  return out;
}

std::vector<uint8_t> RampValue(size_t size, uint8_t step, uint8_t offset) {
  std::vector<uint8_t> message = SetMessage(size, step, offset, false);
  return std::vector<uint8_t>(message.begin() + 5, message.end());  // past the method name
}

std::vector<uint8_t> DisplaysCall(std::string_view method, const Fields& fields) {
  std::vector<uint8_t> message;
  PutString(message, method);
  message.push_back(0x0D);
  message.push_back(static_cast<uint8_t>((fields.id ? 1 : 0) + (fields.ramp ? 1 : 0)));
  if (fields.id) {
    PutString(message, "id");
    message.insert(message.end(), fields.id->begin(), fields.id->end());
  }
  if (fields.ramp) {
    PutString(message, "ramp");
    message.insert(message.end(), fields.ramp->begin(), fields.ramp->end());
  }
  return message;
}

// A "set" or "clear" whose arguments are wrong in one way (for "clear", the ramp variants
// are fine: it takes none).
std::vector<uint8_t> BadArguments(std::string_view method, uint8_t variant) {
  const std::vector<uint8_t> id = StringValue(Ids()[1]);
  const std::vector<uint8_t> ramp = RampValue(kRampBytes, 1, 0);
  switch (variant % kBadVariants) {
    case 0: {  // the ramp alone, not in a map
      std::vector<uint8_t> message;
      PutString(message, method);
      message.insert(message.end(), ramp.begin(), ramp.end());
      return message;
    }
    case 1: {  // no arguments
      std::vector<uint8_t> message;
      PutString(message, method);
      message.push_back(0x00);
      return message;
    }
    case 2:
      return DisplaysCall(method, {std::nullopt, ramp});
    case 3:
      return DisplaysCall(method, {std::vector<uint8_t>{0x03, 7, 0, 0, 0}, ramp});
    case 4:
      return DisplaysCall(method, {StringValue(""), ramp});
    case 5:
      return DisplaysCall(method, {StringValue(std::string(513, 'x')), ramp});
    case 6:
      return DisplaysCall(method, {id, std::nullopt});
    case 7:
      return DisplaysCall(method, {id, RampValue(kRampBytes - 1, 1, 0)});
    case 8:
      return DisplaysCall(method, {id, StringValue("ramp")});
    default:  // the id as bytes rather than a string
      return DisplaysCall(method, {RampValue(4, 0x41, 0), ramp});
  }
}

std::vector<uint8_t> DisplaysMessage(uint8_t kind, const std::function<uint8_t()>& next) {
  static const char* const kOtherNames[] = {"List", "SET", "remove", ""};
  switch (kind) {
    case 0:
      return DisplaysCall("list", {});
    case 1:
    case 5: {
      const uint8_t which = next();
      const std::string& id =
          kind == 1 ? Ids()[which % kIdCount] : harness->desktop.IdOf(which & 3);
      const uint8_t step = next();
      const uint8_t offset = next();
      return DisplaysCall("set", {StringValue(id), RampValue(kRampBytes, step, offset)});
    }
    case 2:
    case 7: {
      const uint8_t which = next();
      const std::string& id =
          kind == 2 ? Ids()[which % kIdCount] : harness->desktop.IdOf(which & 3);
      return DisplaysCall("clear", {StringValue(id), std::nullopt});
    }
    case 3:
      return BadArguments("set", next());
    case 4:
      return BadArguments("clear", next());
    default:
      return DisplaysCall(kOtherNames[next() % 4],
                          {StringValue(Ids()[0]), RampValue(kRampBytes, 1, 0)});
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
  // Each input starts from a disarmed guard, with no ramp of any display's own, over a
  // healthy desktop of three displays all showing the identity ramp.
  harness->desktop.Reset();
  {
    const std::vector<uint8_t> clear = GammaMessage(1, 0, 0);
    Deliver(false, clear.data(), clear.size());
  }
  CheckGuard();

  size_t at = 0;
  const std::function<uint8_t()> next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
  for (size_t records = 0; at < size && records < kMaxRecords; ++records) {
    const uint8_t op = data[at++];
    const auto arg = static_cast<uint8_t>(op >> 3);
    switch (op % 8) {
      case 0: {
        size_t length = next();
        length |= static_cast<size_t>(next()) << 8;
        length = std::min(length, size - at);
        Deliver((arg & 1) != 0, data + at, length);
        at += length;
        break;
      }
      case 1: {
        const uint8_t kind = arg & 3;
        const uint8_t step = kind == 1 ? 0 : next();
        const uint8_t offset = kind == 1 ? 0 : next();
        const std::vector<uint8_t> message = GammaMessage(kind, step, offset);
        Deliver(false, message.data(), message.size());
        break;
      }
      case 2:
        for (int i = 0; i <= op >> 6; ++i) {
          SendWindowMessage(kWindowMessages[arg & 7]);
          CheckGuard();
        }
        break;
      case 3:
        ChangeRamps(arg & 7, (op & 64) != 0, (op & 64) != 0 ? 0 : next());
        break;
      case 4: {
        FakeDesktop& desktop = harness->desktop;
        desktop.dc_mode = static_cast<FakeDesktop::DcMode>(arg & 3);
        desktop.read_fails = (arg & 4) != 0;
        desktop.rejects = (arg & 8) != 0;
        for (FakeDesktop::Slot& slot : desktop.slots) {
          if ((arg & 16) != 0) slot.shut = slot.read_fails = slot.rejects = false;
        }
        break;
      }
      case 5: {
        FakeDesktop::Slot& slot = harness->desktop.slots[arg & 3];
        slot.shut = (op & 32) != 0;
        slot.read_fails = (op & 64) != 0;
        slot.rejects = (op & 128) != 0;
        break;
      }
      case 6:
        ChangeDesktop(arg & 7, (arg & 7) == 6 ? next() : 0);
        break;
      default: {
        const std::vector<uint8_t> message = DisplaysMessage(arg & 7, next);
        Deliver(true, message.data(), message.size());
        break;
      }
    }
    CheckGuard();
  }
  TestbedRecycleResponses();
  return 0;
}
