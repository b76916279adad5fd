#include "client/engine_method_result.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
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
constexpr char kNeverAnswered[] =
    "Warning: Failed to respond to a message. This is a memory leak.\n";

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

TEST(EngineMethodResultTest, EachAnswerSendsItsEncoding) {
  struct Case {
    const char* name;
    std::function<void(MethodResult&)> answer;
    bool null_bytes;
    std::vector<uint8_t> bytes;
  };
  const std::vector<Case> cases = {
      {"success with int",
       [](MethodResult& r) { r.Success(EncodableValue(int32_t{5})); },
       false,
       {0x00, 0x03, 0x05, 0x00, 0x00, 0x00}},
      {"error with details",
       [](MethodResult& r) { r.Error("e", "m", EncodableValue(true)); },
       false,
       {0x01, 0x07, 0x01, 'e', 0x07, 0x01, 'm', 0x01}},
      {"not implemented", [](MethodResult& r) { r.NotImplemented(); }, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<SentReply> sent;
    EngineMethodResult result(Recorder(&sent), Standard());
    c.answer(result);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].null_bytes, c.null_bytes);
    EXPECT_EQ(sent[0].bytes, c.bytes);
  }
}

TEST(EngineMethodResultTest, SecondAnswerIsNotSent) {
  std::vector<SentReply> sent;
  EngineMethodResult result(Recorder(&sent), Standard());
  result.Success();
  ::testing::internal::CaptureStderr();
  result.Error("late", "again");
  result.NotImplemented();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            std::string(kDuplicateResult) + kDuplicateResult);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].bytes, std::vector<uint8_t>({0, 0}));
}

TEST(EngineMethodResultTest, UnansweredResultWarnsOnceAndSendsNothing) {
  std::vector<SentReply> sent;
  ::testing::internal::CaptureStderr();
  { EngineMethodResult result(Recorder(&sent), Standard()); }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), kNeverAnswered);
  EXPECT_TRUE(sent.empty());
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
