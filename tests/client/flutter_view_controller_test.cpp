#include "client/flutter_view_controller.h"

#include <gtest/gtest.h>

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

class FlutterEngineTest : public TestbedTest {};

// No arguments pass a null array; arguments pass in order. An engine the wrapper still owns
// dies with it (the view controller tests hand one over).
TEST_F(FlutterEngineTest, PropertiesAndDestruction) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{}, {"--first", "with space \xC3\xA9"}}) {
    TestbedReset();
    {
      EngineProject project(L"data");
      project.SetEntrypointArguments(arguments);
      FlutterEngine engine(project);
      EXPECT_STREQ(TestbedEngineAssetsPath(), L"data\\flutter_assets");
      EXPECT_STREQ(TestbedEngineIcuDataPath(), L"data\\icudtl.dat");
      EXPECT_STREQ(TestbedEngineAppLibraryPath(), L"data\\app.so");
      EXPECT_STREQ(TestbedEngineEntrypoint(), "");
      EXPECT_EQ(TestbedEngineArgumentArrayWasNull(), arguments.empty() ? 1 : 0);
      ASSERT_EQ(TestbedEngineArgumentCount(), static_cast<int32_t>(arguments.size()));
      for (int32_t i = 0; i < TestbedEngineArgumentCount(); ++i) {
        EXPECT_EQ(TestbedEngineArgument(i), arguments[i]);
      }
    }
    EXPECT_EQ(TestbedEngineDestroyCallCount(), 1);
    EXPECT_EQ(TestbedLiveEngineCount(), 0);
    EXPECT_EQ(TestbedLiveMessengerCount(), 0);
  }
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
  }
  EXPECT_EQ(TestbedViewControllerDestroyCount(), 1);
  EXPECT_EQ(TestbedEngineDestroyCallCount(), 0);  // the controller took the engine with it
  EXPECT_EQ(TestbedLiveEngineCount(), 0);
  EXPECT_EQ(TestbedLiveMessengerCount(), 0);
}

// The engine went to the embedder with the failed creation: nothing destroys it again.
TEST_F(FlutterViewControllerTest, FailedCreationLeavesNoViewAndDestroysNothing) {
  TestbedSetViewControllerCreationFails(1);
  ::testing::internal::CaptureStderr();
  {
    FlutterViewController controller(680, 460, EngineProject(L"data"));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), kFailedController);
    EXPECT_EQ(controller.GetView(), nullptr);
    ASSERT_NE(controller.GetEngine(), nullptr);
  }
  EXPECT_EQ(TestbedViewControllerDestroyCount(), 0);
  EXPECT_EQ(TestbedEngineDestroyCallCount(), 0);
}

}  // namespace
}  // namespace testing
}  // namespace flutter
