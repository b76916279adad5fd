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

// A fixed wide field's text: up to its terminator, or all of it when it has none.
template <size_t kWide>
size_t Length(const wchar_t (&wide)[kWide]) {
  return static_cast<size_t>(std::find(wide, wide + kWide, L'\0') - wide);
}

// UTF-8 of a fixed wide field into a fixed buffer: three bytes per UTF-16 unit at most, so it
// always fits. Empty when the field is empty or does not convert.
template <size_t kWide, size_t kNarrow>
std::string_view ToUtf8(const wchar_t (&wide)[kWide], char (&narrow)[kNarrow]) {
  static_assert(kNarrow >= 3 * kWide, "room for any UTF-16 text");
  const int length = static_cast<int>(Length(wide));
  if (length == 0) {
    return {};
  }
  const int written = ::WideCharToMultiByte(CP_UTF8, 0, wide, length, narrow,
                                            static_cast<int>(kNarrow), nullptr, nullptr);
  return {narrow, static_cast<size_t>(written > 0 ? written : 0)};
}

template <size_t kWide>
std::wstring Text(const wchar_t (&wide)[kWide]) {
  return std::wstring(wide, Length(wide));
}

// The monitor's friendly name from the display configuration: the active path whose source
// is this GDI device, then its target's name. Empty when there is none.
std::wstring FriendlyName(const wchar_t* device) {
  std::vector<DISPLAYCONFIG_PATH_INFO> paths;
  std::vector<DISPLAYCONFIG_MODE_INFO> modes;
  LONG status = ERROR_INSUFFICIENT_BUFFER;
  // The configuration can grow between the two calls; ask again then.
  for (int attempt = 0; attempt < 3 && status == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
    UINT32 path_count = 0;
    UINT32 mode_count = 0;
    if (::GetDisplayConfigBufferSizes(QDC_ONLY_ACTIVE_PATHS, &path_count, &mode_count) !=
        ERROR_SUCCESS) {
      return {};
    }
    paths.resize(path_count);
    modes.resize(mode_count);
    status = ::QueryDisplayConfig(QDC_ONLY_ACTIVE_PATHS, &path_count, paths.data(), &mode_count,
                                  modes.data(), nullptr);
    paths.resize(path_count);
  }
  if (status != ERROR_SUCCESS) {
    return {};
  }
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
    if (::DisplayConfigGetDeviceInfo(&target.header) == ERROR_SUCCESS &&
        target.monitorFriendlyDeviceName[0] != L'\0') {
      return Text(target.monitorFriendlyDeviceName);
    }
  }
  return {};
}

std::string Utf8(const std::wstring& wide) {
  const int length = static_cast<int>(wide.size());
  const int size =
      ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(size > 0 ? size : 0), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, narrow.data(), size, nullptr, nullptr);
  return narrow;
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
      DISPLAY_DEVICEW monitor = {};
      monitor.cb = sizeof(monitor);
      if (::EnumDisplayDevicesW(info.szDevice, 0, &monitor, EDD_GET_DEVICE_INTERFACE_NAME) !=
          FALSE) {
        id = ToUtf8(monitor.DeviceID, id_buffer);
      }
      if (id.empty()) {
        id = device;
      }
    }
    return id;
  }

  GammaPlatform::DisplayFacts Facts() override {
    GammaPlatform::DisplayFacts facts;
    std::wstring name = FriendlyName(info.szDevice);
    if (name.empty()) {
      DISPLAY_DEVICEW monitor = {};
      monitor.cb = sizeof(monitor);
      if (::EnumDisplayDevicesW(info.szDevice, 0, &monitor, 0) != FALSE) {
        name = Text(monitor.DeviceString);
      }
    }
    facts.name = name.empty() ? std::string(device) : Utf8(name);
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
  char device_buffer[3 * CCHDEVICENAME] = {};
  const std::string_view device;
  char id_buffer[3 * sizeof(DISPLAY_DEVICEW::DeviceID) / sizeof(wchar_t)] = {};
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
