// The screen and timer operations the gamma guard needs. The Windows build binds them to
// GDI and user32 (Win32GammaPlatform); tests bind them to a fake screen.
#ifndef GAMMA_GAMMA_PLATFORM_H_
#define GAMMA_GAMMA_PLATFORM_H_

#include <cstdint>

#include "gamma/gamma_ramp.h"

class GammaPlatform {
 public:
  // Opaque, pointer-sized handles: HWND and HDC on Windows.
  using WindowHandle = void*;
  using DeviceContext = void*;

  // Receives one display's device context at a time; the context is valid only during
  // the call.
  class DisplayVisitor {
   public:
    virtual void Visit(DeviceContext display) = 0;

   protected:
    ~DisplayVisitor() = default;
  };

  virtual ~GammaPlatform() = default;

  // Opens a device context for each display of the desktop in turn, hands it to visitor
  // and frees it again. A display whose context does not open is left out, so a visitor
  // that was handed none knows that no display could be enumerated or opened.
  virtual void ForEachDisplay(DisplayVisitor& visitor) = 0;
  // A device context for the window, or for the whole screen when window is null;
  // null on failure.
  virtual DeviceContext GetDC(WindowHandle window) = 0;
  virtual void ReleaseDC(WindowHandle window, DeviceContext dc) = 0;
  // Fills ramp with the ramp in force; false when it cannot be read.
  virtual bool GetDeviceGammaRamp(DeviceContext dc, GammaRamp& ramp) = 0;
  // False when the driver rejected the ramp.
  virtual bool SetDeviceGammaRamp(DeviceContext dc, const GammaRamp& ramp) = 0;
  // From then on the window receives WM_TIMER with wparam = id every interval.
  virtual void SetTimer(WindowHandle window, uintptr_t id, uint32_t interval_ms) = 0;
  virtual void KillTimer(WindowHandle window, uintptr_t id) = 0;
};

#endif  // GAMMA_GAMMA_PLATFORM_H_
