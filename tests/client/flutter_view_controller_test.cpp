#include "client/flutter_view_controller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "client/engine_project.h"
#include "client/flutter_engine.h"
#include "tests/client/testbed_fixture.h"

namespace flutter {
namespace testing {
namespace {

constexpr char kFailedController[] = "Failed to create view controller.\n";
constexpr char kNotRunning[] =
    "Cannot get plugin registrar on an engine that isn't running; call Run first.\n";

class FlutterEngineTest : public TestbedTest {};

// No arguments pass a null array; arguments pass in order.
TEST_F(FlutterEngineTest, Properties) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{}, {"--first", "with space \xC3\xA9"}}) {
    TestbedReset();
    EngineProject project(L"data");
    project.SetEntrypointArguments(arguments);
    FlutterEngine engine(project);
    EXPECT_STREQ(TestbedEngineAssetsPath(), L"data\\flutter_assets");
    EXPECT_STREQ(TestbedEngineIcuDataPath(), L"data\\icudtl.dat");
    EXPECT_STREQ(TestbedEngineAppLibraryPath(), L"data\\app.so");
    ASSERT_NE(TestbedEngineEntrypoint(), nullptr);
    EXPECT_STREQ(TestbedEngineEntrypoint(), "");
    EXPECT_EQ(TestbedEngineArgumentArrayWasNull(), arguments.empty() ? 1 : 0);
    ASSERT_EQ(TestbedEngineArgumentCount(), static_cast<int32_t>(arguments.size()));
    for (int32_t i = 0; i < TestbedEngineArgumentCount(); ++i) {
      EXPECT_EQ(TestbedEngineArgument(i), arguments[i]);
    }
  }
}

// An owned engine dies with its wrapper; a handed-over one does not.
TEST_F(FlutterEngineTest, DestroysOnlyAnEngineItStillOwns) {
  for (bool hand_over : {false, true}) {
    TestbedReset();
    FlutterDesktopEngineRef handle = nullptr;
    {
      FlutterEngine engine(EngineProject(L"data"));
      EXPECT_EQ(TestbedLiveEngineCount(), 1);
      if (hand_over) handle = engine.TakeEngineHandle();
    }
    EXPECT_EQ(TestbedEngineDestroyCallCount(), hand_over ? 0 : 1);
    EXPECT_EQ(TestbedLiveEngineCount(), hand_over ? 1 : 0);
    if (hand_over) {
      EXPECT_TRUE(FlutterDesktopEngineDestroy(handle));
    } else {
      EXPECT_EQ(TestbedLiveMessengerCount(), 0);
    }
  }
}

TEST_F(FlutterEngineTest, NextFrameCallbackReplacedRunOnceAndRearmable) {
  FlutterViewController controller(100, 50, EngineProject(L"data"));
  FlutterEngine* engine = controller.GetEngine();
  auto first_alive = std::make_shared<int>(0);
  std::weak_ptr<int> first_watch = first_alive;
  int first_runs = 0;
  int second_runs = 0;
  engine->SetNextFrameCallback([&first_runs, keep = std::move(first_alive)] { ++first_runs; });
  engine->SetNextFrameCallback([&second_runs] { ++second_runs; });
  EXPECT_TRUE(first_watch.expired());

  EXPECT_EQ(TestbedRunPendingFrame(), 0);  // nothing drawn without a redraw request
  controller.ForceRedraw();
  EXPECT_EQ(TestbedRunPendingFrame(), 1);
  controller.ForceRedraw();
  EXPECT_EQ(TestbedRunPendingFrame(), 1);
  EXPECT_EQ(first_runs, 0);
  EXPECT_EQ(second_runs, 1);
  EXPECT_EQ(TestbedFramesDrawn(), 2);
}

class FlutterViewControllerTest : public TestbedTest {};

// Top-level messages are consumed only when the engine says so.
TEST_F(FlutterViewControllerTest, CreatedControllerOwnsViewAndEngine) {
  TestbedConsumeWindowMessage(0x0201, 7);
  {
    FlutterViewController controller(680, 460, EngineProject(L"data"));
    EXPECT_EQ(controller.HandleTopLevelWindowProc(nullptr, 0x0201, 1, 2),
              std::optional<LRESULT>(7));
    EXPECT_FALSE(controller.HandleTopLevelWindowProc(nullptr, 0x001D, 0, 0).has_value());
    EXPECT_EQ(TestbedSeenWindowMessage(1), 0x001Du);
    ASSERT_NE(controller.GetView(), nullptr);
    ASSERT_NE(controller.GetEngine(), nullptr);
    EXPECT_NE(controller.GetEngine()->GetMessenger(), nullptr);
    EXPECT_EQ(TestbedViewWidth(), 680);
    EXPECT_EQ(TestbedViewHeight(), 460);
#if defined(_WIN32)
    HWND view = controller.GetView()->GetHWND();
    ASSERT_NE(view, nullptr);
    RECT client;
    GetClientRect(view, &client);
    EXPECT_EQ(client.right - client.left, 680);
    EXPECT_EQ(client.bottom - client.top, 460);
#endif
  }
  EXPECT_EQ(TestbedViewControllerDestroyCount(), 1);
  EXPECT_EQ(TestbedEngineDestroyCallCount(), 0);  // the controller took the engine with it
  EXPECT_EQ(TestbedLiveEngineCount(), 0);
  EXPECT_EQ(TestbedLiveMessengerCount(), 0);
}

TEST_F(FlutterViewControllerTest, FailedCreationLeavesNoViewAndCallsNothingForController) {
  TestbedSetViewControllerCreationFails(1);
  ::testing::internal::CaptureStderr();
  {
    FlutterViewController controller(680, 460, EngineProject(L"data"));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), kFailedController);
    EXPECT_EQ(controller.GetView(), nullptr);
    ASSERT_NE(controller.GetEngine(), nullptr);

    // Nothing may reach the engine through the handle it took away.
    controller.ForceRedraw();
    EXPECT_FALSE(controller.HandleTopLevelWindowProc(nullptr, 0x0010, 0, 0).has_value());
    controller.GetEngine()->ReloadSystemFonts();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(controller.GetEngine()->GetPluginRegistrar("SystemTrayPlugin"), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), kNotRunning);
  }
  EXPECT_EQ(TestbedViewControllerDestroyCount(), 0);
  EXPECT_EQ(TestbedEngineDestroyCallCount(), 0);
  EXPECT_EQ(TestbedForceRedrawCount(), 0);
  EXPECT_EQ(TestbedSeenWindowMessageCount(), 0);
  EXPECT_EQ(TestbedFontReloadCount(), 0);
  EXPECT_EQ(TestbedRegistrarRequestCount(), 0);
}

}  // namespace
}  // namespace testing
}  // namespace flutter
