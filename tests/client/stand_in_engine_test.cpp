// The stand-in engine's own promise that the messenger tests rely on.
#include <gtest/gtest.h>

#include "client/binary_messenger_impl.h"
#include "tests/client/testbed_fixture.h"

namespace flutter {
namespace testing {
namespace {

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
