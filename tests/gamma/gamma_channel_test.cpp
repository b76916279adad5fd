#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "codec/standard_method_codec.h"
#include "gamma/gamma_guard.h"
#include "tests/client/testbed_fixture.h"
#include "tests/gamma/fake_gamma_platform.h"
#include "tests/gamma/scoped_log_directory.h"

namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using Bytes = std::vector<uint8_t>;
using Strings = std::vector<std::string>;

const flutter::StandardMethodCodec& Codec() { return flutter::StandardMethodCodec::GetInstance(); }
Bytes Success() { return *Codec().EncodeSuccessEnvelope(); }
Bytes BadArgs() { return *Codec().EncodeErrorEnvelope("bad_args", "ramp must be 1536 bytes"); }
const Bytes kNotImplemented = {};

// The guard registered on "veskaro/gamma" of a stand-in engine: calls reach it through the real
// messenger, channel and codec, and its answers come back as reply bytes.
class GammaChannelTest : public flutter::testing::MessengerTest {
 protected:
  void SetUp() override {
    MessengerTest::SetUp();
    guard.Init(messenger.get(), reinterpret_cast<void*>(0x77));
  }

  Bytes Call(const std::string& method, const EncodableValue& arguments) {
    const auto message = Codec().EncodeMethodCall(
        flutter::MethodCall(method, std::make_unique<EncodableValue>(arguments)));
    const int32_t ticket = TestbedDeliverMessage("veskaro/gamma", message->data(), message->size());
    EXPECT_NE(TestbedResponse(ticket), kTestbedResponsePending) << method;
    return ResponseBytes(ticket);
  }

  // Armed with the warm ramp, which the screen then carries; calls and lines forgotten.
  void ArmWarm() {
    ASSERT_EQ(Call("set", EncodableMap{{"ramp", RampBytes(WarmRamp())}}), Success());
    screen.calls.clear();
    std::filesystem::remove(log.LogFile());
  }

  ScopedLogDirectory log;
  FakeGammaPlatform screen;
  GammaGuard guard{screen};
};

// Other keys are ignored; success even when the driver rejects the ramp, which is guarded all
// the same.
TEST_F(GammaChannelTest, SetArmsAndAnswersSuccessEvenWhenTheDriverRejects) {
  screen.rejects = true;
  EXPECT_EQ(Call("set", EncodableMap{{"ramp", RampBytes(WarmRamp())},
                                     {"Ramp", RampBytes(IdentityRamp())},
                                     {int32_t{7}, "x"}}),
            Success());
  EXPECT_EQ(guard.DesiredRamp(), WarmRamp());
  EXPECT_EQ(log.Messages(),
            (Strings{"init: channel registered", "set: desired ramp received, guard armed",
                     "reassert: ramp was reset -> rewrite FAILED (driver rejected)"}));
}

// Bad "set" arguments and unknown or miscased methods are answered and change nothing.
TEST_F(GammaChannelTest, BadArgumentsAndUnknownMethodsChangeNothing) {
  const Bytes good = RampBytes(IdentityRamp());
  const EncodableValue bad_sets[] = {
      EncodableValue(),
      good,  // not in a map
      EncodableMap{{"ramp", Bytes(good.begin(), good.end() - 1)}},
      EncodableMap{{"ramp", Bytes(1537, 0x40)}},
      EncodableMap{{"Ramp", good}},
      EncodableMap{{Bytes{'r', 'a', 'm', 'p'}, good}},
      EncodableMap{{"ramp", std::string(1536, 'x')}},
  };
  ArmWarm();
  for (const EncodableValue& arguments : bad_sets) {
    EXPECT_EQ(Call("set", arguments), BadArgs());
  }
  for (const char* method : {"Set", "Clear", ""}) {
    EXPECT_EQ(Call(method, EncodableMap{{"ramp", good}}), kNotImplemented) << method;
  }
  EXPECT_TRUE(guard.Armed());
  EXPECT_EQ(guard.DesiredRamp(), WarmRamp());
  EXPECT_TRUE(screen.calls.empty());
  EXPECT_FALSE(std::filesystem::exists(log.LogFile()));
}

// "clear" writes no ramp, even to a reset screen; without a result a call still works.
TEST_F(GammaChannelTest, ClearDisarmsWithoutWriting) {
  ArmWarm();
  screen.screen = IdentityRamp();
  EXPECT_EQ(Call("clear", EncodableValue(int32_t{3})), Success());
  EXPECT_FALSE(guard.Armed());
  EXPECT_EQ(screen.screen, IdentityRamp());
  EXPECT_EQ(log.Messages(), Strings{"clear: guard disarmed"});
  EXPECT_EQ(Call("clear", EncodableValue()), Success());  // also when not armed

  ArmWarm();
  guard.HandleMethodCall(flutter::MethodCall("clear", nullptr), nullptr);
  guard.HandleMethodCall(flutter::MethodCall("set", nullptr), nullptr);
  EXPECT_FALSE(guard.Armed());
}

}  // namespace
