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
