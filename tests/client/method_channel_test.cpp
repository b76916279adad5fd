#include "client/method_channel.h"

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

constexpr char kChannel[] = "veskaro/gamma";
const std::vector<uint8_t> kClear = {0x07, 0x05, 'c', 'l', 'e', 'a', 'r', 0x00};

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
  int handled = 0;
};

TEST_F(MethodChannelTest, UndecodableMessageIsAnsweredNotImplementedWithoutHandler) {
  channel->SetMethodCallHandler(
      [this](const MethodCall&, std::unique_ptr<MethodResult>) { ++handled; });
  ::testing::internal::CaptureStderr();
  const int32_t ticket = Deliver({0x03, 0x01, 0x00, 0x00, 0x00});  // no name
  EXPECT_THAT(::testing::internal::GetCapturedStderr(),
              ::testing::EndsWith("Unable to construct method call from message on "
                                  "channel veskaro/gamma\n"));
  EXPECT_EQ(TestbedResponse(ticket), kTestbedResponseEmpty);
  EXPECT_EQ(handled, 0);
}

// The handler stays registered with the messenger after the channel object goes, until an
// empty handler replaces it. Only the first answer is sent; later ones only report.
TEST_F(MethodChannelTest, RegistrationOutlivesChannelObjectUntilEmptyHandler) {
  channel->SetMethodCallHandler([this](const MethodCall& call, std::unique_ptr<MethodResult> r) {
    ++handled;
    EXPECT_EQ(call.MethodName(), "clear");
    r->Error("bad_args", "");
    r->Success();
    r->NotImplemented();
  });
  channel.reset();
  ::testing::internal::CaptureStderr();
  const int32_t ticket = Deliver(kClear);
  const std::string duplicate =
      "Error: Only one of Success, Error, or NotImplemented can be called, and it can be called "
      "exactly once. Ignoring duplicate result.\n";
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), duplicate + duplicate);
  EXPECT_EQ(handled, 1);
  EXPECT_EQ(ResponseBytes(ticket), std::vector<uint8_t>({0x01, 0x07, 0x08, 'b', 'a', 'd', '_', 'a',
                                                         'r', 'g', 's', 0x00, 0x00}));
  MethodChannel(messenger.get(), kChannel, &StandardMethodCodec::GetInstance())
      .SetMethodCallHandler(nullptr);
  EXPECT_EQ(Deliver(kClear), -1);
}

TEST_F(MethodChannelTest, DroppedResultWarnsAndReleasesTheReply) {
  channel->SetMethodCallHandler([](const MethodCall&, std::unique_ptr<MethodResult>) {});
  ::testing::internal::CaptureStderr();
  const int32_t ticket = Deliver(kClear);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Warning: Failed to respond to a message. This is a memory leak.\n");
  EXPECT_EQ(TestbedResponse(ticket), kTestbedResponsePending);
  EXPECT_EQ(TestbedMessengerReferences(), 1);
}

}  // namespace
}  // namespace testing
}  // namespace flutter
