// A fake screen for the gamma guard: the test sets the whole screen's ramp, the desktop's
// displays with ramps of their own, failures and driver rejections, and reads back every
// call in order; and the ramps the tests use.
#ifndef TESTS_GAMMA_FAKE_GAMMA_PLATFORM_H_
#define TESTS_GAMMA_FAKE_GAMMA_PLATFORM_H_

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "gamma/gamma_platform.h"

class FakeGammaPlatform : public GammaPlatform {
 public:
  enum class Op {
    kOpenDisplay,
    kCloseDisplay,
    kGetDC,
    kReleaseDC,
    kGetRamp,
    kSetRamp,
    kSetTimer,
    kKillTimer
  };
  struct Call {
    Op op;
    void* handle;  // window, or device context for the ramp calls and ReleaseDC
    uintptr_t id;
    uint32_t interval_ms;
    GammaRamp ramp;  // written, for kSetRamp
  };

  // One display of the desktop; its device context is DisplayDc(its index). An id or device
  // name left empty is made from its index at the first visit (FakeDisplayId, FakeDeviceName).
  struct Display {
    Display(const GammaRamp& ramp = {}, bool opens = true, bool read_fails = false,
            bool rejects = false)
        : ramp(ramp), opens(opens), read_fails(read_fails), rejects(rejects) {}

    GammaRamp ramp;
    bool opens;
    bool read_fails;
    bool rejects;
    std::string id;
    std::string device;
    DisplayFacts facts;
  };

  void ForEachDisplay(DisplayVisitor& visitor) override {
    for (std::size_t i = 0; i < displays.size(); ++i) {
      if (displays[i].id.empty()) displays[i].id = FakeDisplayId(i);
      if (displays[i].device.empty()) displays[i].device = FakeDeviceName(i);
      Visited display(*this, i);
      if (displays[i].opens) calls.push_back({Op::kOpenDisplay, DisplayDc(i), 0, 0, {}});
      visitor.Visit(display);
      if (displays[i].opens) calls.push_back({Op::kCloseDisplay, DisplayDc(i), 0, 0, {}});
    }
  }
  DeviceContext GetDC(WindowHandle window) override {
    calls.push_back({Op::kGetDC, window, 0, 0, {}});
    const bool available = get_dc_results.empty() || get_dc_results.front();
    if (!get_dc_results.empty()) get_dc_results.pop_front();
    open_dcs += available ? 1 : 0;
    return available ? kScreenDc : nullptr;
  }
  void ReleaseDC(WindowHandle window, DeviceContext dc) override {
    calls.push_back({Op::kReleaseDC, window == nullptr ? dc : window, 0, 0, {}});
    --open_dcs;
  }
  bool GetDeviceGammaRamp(DeviceContext dc, GammaRamp& ramp) override {
    calls.push_back({Op::kGetRamp, dc, 0, 0, {}});
    const bool fails = dc == kScreenDc ? read_fails : DisplayOf(dc).read_fails;
    if (!fails) ramp = dc == kScreenDc ? screen : DisplayOf(dc).ramp;
    return !fails;
  }
  bool SetDeviceGammaRamp(DeviceContext dc, const GammaRamp& ramp) override {
    calls.push_back({Op::kSetRamp, dc, 0, 0, ramp});
    const bool rejected = dc == kScreenDc ? rejects : DisplayOf(dc).rejects;
    if (!rejected) (dc == kScreenDc ? screen : DisplayOf(dc).ramp) = ramp;
    return !rejected;
  }
  void SetTimer(WindowHandle window, uintptr_t id, uint32_t interval_ms) override {
    calls.push_back({Op::kSetTimer, window, id, interval_ms, {}});
  }
  void KillTimer(WindowHandle window, uintptr_t id) override {
    calls.push_back({Op::kKillTimer, window, id, 0, {}});
  }

  std::vector<Call> CallsOf(Op op) const {
    std::vector<Call> found;
    for (const Call& call : calls) {
      if (call.op == op) found.push_back(call);
    }
    return found;
  }

  // Calls of one device context, in order.
  std::vector<Op> OpsOn(DeviceContext dc) const {
    std::vector<Op> found;
    for (const Call& call : calls) {
      if (call.handle == dc) found.push_back(call.op);
    }
    return found;
  }

  static std::string FakeDisplayId(std::size_t index) {
    return "\\\\?\\DISPLAY#Fake#" + std::to_string(index);
  }
  static std::string FakeDeviceName(std::size_t index) {
    return "\\\\.\\DISPLAY" + std::to_string(index + 1);
  }

  static inline DeviceContext const kScreenDc = reinterpret_cast<DeviceContext>(0x5C);
  static DeviceContext DisplayDc(std::size_t index) {
    return reinterpret_cast<DeviceContext>(0xD00 + index);
  }
  Display& DisplayOf(DeviceContext dc) {
    return displays.at(reinterpret_cast<uintptr_t>(dc) - 0xD00);
  }

  std::vector<Display> displays;  // none: only the whole screen
  int id_lookups = 0;
  GammaRamp screen = {};
  std::deque<bool> get_dc_results;  // next GetDC results (false: none); then they succeed
  bool read_fails = false;
  bool rejects = false;
  int open_dcs = 0;
  std::vector<Call> calls;

 private:
  class Visited final : public GammaPlatform::Display {
   public:
    Visited(FakeGammaPlatform& platform, std::size_t index) : platform(platform), index(index) {}
    DeviceContext Context() override {
      return platform.displays[index].opens ? DisplayDc(index) : nullptr;
    }
    std::string_view DeviceName() override { return platform.displays[index].device; }
    std::string_view Id() override {
      ++platform.id_lookups;
      return platform.displays[index].id;
    }
    DisplayFacts Facts() override { return platform.displays[index].facts; }

   private:
    FakeGammaPlatform& platform;
    std::size_t index;
  };
};

// Entry i of channel c is i * 257 scaled by percent[c]: {100, 100, 100} is the identity.
inline GammaRamp ScaledRamp(int red, int green, int blue) {
  const int percent[] = {red, green, blue};
  GammaRamp ramp;
  for (std::size_t i = 0; i < kRampEntries; ++i) {
    ramp[i] = static_cast<uint16_t>((i % 256) * 257 * percent[i / 256] / 100);
  }
  return ramp;
}
inline GammaRamp IdentityRamp() { return ScaledRamp(100, 100, 100); }
inline GammaRamp WarmRamp() { return ScaledRamp(100, 85, 65); }

// The ramp as the channel carries it: every entry little-endian.
inline std::vector<uint8_t> RampBytes(const GammaRamp& ramp) {
  std::vector<uint8_t> bytes;
  for (uint16_t entry : ramp) {
    bytes.push_back(static_cast<uint8_t>(entry & 0xFF));
    bytes.push_back(static_cast<uint8_t>(entry >> 8));
  }
  return bytes;
}

#endif  // TESTS_GAMMA_FAKE_GAMMA_PLATFORM_H_
