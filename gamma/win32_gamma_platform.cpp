#include "gamma/win32_gamma_platform.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <vector>

#include "base/unique_any.h"

namespace {

// A display's own device context, made by CreateDCW and so freed by DeleteDC.
struct DisplayDcTraits {
  using Handle = HDC;
  static Handle Null() { return nullptr; }
  void Close(Handle dc) const { ::DeleteDC(dc); }
};
using DisplayDc = UniqueAny<DisplayDcTraits>;

// UTF-8 takes at most three bytes for each UTF-16 unit.
constexpr size_t kUtf8PerUtf16 = 3;

// UTF-8 of a fixed wide field (up to its terminator, or all of it when it has none) into a
// fixed buffer it always fits. Empty when the field is empty or does not convert.
template <size_t kWide, size_t kNarrow>
std::string_view ToUtf8(const wchar_t (&wide)[kWide], char (&narrow)[kNarrow]) {
  static_assert(kNarrow >= kUtf8PerUtf16 * kWide, "room for any UTF-16 text");
  const auto length = static_cast<int>(std::find(wide, wide + kWide, L'\0') - wide);
  const int written = ::WideCharToMultiByte(CP_UTF8, 0, wide, length, narrow,
                                            static_cast<int>(kNarrow), nullptr, nullptr);
  return {narrow, static_cast<size_t>(written)};
}

// The first monitor on a GDI display device, with its device interface path as DeviceID.
bool MonitorOf(const wchar_t* device, DISPLAY_DEVICEW& monitor) {
  monitor = {};
  monitor.cb = sizeof(monitor);
  return ::EnumDisplayDevicesW(device, 0, &monitor, EDD_GET_DEVICE_INTERFACE_NAME) != FALSE;
}

// The monitor's friendly name from the display configuration, UTF-8 in name: the active path
// whose source is this GDI device, then its target's name. Empty when there is none (a
// configuration that changed between the two calls included: the fallback serves then).
template <size_t kNarrow>
std::string_view FriendlyName(const wchar_t* device, char (&name)[kNarrow]) {
  UINT32 path_count = 0;
  UINT32 mode_count = 0;
  if (::GetDisplayConfigBufferSizes(QDC_ONLY_ACTIVE_PATHS, &path_count, &mode_count) !=
      ERROR_SUCCESS) {
    return {};
  }
  std::vector<DISPLAYCONFIG_PATH_INFO> paths(path_count);
  std::vector<DISPLAYCONFIG_MODE_INFO> modes(mode_count);
  if (::QueryDisplayConfig(QDC_ONLY_ACTIVE_PATHS, &path_count, paths.data(), &mode_count,
                           modes.data(), nullptr) != ERROR_SUCCESS) {
    return {};
  }
  paths.resize(path_count);
  for (const DISPLAYCONFIG_PATH_INFO& path : paths) {
    DISPLAYCONFIG_SOURCE_DEVICE_NAME source = {};
    source.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME;
    source.header.size = sizeof(source);
    source.header.adapterId = path.sourceInfo.adapterId;
    source.header.id = path.sourceInfo.id;
    if (::DisplayConfigGetDeviceInfo(&source.header) != ERROR_SUCCESS ||
        std::wcscmp(source.viewGdiDeviceName, device) != 0) {
      continue;
    }
    DISPLAYCONFIG_TARGET_DEVICE_NAME target = {};
    target.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME;
    target.header.size = sizeof(target);
    target.header.adapterId = path.targetInfo.adapterId;
    target.header.id = path.targetInfo.id;
    if (::DisplayConfigGetDeviceInfo(&target.header) == ERROR_SUCCESS) {
      return ToUtf8(target.monitorFriendlyDeviceName, name);
    }
  }
  return {};
}

// One monitor for the length of a visit. The context, device name and identity live in the
// object itself: the check asks for them every second during a burst.
class MonitorDisplay final : public GammaPlatform::Display {
 public:
  explicit MonitorDisplay(const MONITORINFOEXW& monitor)
      : info(monitor),
        dc(::CreateDCW(L"DISPLAY", monitor.szDevice, nullptr, nullptr)),
        device(ToUtf8(monitor.szDevice, device_buffer)) {}

  GammaPlatform::DeviceContext Context() override { return dc.Get(); }

  std::string_view DeviceName() override { return device; }

  std::string_view Id() override {
    if (!id_looked_up) {
      id_looked_up = true;
      DISPLAY_DEVICEW monitor;
      if (MonitorOf(info.szDevice, monitor)) {
        id = ToUtf8(monitor.DeviceID, id_buffer);
      }
      if (id.empty()) {
        id = device;
      }
    }
    return id;
  }

  GammaPlatform::DisplayFacts Facts() override {
    char buffer[kUtf8PerUtf16 * sizeof(DISPLAY_DEVICEW::DeviceString) / sizeof(wchar_t)];
    std::string_view name = FriendlyName(info.szDevice, buffer);
    DISPLAY_DEVICEW monitor;
    if (name.empty() && MonitorOf(info.szDevice, monitor)) {
      name = ToUtf8(monitor.DeviceString, buffer);
    }
    GammaPlatform::DisplayFacts facts;
    facts.name = name.empty() ? device : name;
    facts.left = info.rcMonitor.left;
    facts.top = info.rcMonitor.top;
    facts.right = info.rcMonitor.right;
    facts.bottom = info.rcMonitor.bottom;
    facts.primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
    return facts;
  }

 private:
  const MONITORINFOEXW& info;
  const DisplayDc dc;
  char device_buffer[kUtf8PerUtf16 * CCHDEVICENAME] = {};
  const std::string_view device;
  char id_buffer[kUtf8PerUtf16 * sizeof(DISPLAY_DEVICEW::DeviceID) / sizeof(wchar_t)] = {};
  std::string_view id;
  bool id_looked_up = false;
};

BOOL CALLBACK VisitMonitor(HMONITOR monitor, HDC /*unused*/, LPRECT /*unused*/, LPARAM data) {
  auto& visitor = *reinterpret_cast<GammaPlatform::DisplayVisitor*>(data);
  MONITORINFOEXW info = {};
  info.cbSize = sizeof(info);
  if (::GetMonitorInfoW(monitor, &info) == FALSE) {
    return TRUE;  // the others are still served
  }
  MonitorDisplay display(info);
  visitor.Visit(display);
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
