#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "client/binary_messenger_impl.h"
#include "codec/standard_method_codec.h"
#include "gamma/gamma_guard.h"
#include "testbed/engine/testbed_control.h"
#include "tests/gamma/fake_gamma_platform.h"
#include "tests/gamma/gamma_test_ramps.h"
#include "tests/gamma/scoped_log_directory.h"

namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using Strings = std::vector<std::string>;

const char kArmed[] = "set: desired ramp received, guard armed";
const char kOk[] = "reassert: ramp was reset -> rewrite OK";
const char kDisarmed[] = "clear: guard disarmed";
const char kBadArgsMessage[] = "ramp must be 1536 bytes";
void* const kWindow = reinterpret_cast<void*>(0x77);

std::unique_ptr<EncodableValue> SetArguments(std::vector<uint8_t> ramp) {
  return std::make_unique<EncodableValue>(EncodableMap{{EncodableValue("ramp"), std::move(ramp)}});
}

// An engine made through the C interface, destroyed after everything that uses it.
struct StandInEngine {
  StandInEngine() {
    TestbedReset();
    FlutterDesktopEngineProperties properties = {};
    properties.assets_path = properties.icu_data_path = properties.app_library_path = L"x";
    engine = FlutterDesktopEngineCreate(&properties);
  }
  ~StandInEngine() {
    FlutterDesktopEngineDestroy(engine);
    TestbedReset();
  }
  FlutterDesktopEngineRef engine;
};

// The guard on "veskaro/gamma" through the real channel, codec and messenger.
class GammaChannelTest : public ::testing::Test {
 protected:
  GammaChannelTest() { guard.Init(&messenger, kWindow); }

  // The reply's bytes; every call must be answered exactly once.
  std::vector<uint8_t> Call(const std::string& method, std::unique_ptr<EncodableValue> arguments) {
    const auto bytes = codec.EncodeMethodCall(flutter::MethodCall(method, std::move(arguments)));
    testing::internal::CaptureStderr();
    const int32_t ticket = TestbedDeliverMessage("veskaro/gamma", bytes->data(), bytes->size());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << method;
    EXPECT_NE(TestbedResponse(ticket), kTestbedResponsePending) << method;
    size_t size = 0;
    const uint8_t* data = TestbedResponseData(ticket, &size);
    return data == nullptr ? std::vector<uint8_t>() : std::vector<uint8_t>(data, data + size);
  }
  std::vector<uint8_t> CallWith(const std::string& method, const EncodableValue& arguments) {
    return Call(method, std::make_unique<EncodableValue>(arguments));
  }

  // Armed with the warm ramp, which the screen then carries; calls and lines forgotten.
  void ArmWarm() {
    ASSERT_EQ(Call("set", SetArguments(RampBytes(WarmRamp()))), kSuccess);
    screen.calls.clear();
    std::filesystem::remove(log.LogFile());
  }

  const flutter::StandardMethodCodec& codec = flutter::StandardMethodCodec::GetInstance();
  const std::vector<uint8_t> kSuccess = *codec.EncodeSuccessEnvelope();
  const std::vector<uint8_t> kBadArgs = *codec.EncodeErrorEnvelope("bad_args", kBadArgsMessage);
  const std::vector<uint8_t> kNotImplemented;  // the empty reply
  ScopedLogDirectory log;
  FakeGammaPlatform screen;
  StandInEngine engine;
  flutter::BinaryMessengerImpl messenger{FlutterDesktopEngineGetMessenger(engine.engine)};
  GammaGuard guard{screen};
};

TEST_F(GammaChannelTest, SetArmsReplacesAndAnswersSuccessEvenWhenRejected) {
  screen.screen = IdentityRamp();
  screen.rejects = true;
  EXPECT_EQ(Call("set", SetArguments(RampBytes(WarmRamp()))), kSuccess);
  EXPECT_TRUE(guard.Armed());
  EXPECT_EQ(guard.DesiredRamp(), WarmRamp());
  EXPECT_EQ(screen.screen, IdentityRamp());

  // Extra keys are ignored; the new ramp replaces the old with no second timer.
  screen.rejects = false;
  EXPECT_EQ(
      CallWith("set", EncodableMap{{EncodableValue("ramp"), RampBytes(ScaledRamp(90, 90, 90))},
                                   {EncodableValue("Ramp"), RampBytes(WarmRamp())},
                                   {EncodableValue(int32_t{7}), EncodableValue("x")}}),
      kSuccess);
  EXPECT_EQ(guard.DesiredRamp(), ScaledRamp(90, 90, 90));
  EXPECT_EQ(screen.screen, ScaledRamp(90, 90, 90));  // re-asserted before the answer
  EXPECT_EQ(screen.CallsOf(FakeGammaPlatform::Op::kSetTimer).size(), 1u);
  EXPECT_EQ(log.Messages(),
            (Strings{"init: channel registered", kArmed,
                     "reassert: ramp was reset -> rewrite FAILED (driver rejected)", kArmed, kOk}));
}

// Bad "set" arguments, unknown or miscased methods, and "clear": each answered once, and
// only "clear" changes anything (it writes no ramp, even to a reset screen).
TEST_F(GammaChannelTest, AnswersAndEffectsOfEachCall) {
  const std::vector<uint8_t> good = RampBytes(IdentityRamp());
  const EncodableValue bad_sets[] = {
      EncodableValue(),
      good,  // not in a map
      EncodableList{good},
      EncodableMap{},
      EncodableMap{{"ramp", std::vector<uint8_t>(good.begin(), good.end() - 1)}},
      EncodableMap{{"ramp", std::vector<uint8_t>(1537, 0x40)}},
      EncodableMap{{"ramp", std::vector<uint8_t>()}},
      EncodableMap{{"Ramp", good}},
      EncodableMap{{"ramp ", good}},
      EncodableMap{{"ram", good}},
      EncodableMap{{std::vector<uint8_t>{'r', 'a', 'm', 'p'}, good}},
      EncodableMap{{int32_t{0}, good}},
      EncodableMap{{"ramp", EncodableList(good.begin(), good.end())}},
      EncodableMap{{"ramp", std::vector<int32_t>(768, 9)}},
      EncodableMap{{"ramp", std::string(1536, 'x')}},
  };
  ArmWarm();
  EXPECT_EQ(Call("set", nullptr), kBadArgs);
  for (std::size_t i = 0; i < std::size(bad_sets); ++i) {
    EXPECT_EQ(CallWith("set", bad_sets[i]), kBadArgs) << "case " << i;
  }
  for (const char* method : {"Set", "set ", "Clear", ""}) {
    EXPECT_EQ(Call(method, SetArguments(good)), kNotImplemented) << method;
  }
  EXPECT_TRUE(guard.Armed());
  EXPECT_EQ(guard.DesiredRamp(), WarmRamp());
  EXPECT_EQ(guard.LastOutcome(), 1);
  EXPECT_TRUE(screen.calls.empty());
  EXPECT_FALSE(std::filesystem::exists(log.LogFile()));

  // Null stands for no arguments at all.
  for (const EncodableValue& arguments : {EncodableValue(), EncodableValue(int32_t{3}),
                                          EncodableValue(EncodableMap{{"ramp", good}})}) {
    ArmWarm();
    screen.screen = IdentityRamp();  // reset by someone else: clear leaves it
    EXPECT_EQ(
        Call("clear", arguments.IsNull() ? nullptr : std::make_unique<EncodableValue>(arguments)),
        kSuccess);
    EXPECT_FALSE(guard.Armed());
    EXPECT_EQ(screen.screen, IdentityRamp());
    EXPECT_EQ(log.Messages(), Strings{kDisarmed});
  }
  EXPECT_EQ(Call("clear", nullptr), kSuccess);  // also when not armed

  // Without a result a call still takes effect.
  ArmWarm();
  guard.HandleMethodCall(flutter::MethodCall("clear", nullptr), nullptr);
  guard.HandleMethodCall(flutter::MethodCall("set", nullptr), nullptr);
  EXPECT_FALSE(guard.Armed());
}

}  // namespace
