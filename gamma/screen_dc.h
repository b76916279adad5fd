// Owns the whole screen's device context for one operation and releases it through
// the platform when it goes out of scope.
#ifndef GAMMA_SCREEN_DC_H_
#define GAMMA_SCREEN_DC_H_

#include "gamma/gamma_platform.h"

class ScreenDc {
 public:
  explicit ScreenDc(GammaPlatform& screen) : platform(screen), dc(screen.GetDC(nullptr)) {}
  ~ScreenDc() {
    if (dc != nullptr) {
      platform.ReleaseDC(nullptr, dc);
    }
  }

  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;

  // Null when the screen's device context was unavailable.
  GammaPlatform::DeviceContext Get() const { return dc; }

 private:
  GammaPlatform& platform;
  GammaPlatform::DeviceContext dc;
};

#endif  // GAMMA_SCREEN_DC_H_
