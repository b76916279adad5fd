// Owns the whole screen's device context for one operation and releases it through the
// platform that gave it.
#ifndef GAMMA_SCREEN_DC_H_
#define GAMMA_SCREEN_DC_H_

#include "base/unique_any.h"
#include "gamma/gamma_platform.h"

struct ScreenDcTraits {
  using Handle = GammaPlatform::DeviceContext;
  static Handle Null() { return nullptr; }
  void Close(Handle dc) const { platform->ReleaseDC(nullptr, dc); }

  GammaPlatform* platform = nullptr;
};

// Null when the screen's device context was unavailable.
using ScreenDc = UniqueAny<ScreenDcTraits>;

inline ScreenDc AcquireScreenDc(GammaPlatform& platform) {
  return ScreenDc(platform.GetDC(nullptr), ScreenDcTraits{&platform});
}

#endif  // GAMMA_SCREEN_DC_H_
