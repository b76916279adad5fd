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
constexpr char kDuplicateResponse[] =
    "Error: Response can be set only once. Ignoring duplicate response.\n";

class BinaryMessengerImplTest : public MessengerTest {
 protected:
  // Registers a handler that keeps every reply it is given.
  void KeepReplies() {
    messenger->SetMessageHandler(kChannel, [this](const uint8_t*, size_t, ReplyCallback reply) {
      replies.push_back(std::move(reply));
    });
  }

  int32_t Deliver(std::vector<uint8_t> bytes = {1, 2, 3}) {
    return TestbedDeliverMessage(kChannel, bytes.data(), bytes.size());
  }

  std::vector<ReplyCallback> replies;
};

// Even on a channel that never had a handler, the engine's callback is cleared.
TEST_F(BinaryMessengerImplTest, EmptyHandlerClearsEngineCallbackAndStopsDelivery) {
  ClearJournal();
  messenger->SetMessageHandler(kChannel, nullptr);
  EXPECT_THAT(Journal(), ElementsAre("SetCallback"));
  KeepReplies();
  messenger->SetMessageHandler(kChannel, nullptr);
  EXPECT_EQ(TestbedHasChannelCallback(kChannel), 0);
  EXPECT_EQ(Deliver(), -1);
  EXPECT_THAT(replies, IsEmpty());
}

TEST_F(BinaryMessengerImplTest, ReplacingHandlerKeepsOneEntryAtSameAddress) {
  auto first_alive = std::make_shared<int>(0);
  std::weak_ptr<int> first_watch = first_alive;
  int first_calls = 0;
  int second_calls = 0;
  messenger->SetMessageHandler(
      kChannel, [&first_calls, keep = std::move(first_alive)](const uint8_t*, size_t,
                                                              ReplyCallback) { ++first_calls; });
  void* first_context = TestbedChannelUserData(kChannel);
  ASSERT_NE(first_context, nullptr);

  // Other channels coming and going must not move the stored handler.
  for (int i = 0; i < 50; ++i) {
    messenger->SetMessageHandler("other/" + std::to_string(i),
                                 [](const uint8_t*, size_t, ReplyCallback) {});
  }
  for (int i = 0; i < 50; i += 2) {
    messenger->SetMessageHandler("other/" + std::to_string(i), nullptr);
  }
  messenger->SetMessageHandler(
      kChannel, [&second_calls](const uint8_t*, size_t, ReplyCallback) { ++second_calls; });

  EXPECT_TRUE(first_watch.expired());
  EXPECT_EQ(TestbedChannelUserData(kChannel), first_context);
  Deliver();
  EXPECT_EQ(first_calls, 0);
  EXPECT_EQ(second_calls, 1);
}

TEST_F(BinaryMessengerImplTest, ReplyIsSentUnderLockAndReleasesReference) {
  KeepReplies();
  ClearJournal();
  int32_t ticket = Deliver();
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(TestbedMessengerReferences(), 2);

  const uint8_t answer[] = {0, 42};
  replies[0](answer, sizeof(answer));
  EXPECT_EQ(ResponseBytes(ticket), std::vector<uint8_t>({0, 42}));
  replies.clear();

  EXPECT_EQ(TestbedMessengerReferences(), 1);
  EXPECT_THAT(Journal(),
              ElementsAre("AddRef", "Lock", "IsAvailable", "SendResponse", "Unlock", "Release"));
}

TEST_F(BinaryMessengerImplTest, SecondReplyIsRefusedWithOneLine) {
  KeepReplies();
  int32_t ticket = Deliver();
  const uint8_t first[] = {1};
  const uint8_t second[] = {2};
  replies[0](first, 1);
  ::testing::internal::CaptureStderr();
  replies[0](second, 1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), kDuplicateResponse);
  EXPECT_EQ(ResponseBytes(ticket), std::vector<uint8_t>({1}));
  EXPECT_EQ(TestbedDuplicateResponseCount(), 0);
}

TEST_F(BinaryMessengerImplTest, ReplyAfterEngineGoneIsDroppedSilentlyAndUnlocks) {
  KeepReplies();
  int32_t ticket = Deliver();
  TestbedMarkEngineGone();
  ClearJournal();
  ::testing::internal::CaptureStderr();
  replies[0](nullptr, 0);
  replies[0](nullptr, 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(TestbedResponse(ticket), kTestbedResponsePending);
  EXPECT_THAT(Journal(),
              ElementsAre("Lock", "IsAvailable", "Unlock", "Lock", "IsAvailable", "Unlock"));
}

TEST_F(BinaryMessengerImplTest, PendingReplyKeepsMessengerAliveAfterEngineDestroyed) {
  KeepReplies();
  Deliver();
  ASSERT_TRUE(FlutterDesktopEngineDestroy(engine));
  EXPECT_EQ(TestbedLiveMessengerCount(), 1);
  ::testing::internal::CaptureStderr();
  replies[0](nullptr, 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  replies.clear();
  EXPECT_EQ(TestbedLiveMessengerCount(), 0);
  messenger.reset();  // makes no call on the dead handle
}

TEST_F(BinaryMessengerImplTest, NullLockTokenSkipsUnlockButStillSends) {
  KeepReplies();
  int32_t ticket = Deliver();
  TestbedSetLockReturnsNull(1);
  ClearJournal();
  replies[0](nullptr, 0);
  EXPECT_EQ(TestbedResponse(ticket), kTestbedResponseEmpty);
  EXPECT_THAT(Journal(), ElementsAre("Lock", "IsAvailable", "SendResponse(unlocked)"));
}

TEST_F(BinaryMessengerImplTest, SendWithoutReplyMakesPlainSend) {
  ClearJournal();
  const uint8_t bytes[] = {5, 6};
  messenger->Send("out", bytes, sizeof(bytes));
  EXPECT_THAT(Journal(), ElementsAre("Send"));
  ASSERT_EQ(TestbedSentMessageCount(), 1);
  EXPECT_STREQ(TestbedSentMessageChannel(0), "out");
}

TEST_F(BinaryMessengerImplTest, SendWithReplyDeliversOnceAndFreesHolder) {
  auto token = std::make_shared<int>(0);
  std::vector<uint8_t> answer;
  int calls = 0;
  messenger->Send("out", nullptr, 0, [&, token](const uint8_t* data, size_t size) {
    ++calls;
    answer.assign(data, data + size);
  });
  EXPECT_EQ(token.use_count(), 2);
  const uint8_t reply[] = {9};
  ASSERT_EQ(TestbedAnswerPendingSend(reply, 1), 1);
  EXPECT_EQ(calls, 1);
  EXPECT_THAT(answer, ElementsAre(9));
  EXPECT_EQ(token.use_count(), 1);
}

TEST_F(BinaryMessengerImplTest, RefusedSendFreesHolderWithoutCallingReply) {
  TestbedSetSendWithReplyRefuses(1);
  auto token = std::make_shared<int>(0);
  int calls = 0;
  ::testing::internal::CaptureStderr();
  messenger->Send("out", nullptr, 0, [&calls, token](const uint8_t*, size_t) { ++calls; });
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(token.use_count(), 1);
  EXPECT_EQ(calls, 0);
}

TEST_F(BinaryMessengerImplTest, DestructionDropsHandlersWithoutEngineCalls) {
  auto alive = std::make_shared<int>(0);
  std::weak_ptr<int> watch = alive;
  messenger->SetMessageHandler(kChannel,
                               [keep = std::move(alive)](const uint8_t*, size_t, ReplyCallback) {});
  ClearJournal();
  messenger.reset();
  EXPECT_TRUE(watch.expired());
  EXPECT_THAT(Journal(), IsEmpty());
}

}  // namespace
}  // namespace testing
}  // namespace flutter
