#include "gamma/win32_gamma_platform.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "testbed/engine/import_hook.h"

namespace {

// Device, id, name, bounds, primary.
using Shown =
    std::tuple<std::string, std::string, std::string, int32_t, int32_t, int32_t, int32_t, bool>;

std::vector<HDC> deleted;
int allocations = 0;  // the C runtime's, operator new's among them

void* CountMalloc(size_t size) {
  ++allocations;
  return ImportHook::Original<void* (*)(size_t)>(L"msvcrt.dll", "malloc")(size);
}
BOOL WINAPI RecordDeleteDC(HDC dc) {
  deleted.push_back(dc);
  return ImportHook::Original<BOOL(WINAPI*)(HDC)>(L"gdi32.dll", "DeleteDC")(dc);
}
HDC WINAPI RefuseDC(LPCWSTR, LPCWSTR, LPCWSTR, const DEVMODEW*) { return nullptr; }
LONG WINAPI RefuseDeviceInfo(DISPLAYCONFIG_DEVICE_INFO_HEADER*) { return ERROR_NOT_SUPPORTED; }
BOOL WINAPI RefuseDevices(LPCWSTR, DWORD, PDISPLAY_DEVICEW, DWORD) { return FALSE; }

// Visits every display at construction: what each visit showed, and the contexts that opened;
// checks on the way what holds for every visit.
class Recorder final : public GammaPlatform::DisplayVisitor {
 public:
  Recorder() {
    deleted.clear();
    Win32GammaPlatform().ForEachDisplay(*this);
    EXPECT_EQ(deleted, contexts);
  }

  void Visit(GammaPlatform::Display& display) override {
    // The check asks for these every second during a burst: no allocation.
    const int before = allocations;
    const auto dc = static_cast<HDC>(display.Context());
    const std::string_view id = display.Id();
    const std::string_view again = display.Id();
    const std::string_view device = display.DeviceName();
    EXPECT_EQ(allocations, before);
    EXPECT_TRUE(again.data() == id.data() && again == id);
    EXPECT_EQ(deleted, contexts);  // those of the visits before freed, this one not yet
    if (dc != nullptr) contexts.push_back(dc);
    const GammaPlatform::DisplayFacts f = display.Facts();
    shown.emplace_back(device, id, f.name, f.left, f.top, f.right, f.bottom, f.primary);
  }

  std::vector<HDC> contexts;
  std::vector<Shown> shown;
};

// The rig's desktop as Wine 8 shows it: one monitor at 1280 x 1024, or two at 1024 x 768 side
// by side, named and identified by Wine's display configuration.
std::vector<Shown> RigDisplays() {
  const auto path = [](char position) {
    return std::string("\\\\?\\DISPLAY#Default_Monitor#000") + position +
           "&0000#{E6F07B5F-EE97-4A90-B076-33F57BF4EAA7}";
  };
  if (GetSystemMetrics(SM_CMONITORS) == 1) {
    return {{"\\\\.\\DISPLAY1", path('0'), "Display1", 0, 0, 1280, 1024, true}};
  }
  return {{"\\\\.\\DISPLAY1", path('0'), "Display1", 0, 0, 1024, 768, true},
          {"\\\\.\\DISPLAY2", path('1'), "Display2", 1024, 0, 2048, 768, false}};
}

TEST(Win32GammaPlatformTest, VisitsEachMonitorAndFallsBackWhenContextIdOrNameCannotBeHad) {
  ImportHook delete_dc("gdi32.dll", "DeleteDC", RecordDeleteDC);
  ImportHook count("msvcrt.dll", "malloc", CountMalloc);
  ASSERT_TRUE(delete_dc.Installed() && count.Installed());
  std::vector<Shown> expected = RigDisplays();
  const Recorder all;
  EXPECT_EQ(all.shown, expected);
  EXPECT_EQ(all.contexts.size(), expected.size());

  // Each source refused in turn, on top of those before: the next one down answers, and a
  // display whose context will not open is visited all the same.
  ImportHook refuse_dc("gdi32.dll", "CreateDCW", RefuseDC);
  ImportHook refuse_configuration("user32.dll", "DisplayConfigGetDeviceInfo", RefuseDeviceInfo);
  ASSERT_TRUE(refuse_dc.Installed() && refuse_configuration.Installed());
  for (Shown& d : expected) std::get<2>(d) = "Generic Non-PnP Monitor";  // Wine's
  EXPECT_EQ(Recorder().shown, expected);

  ImportHook refuse_devices("user32.dll", "EnumDisplayDevicesW", RefuseDevices);
  ASSERT_TRUE(refuse_devices.Installed());
  for (Shown& d : expected) std::get<1>(d) = std::get<2>(d) = std::get<0>(d);
  EXPECT_EQ(Recorder().shown, expected);
}

}  // namespace
