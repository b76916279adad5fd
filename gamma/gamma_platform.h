// The screen and timer operations the gamma guard needs. The Windows build binds them to
// GDI and user32 (Win32GammaPlatform); tests bind them to a fake screen.
#ifndef GAMMA_GAMMA_PLATFORM_H_
#define GAMMA_GAMMA_PLATFORM_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "gamma/gamma_ramp.h"

class GammaPlatform {
 public:
  // Opaque, pointer-sized handles: HWND and HDC on Windows.
  using WindowHandle = void*;
  using DeviceContext = void*;

  // What the user interface is told of a display besides its identity.
  struct DisplayFacts {
    std::string name;  // the monitor's friendly name, else its description, else its device
    int32_t left = 0;  // desktop coordinates
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    bool primary = false;
  };

  // One display of the desktop during a visit; valid only during the call.
  class Display {
   public:
    // The display's own device context, opened for the visit; null when it would not open.
    virtual DeviceContext Context() = 0;
    // Its GDI device name, UTF-8 ("\\.\DISPLAY2"). Cheap.
    virtual std::string_view DeviceName() = 0;
    // Its stable identity, UTF-8: the monitor's device interface path, which stays with the
    // monitor and its port, else its device name. Looked up on the first call, which costs
    // more than the check itself, and held in the visit's own storage: no allocation.
    virtual std::string_view Id() = 0;
    virtual DisplayFacts Facts() = 0;

   protected:
    ~Display() = default;
  };

  // Receives each display of the desktop in turn, whether or not its context opened.
  class DisplayVisitor {
   public:
    virtual void Visit(Display& display) = 0;

   protected:
    ~DisplayVisitor() = default;
  };

  virtual ~GammaPlatform() = default;

  // Hands visitor each display of the desktop in turn, in the desktop's own order, with its
  // device context opened for the visit and freed after it.
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
