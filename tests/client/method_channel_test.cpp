#include "client/method_channel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "client/binary_messenger_impl.h"
#include "codec/standard_method_codec.h"
#include "tests/client/testbed_fixture.h"
#include "tests/codec/hex.h"

namespace flutter {
namespace testing {
namespace {

constexpr char kChannel[] = "veskaro/gamma";

// "set" with {"ramp": 1536 bytes}, as the user interface sends it.
std::vector<uint8_t> SetMessage() {
  return codec_test::Concat(codec_test::Hex("07 03 736574 0D 01 07 04 72616D70 08 FE0006"),
                            codec_test::Ramp());
}

class MethodChannelTest : public MessengerTest {
 protected:
  void SetUp() override {
    MessengerTest::SetUp();
    channel = std::make_unique<MethodChannel>(messenger.get(), kChannel,
                                              &StandardMethodCodec::GetInstance());
  }

  int32_t Deliver(const std::vector<uint8_t>& bytes) {
    return TestbedDeliverMessage(kChannel, bytes.data(), bytes.size());
  }

  std::unique_ptr<MethodChannel> channel;
};

TEST_F(MethodChannelTest, SetCallReachesHandlerAndSuccessIsReplied) {
  std::string method;
  size_t ramp_size = 0;
  channel->SetMethodCallHandler([&](const MethodCall& call, std::unique_ptr<MethodResult> result) {
    method = call.MethodName();
    const auto& map = std::get<EncodableMap>(*call.Arguments());
    ramp_size = std::get<std::vector<uint8_t>>(map.at(EncodableValue("ramp"))).size();
    result->Success();
  });
  int32_t ticket = Deliver(SetMessage());
  EXPECT_EQ(method, "set");
  EXPECT_EQ(ramp_size, 1536u);
  EXPECT_EQ(ResponseBytes(ticket), std::vector<uint8_t>({0x00, 0x00}));
}

TEST_F(MethodChannelTest, UndecodableMessageIsAnsweredNotImplementedWithoutHandler) {
  const std::vector<std::vector<uint8_t>> messages = {
      {0x03, 0x01, 0x00, 0x00, 0x00},  // an integer where the name belongs
      {},                              // nothing at all
  };
  int handled = 0;
  channel->SetMethodCallHandler(
      [&handled](const MethodCall&, std::unique_ptr<MethodResult> result) {
        ++handled;
        result->Success();
      });
  for (const auto& message : messages) {
    ::testing::internal::CaptureStderr();
    int32_t ticket = Deliver(message);
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_THAT(log, ::testing::EndsWith("Unable to construct method call from message on "
                                         "channel veskaro/gamma\n"));
    EXPECT_EQ(TestbedResponse(ticket), kTestbedResponseEmpty);
  }
  EXPECT_EQ(handled, 0);
}

TEST_F(MethodChannelTest, RegistrationOutlivesChannelObject) {
  int handled = 0;
  channel->SetMethodCallHandler(
      [&handled](const MethodCall&, std::unique_ptr<MethodResult> result) {
        ++handled;
        result->NotImplemented();
      });
  channel.reset();
  int32_t ticket = Deliver(SetMessage());
  EXPECT_EQ(handled, 1);
  EXPECT_EQ(TestbedResponse(ticket), kTestbedResponseEmpty);
}

TEST_F(MethodChannelTest, SecondHandlerReplacesFirstAndEmptyOneUnregisters) {
  auto alive = std::make_shared<int>(0);
  std::weak_ptr<int> watch = alive;
  int first = 0;
  int second = 0;
  channel->SetMethodCallHandler(
      [&first, keep = std::move(alive)](const MethodCall&, std::unique_ptr<MethodResult> r) {
        ++first;
        r->Success();
      });
  channel->SetMethodCallHandler([&second](const MethodCall&, std::unique_ptr<MethodResult> r) {
    ++second;
    r->Success();
  });
  EXPECT_TRUE(watch.expired());
  Deliver(SetMessage());
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 1);

  // An empty handler unregisters.
  channel->SetMethodCallHandler(nullptr);
  EXPECT_EQ(Deliver(SetMessage()), -1);
}

TEST_F(MethodChannelTest, DroppedResultWarnsAndLeavesSenderUnanswered) {
  channel->SetMethodCallHandler([](const MethodCall&, std::unique_ptr<MethodResult>) {});
  ::testing::internal::CaptureStderr();
  int32_t ticket = Deliver(SetMessage());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Warning: Failed to respond to a message. This is a memory leak.\n");
  EXPECT_EQ(TestbedResponse(ticket), kTestbedResponsePending);
  EXPECT_EQ(TestbedMessengerReferences(), 1);
}

TEST_F(MethodChannelTest, KeptResultMayAnswerLater) {
  std::unique_ptr<MethodResult> kept;
  channel->SetMethodCallHandler([&kept](const MethodCall&, std::unique_ptr<MethodResult> result) {
    kept = std::move(result);
  });
  int32_t ticket = Deliver(SetMessage());
  EXPECT_EQ(TestbedResponse(ticket), kTestbedResponsePending);
  kept->Error("bad_args", "");
  EXPECT_EQ(ResponseBytes(ticket), std::vector<uint8_t>({0x01, 0x07, 0x08, 'b', 'a', 'd', '_', 'a',
                                                         'r', 'g', 's', 0x00, 0x00}));
}

}  // namespace
}  // namespace testing
}  // namespace flutter
