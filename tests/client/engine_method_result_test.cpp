#include "client/engine_method_result.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "codec/standard_method_codec.h"

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

}  // namespace
}  // namespace testing
}  // namespace flutter
