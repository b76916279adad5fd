#include "gamma/win32_gamma_platform.h"

#include <windows.h>

#include "base/unique_any.h"

namespace {

// A display's own device context, made by CreateDCW and so freed by DeleteDC.
struct DisplayDcTraits {
  using Handle = HDC;
  static Handle Null() { return nullptr; }
  void Close(Handle dc) const { ::DeleteDC(dc); }
};
using DisplayDc = UniqueAny<DisplayDcTraits>;

BOOL CALLBACK VisitMonitor(HMONITOR monitor, HDC /*unused*/, LPRECT /*unused*/, LPARAM data) {
  auto& visitor = *reinterpret_cast<GammaPlatform::DisplayVisitor*>(data);
  MONITORINFOEXW info = {};
  info.cbSize = sizeof(info);
  if (::GetMonitorInfoW(monitor, &info) == FALSE) {
    return TRUE;  // the others are still served
  }
  const DisplayDc dc(::CreateDCW(L"DISPLAY", info.szDevice, nullptr, nullptr));
  if (dc) {
    visitor.Visit(dc.Get());
  }
  return TRUE;
}

}  // namespace

void Win32GammaPlatform::ForEachDisplay(DisplayVisitor& visitor) {
  ::EnumDisplayMonitors(nullptr, nullptr, VisitMonitor, reinterpret_cast<LPARAM>(&visitor));
}

GammaPlatform::DeviceContext Win32GammaPlatform::GetDC(WindowHandle window) {
  return ::GetDC(static_cast<HWND>(window));
}

void Win32GammaPlatform::ReleaseDC(WindowHandle window, DeviceContext dc) {
  ::ReleaseDC(static_cast<HWND>(window), static_cast<HDC>(dc));
}

bool Win32GammaPlatform::GetDeviceGammaRamp(DeviceContext dc, GammaRamp& ramp) {
  return ::GetDeviceGammaRamp(static_cast<HDC>(dc), ramp.data()) != FALSE;
}

bool Win32GammaPlatform::SetDeviceGammaRamp(DeviceContext dc, const GammaRamp& ramp) {
  // The ramp is only read, whatever the parameter's type says.
  return ::SetDeviceGammaRamp(static_cast<HDC>(dc), const_cast<uint16_t*>(ramp.data())) != FALSE;
}

void Win32GammaPlatform::SetTimer(WindowHandle window, uintptr_t id, uint32_t interval_ms) {
  ::SetTimer(static_cast<HWND>(window), id, interval_ms, nullptr);
}

void Win32GammaPlatform::KillTimer(WindowHandle window, uintptr_t id) {
  ::KillTimer(static_cast<HWND>(window), id);
}
