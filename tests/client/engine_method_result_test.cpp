#include "client/engine_method_result.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "client/binary_messenger_impl.h"
#include "codec/standard_method_codec.h"
#include "tests/client/testbed_fixture.h"

namespace flutter {
namespace testing {
namespace {

constexpr char kDuplicateResult[] =
    "Error: Only one of Success, Error, or NotImplemented can be called, and it can be called "
    "exactly once. Ignoring duplicate result.\n";

// What reached the reply: one entry per call, with whether the pointer was null.
struct SentReply {
  bool null_bytes;
  std::vector<uint8_t> bytes;
};

ReplyCallback Recorder(std::vector<SentReply>* sent) {
  return [sent](const uint8_t* data, size_t size) {
    sent->push_back({data == nullptr, data == nullptr ? std::vector<uint8_t>()
                                                      : std::vector<uint8_t>(data, data + size)});
  };
}

const MethodCodec* Standard() { return &StandardMethodCodec::GetInstance(); }

// The first answer is sent (not implemented as no bytes at all); any later one only reports.
TEST(EngineMethodResultTest, OnlyTheFirstAnswerIsSent) {
  std::vector<SentReply> sent;
  EngineMethodResult result(Recorder(&sent), Standard());
  result.NotImplemented();
  ::testing::internal::CaptureStderr();
  result.Error("late", "again");
  result.Success();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            std::string(kDuplicateResult) + kDuplicateResult);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(sent[0].null_bytes);
  EXPECT_TRUE(sent[0].bytes.empty());
}

class EngineMethodResultEngineTest : public MessengerTest {};

TEST_F(EngineMethodResultEngineTest, AnswerAfterEngineGoneCountsAsSent) {
  std::unique_ptr<MethodResult> kept;
  messenger->SetMessageHandler("c", [&](const uint8_t*, size_t, ReplyCallback reply) {
    kept = std::make_unique<EngineMethodResult>(std::move(reply), Standard());
  });
  int32_t ticket = TestbedDeliverMessage("c", nullptr, 0);
  ASSERT_TRUE(kept);
  TestbedMarkEngineGone();

  ::testing::internal::CaptureStderr();
  kept->Success();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  ::testing::internal::CaptureStderr();
  kept->Success();
  kept.reset();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), kDuplicateResult);
  EXPECT_EQ(TestbedResponse(ticket), kTestbedResponsePending);
}

}  // namespace
}  // namespace testing
}  // namespace flutter
