// A fake screen for the gamma guard: its ramp, device-context and read failures and
// driver rejections are set by the test, and every call is recorded in order.
#ifndef TESTS_GAMMA_FAKE_GAMMA_PLATFORM_H_
#define TESTS_GAMMA_FAKE_GAMMA_PLATFORM_H_

#include <cstddef>
#include <deque>
#include <vector>

#include "gamma/gamma_platform.h"

class FakeGammaPlatform : public GammaPlatform {
 public:
  enum class Op { kGetDC, kReleaseDC, kGetRamp, kSetRamp, kSetTimer, kKillTimer };

  struct Call {
    Op op;
    WindowHandle window;
    DeviceContext dc;
    uintptr_t id;
    uint32_t interval_ms;
    GammaRamp ramp;  // the ramp written, for kSetRamp
  };

  DeviceContext GetDC(WindowHandle window) override {
    Record(Op::kGetDC, window, nullptr);
    bool available = true;
    if (!get_dc_results.empty()) {
      available = get_dc_results.front();
      get_dc_results.pop_front();
    }
    if (!available) {
      return nullptr;
    }
    ++open_dcs;
    return kScreenDc;
  }

  void ReleaseDC(WindowHandle window, DeviceContext dc) override {
    Record(Op::kReleaseDC, window, dc);
    --open_dcs;
  }

  bool GetDeviceGammaRamp(DeviceContext dc, GammaRamp& ramp) override {
    Record(Op::kGetRamp, nullptr, dc);
    if (read_fails) {
      return false;
    }
    ramp = screen;
    return true;
  }

  bool SetDeviceGammaRamp(DeviceContext dc, const GammaRamp& ramp) override {
    Record(Op::kSetRamp, nullptr, dc).ramp = ramp;
    if (rejects) {
      return false;
    }
    screen = ramp;
    return true;
  }

  void SetTimer(WindowHandle window, uintptr_t id, uint32_t interval_ms) override {
    Record(Op::kSetTimer, window, nullptr, id).interval_ms = interval_ms;
  }

  void KillTimer(WindowHandle window, uintptr_t id) override {
    Record(Op::kKillTimer, window, nullptr, id);
  }

  std::vector<Call> CallsOf(Op op) const {
    std::vector<Call> found;
    for (const Call& call : calls) {
      if (call.op == op) {
        found.push_back(call);
      }
    }
    return found;
  }

  std::size_t CountOf(Op op) const { return CallsOf(op).size(); }

  std::vector<Op> Ops() const {
    std::vector<Op> ops;
    for (const Call& call : calls) {
      ops.push_back(call.op);
    }
    return ops;
  }

  static inline const DeviceContext kScreenDc = reinterpret_cast<DeviceContext>(0x5C);

  GammaRamp screen = {};
  // Results of the next GetDC calls (false: no device context); afterwards they succeed.
  std::deque<bool> get_dc_results;
  bool read_fails = false;
  bool rejects = false;
  int open_dcs = 0;
  std::vector<Call> calls;

 private:
  Call& Record(Op op, WindowHandle window, DeviceContext dc, uintptr_t id = 0) {
    calls.push_back(Call{op, window, dc, id, 0, GammaRamp{}});
    return calls.back();
  }
};

#endif  // TESTS_GAMMA_FAKE_GAMMA_PLATFORM_H_
