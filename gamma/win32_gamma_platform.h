// The gamma guard's screen and timers on Windows: the desktop's monitors, GDI's gamma-ramp
// functions, and user32's device contexts and timers.
#ifndef GAMMA_WIN32_GAMMA_PLATFORM_H_
#define GAMMA_WIN32_GAMMA_PLATFORM_H_

#include "gamma/gamma_platform.h"

class Win32GammaPlatform : public GammaPlatform {
 public:
  void ForEachDisplay(DisplayVisitor& visitor) override;
  DeviceContext GetDC(WindowHandle window) override;
  void ReleaseDC(WindowHandle window, DeviceContext dc) override;
  bool GetDeviceGammaRamp(DeviceContext dc, GammaRamp& ramp) override;
  bool SetDeviceGammaRamp(DeviceContext dc, const GammaRamp& ramp) override;
  void SetTimer(WindowHandle window, uintptr_t id, uint32_t interval_ms) override;
  void KillTimer(WindowHandle window, uintptr_t id) override;
};

#endif  // GAMMA_WIN32_GAMMA_PLATFORM_H_
