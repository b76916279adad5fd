#include "gamma/win32_gamma_platform.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/windows/import_hook.h"

namespace {

// What one visit saw of one display.
struct Seen {
  HDC context = nullptr;
  bool context_deleted_during_visit = false;
  std::string device;
  std::string id;
  bool id_same_view = false;
  int allocations = 0;
  GammaPlatform::DisplayFacts facts;
};

// The function an import hook replaced, as the system library exports it.
template <typename Function>
Function Original(const wchar_t* library, const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(library), name)));
}

std::vector<HDC> deleted;
// The C runtime's allocations, which operator new makes too: the check asks every display for
// its context, device name and identity every second during a burst, and must not allocate.
int allocations = 0;

void* CountMalloc(size_t size) {
  ++allocations;
  return Original<void* (*)(size_t)>(L"msvcrt.dll", "malloc")(size);
}

BOOL WINAPI RecordDeleteDC(HDC dc) {
  deleted.push_back(dc);
  return Original<BOOL(WINAPI*)(HDC)>(L"gdi32.dll", "DeleteDC")(dc);
}

HDC WINAPI RefuseDC(LPCWSTR, LPCWSTR, LPCWSTR, const DEVMODEW*) { return nullptr; }
LONG WINAPI RefuseDeviceInfo(DISPLAYCONFIG_DEVICE_INFO_HEADER*) { return ERROR_NOT_SUPPORTED; }
BOOL WINAPI RefuseDevices(LPCWSTR, DWORD, PDISPLAY_DEVICEW, DWORD) { return FALSE; }

class Recorder final : public GammaPlatform::DisplayVisitor {
 public:
  void Visit(GammaPlatform::Display& display) override {
    Seen seen;
    const int before = allocations;
    seen.context = static_cast<HDC>(display.Context());
    const std::string_view device = display.DeviceName();
    const std::string_view id = display.Id();
    const std::string_view again = display.Id();
    seen.allocations = allocations - before;
    seen.device = device;
    seen.id = id;
    seen.id_same_view = again.data() == id.data() && again.size() == id.size();
    seen.facts = display.Facts();
    for (HDC dc : deleted) seen.context_deleted_during_visit |= dc == seen.context;
    displays.push_back(seen);
  }

  std::vector<Seen> displays;
};

// Wine's device interface path of the monitor at that position.
std::string MonitorPath(char position) {
  return std::string("\\\\?\\DISPLAY#Default_Monitor#000") + position +
         "&0000#{E6F07B5F-EE97-4A90-B076-33F57BF4EAA7}";
}

// The rig's desktop as Wine 8 shows it: one monitor at 1280 x 1024, or two at 1024 x 768 side
// by side; their ids and friendly names come from Wine's display configuration.
struct Expected {
  std::string device;
  std::string id;
  std::string name;
  int32_t left, top, right, bottom;
  bool primary;
};

std::vector<Expected> RigDisplays() {
  if (GetSystemMetrics(SM_CMONITORS) == 1) {
    return {{"\\\\.\\DISPLAY1", MonitorPath('0'), "Display1", 0, 0, 1280, 1024, true}};
  }
  return {{"\\\\.\\DISPLAY1", MonitorPath('0'), "Display1", 0, 0, 1024, 768, true},
          {"\\\\.\\DISPLAY2", MonitorPath('1'), "Display2", 1024, 0, 2048, 768, false}};
}

TEST(Win32GammaPlatformTest, VisitsEachMonitorWithItsContextIdentityAndFacts) {
  ImportHook delete_dc("gdi32.dll", "DeleteDC", reinterpret_cast<void*>(RecordDeleteDC));
  ImportHook malloc_hook("msvcrt.dll", "malloc", reinterpret_cast<void*>(CountMalloc));
  ASSERT_TRUE(delete_dc.Installed() && malloc_hook.Installed());
  deleted.clear();
  Win32GammaPlatform platform;
  Recorder recorder;
  platform.ForEachDisplay(recorder);

  const std::vector<Expected> expected = RigDisplays();
  ASSERT_EQ(recorder.displays.size(), expected.size());
  std::vector<HDC> contexts;
  for (size_t i = 0; i < expected.size(); ++i) {
    const Seen& seen = recorder.displays[i];
    const Expected& want = expected[i];
    SCOPED_TRACE(want.device);
    EXPECT_NE(seen.context, nullptr);
    contexts.push_back(seen.context);
    EXPECT_FALSE(seen.context_deleted_during_visit);
    EXPECT_EQ(seen.device, want.device);
    EXPECT_EQ(seen.id, want.id);
    EXPECT_TRUE(seen.id_same_view);
    EXPECT_EQ(seen.allocations, 0);
    EXPECT_EQ(seen.facts.name, want.name);
    EXPECT_EQ((std::vector<int32_t>{seen.facts.left, seen.facts.top, seen.facts.right,
                                    seen.facts.bottom}),
              (std::vector<int32_t>{want.left, want.top, want.right, want.bottom}));
    EXPECT_EQ(seen.facts.primary, want.primary);
  }
  // Each context freed once its visit is over.
  EXPECT_EQ(deleted, contexts);
}

// Each source of a name or identity refused in turn: the next one down answers.
TEST(Win32GammaPlatformTest, FallsBackWhenContextIdentityOrNameCannotBeHad) {
  const Expected first = RigDisplays()[0];
  ImportHook refuse_dc("gdi32.dll", "CreateDCW", reinterpret_cast<void*>(RefuseDC));
  ASSERT_TRUE(refuse_dc.Installed());
  ImportHook refuse_info("user32.dll", "DisplayConfigGetDeviceInfo",
                         reinterpret_cast<void*>(RefuseDeviceInfo));
  ASSERT_TRUE(refuse_info.Installed());
  Recorder without_configuration;
  Win32GammaPlatform().ForEachDisplay(without_configuration);
  ImportHook refuse_devices("user32.dll", "EnumDisplayDevicesW",
                            reinterpret_cast<void*>(RefuseDevices));
  ASSERT_TRUE(refuse_devices.Installed());
  Recorder without_devices;
  Win32GammaPlatform().ForEachDisplay(without_devices);

  for (const Recorder* recorder : {&without_configuration, &without_devices}) {
    ASSERT_FALSE(recorder->displays.empty());
    const Seen& seen = recorder->displays[0];
    // Visited without a context, everything else still known.
    EXPECT_EQ(seen.context, nullptr);
    EXPECT_EQ(seen.device, first.device);
    EXPECT_EQ(seen.facts.right, first.right);
  }
  EXPECT_EQ(without_configuration.displays[0].id, first.id);
  EXPECT_EQ(without_configuration.displays[0].facts.name,
            "Generic Non-PnP Monitor");  // Wine's DeviceString
  EXPECT_EQ(without_devices.displays[0].id, first.device);
  EXPECT_EQ(without_devices.displays[0].facts.name, first.device);
}

}  // namespace
