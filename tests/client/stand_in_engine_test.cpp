// The stand-in engine's own promises that other tests and tools rely on.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "client/binary_messenger_impl.h"
#include "client/engine_project.h"
#include "client/flutter_view_controller.h"
#include "tests/client/testbed_fixture.h"

namespace flutter {
namespace testing {
namespace {

class StandInEngineTest : public TestbedTest {};

#if defined(_WIN32)
// Runs the thread's message loop for a while, as the host's loop would.
void PumpMessages(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  MSG message;
  while (GetTickCount() - start < milliseconds) {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(5);
  }
}

TEST_F(StandInEngineTest, ForcedFrameFiresCallbackFromMessageLoopOnce) {
  FlutterViewController controller(200, 100, EngineProject(L"data"));
  ASSERT_NE(controller.GetView(), nullptr);
  int runs = 0;
  controller.GetEngine()->SetNextFrameCallback([&runs] { ++runs; });
  controller.ForceRedraw();
  EXPECT_EQ(runs, 0);  // not from inside ForceRedraw
  PumpMessages(200);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(TestbedFramesDrawn(), 1);
  controller.ForceRedraw();
  PumpMessages(100);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(TestbedFramesDrawn(), 2);
}
#endif

TEST_F(StandInEngineTest, DpiIsTheMonitorsUnlessOverridden) {
  const UINT own = FlutterDesktopGetDpiForMonitor(nullptr);
  EXPECT_GE(own, 96u);
  TestbedOverrideDpi(144);
  EXPECT_EQ(FlutterDesktopGetDpiForMonitor(nullptr), 144u);
  TestbedOverrideDpi(0);
  EXPECT_EQ(FlutterDesktopGetDpiForMonitor(nullptr), own);
}

TEST_F(StandInEngineTest, PluginRegistrationsNameTheirRegistrars) {
  FlutterViewController controller(10, 10, EngineProject(L"data"));
  FlutterDesktopPluginRegistrarRef tray =
      controller.GetEngine()->GetPluginRegistrar("SystemTrayPlugin");
  TestbedNotePluginRegistration(tray, "SystemTrayPluginRegisterWithRegistrar");
  TestbedNotePluginRegistration(nullptr, "WindowManagerPluginRegisterWithRegistrar");
  ASSERT_EQ(TestbedPluginRegistrationCount(), 2);
  EXPECT_STREQ(TestbedPluginRegistrationFunction(0), "SystemTrayPluginRegisterWithRegistrar");
  EXPECT_STREQ(TestbedPluginRegistrationPluginName(0), "SystemTrayPlugin");
  EXPECT_STREQ(TestbedPluginRegistrationFunction(1), "WindowManagerPluginRegisterWithRegistrar");
  EXPECT_STREQ(TestbedPluginRegistrationPluginName(1), "");
  EXPECT_EQ(TestbedPluginRegistrationFunction(2), nullptr);
}

class StandInMessengerTest : public MessengerTest {};

TEST_F(StandInMessengerTest, EngineGoingAwayAnswersWaitingSendsEmpty) {
  int calls = 0;
  size_t size = 99;
  messenger->Send("out", nullptr, 0, [&](const uint8_t*, size_t reply_size) {
    ++calls;
    size = reply_size;
  });
  ASSERT_EQ(TestbedPendingSendCount(), 1);
  FlutterDesktopEngineDestroy(engine);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(TestbedAnswerPendingSend(nullptr, 0), 0);
}

}  // namespace
}  // namespace testing
}  // namespace flutter
