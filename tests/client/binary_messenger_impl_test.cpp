#include "client/binary_messenger_impl.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/client/testbed_fixture.h"

namespace flutter {
namespace testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char kChannel[] = "veskaro/test";

class BinaryMessengerImplTest : public MessengerTest {
 protected:
  // Registers a handler that keeps every reply it is given.
  void KeepReplies() {
    messenger->SetMessageHandler(kChannel, [this](const uint8_t*, size_t, ReplyCallback reply) {
      replies.push_back(std::move(reply));
    });
  }

  int32_t Deliver() {
    const uint8_t bytes[] = {1, 2, 3};
    return TestbedDeliverMessage(kChannel, bytes, sizeof(bytes));
  }

  std::vector<ReplyCallback> replies;
};

// Even on a channel that never had a handler, an empty one clears the engine's callback.
TEST_F(BinaryMessengerImplTest, EmptyHandlerClearsEngineCallbackAndReleasesTheHandler) {
  ClearJournal();
  messenger->SetMessageHandler(kChannel, nullptr);
  EXPECT_THAT(Journal(), ElementsAre("SetCallback"));
  auto token = std::make_shared<int>(0);
  messenger->SetMessageHandler(kChannel, [token](const uint8_t*, size_t, ReplyCallback) {});
  messenger->SetMessageHandler(kChannel, nullptr);
  EXPECT_EQ(token.use_count(), 1);
  EXPECT_EQ(Deliver(), -1);
}

// A replaced handler is released at once and the engine keeps the same context, however
// other channels come and go; the messenger's end releases the rest without engine calls.
TEST_F(BinaryMessengerImplTest, ReplacedHandlerKeepsItsContextAndEveryHandlerIsReleased) {
  auto first = std::make_shared<int>(0), second = std::make_shared<int>(0);
  int calls = 0;
  messenger->SetMessageHandler(kChannel, [first](const uint8_t*, size_t, ReplyCallback) {});
  void* context = TestbedChannelUserData(kChannel);
  for (const char* other : {"a", "b", "c"}) {
    messenger->SetMessageHandler(other, [](const uint8_t*, size_t, ReplyCallback) {});
  }
  messenger->SetMessageHandler("b", nullptr);
  messenger->SetMessageHandler(
      kChannel, [second, &calls](const uint8_t*, size_t, ReplyCallback) { ++calls; });
  EXPECT_EQ(first.use_count(), 1);
  EXPECT_EQ(TestbedChannelUserData(kChannel), context);
  Deliver();
  EXPECT_EQ(calls, 1);

  ClearJournal();
  messenger.reset();
  EXPECT_EQ(second.use_count(), 1);
  EXPECT_THAT(Journal(), IsEmpty());
}

// Sent under the lock, once; the reply holds a reference on the messenger until it goes.
TEST_F(BinaryMessengerImplTest, ReplyIsSentOnceUnderLockAndReleasesReference) {
  KeepReplies();
  ClearJournal();
  const int32_t ticket = Deliver();
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(TestbedMessengerReferences(), 2);
  const uint8_t first[] = {0, 42}, second[] = {1};
  replies[0](first, sizeof(first));
  ::testing::internal::CaptureStderr();
  replies[0](second, sizeof(second));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Error: Response can be set only once. Ignoring duplicate response.\n");
  EXPECT_EQ(ResponseBytes(ticket), std::vector<uint8_t>({0, 42}));
  EXPECT_EQ(TestbedDuplicateResponseCount(), 0);
  replies.clear();
  EXPECT_EQ(TestbedMessengerReferences(), 1);
  EXPECT_THAT(Journal(), ElementsAre("AddRef", "Lock", "IsAvailable", "SendResponse", "Unlock",
                                     "Lock", "IsAvailable", "Unlock", "Release"));
}

// Without a lock token the reply is still sent, with no unlock; once the engine is gone a reply
// is dropped silently, and the lock is still released.
TEST_F(BinaryMessengerImplTest, ReplyFollowsTheLockTokenAndTheEnginesAvailability) {
  KeepReplies();
  const int32_t sent = Deliver(), dropped = Deliver();
  ClearJournal();
  TestbedSetLockReturnsNull(1);
  replies[0](nullptr, 0);
  TestbedSetLockReturnsNull(0);
  TestbedMarkEngineGone();
  ::testing::internal::CaptureStderr();
  replies[1](nullptr, 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(TestbedResponse(sent), kTestbedResponseEmpty);
  EXPECT_EQ(TestbedResponse(dropped), kTestbedResponsePending);
  EXPECT_THAT(Journal(), ElementsAre("Lock", "IsAvailable", "SendResponse(unlocked)", "Lock",
                                     "IsAvailable", "Unlock"));
}

}  // namespace
}  // namespace testing
}  // namespace flutter
