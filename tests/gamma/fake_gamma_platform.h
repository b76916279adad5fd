// A fake screen for the gamma guard: the test sets its ramp, failures and driver
// rejections, and reads back every call in order; and the ramps the tests use.
#ifndef TESTS_GAMMA_FAKE_GAMMA_PLATFORM_H_
#define TESTS_GAMMA_FAKE_GAMMA_PLATFORM_H_

#include <cstdint>
#include <deque>
#include <vector>

#include "gamma/gamma_platform.h"

class FakeGammaPlatform : public GammaPlatform {
 public:
  enum class Op { kGetDC, kReleaseDC, kGetRamp, kSetRamp, kSetTimer, kKillTimer };
  struct Call {
    Op op;
    void* handle;  // window, or device context for the ramp calls and ReleaseDC
    uintptr_t id;
    uint32_t interval_ms;
    GammaRamp ramp;  // written, for kSetRamp
  };

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
    if (!read_fails) ramp = screen;
    return !read_fails;
  }
  bool SetDeviceGammaRamp(DeviceContext dc, const GammaRamp& ramp) override {
    calls.push_back({Op::kSetRamp, dc, 0, 0, ramp});
    if (!rejects) screen = ramp;
    return !rejects;
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

  static inline DeviceContext const kScreenDc = reinterpret_cast<DeviceContext>(0x5C);

  GammaRamp screen = {};
  std::deque<bool> get_dc_results;  // next GetDC results (false: none); then they succeed
  bool read_fails = false;
  bool rejects = false;
  int open_dcs = 0;
  std::vector<Call> calls;
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
