#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "client/binary_messenger_impl.h"
#include "codec/standard_method_codec.h"
#include "gamma/gamma_guard.h"
#include "testbed/engine/testbed_control.h"
#include "tests/gamma/fake_gamma_platform.h"
#include "tests/gamma/scoped_log_directory.h"

namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using Strings = std::vector<std::string>;

const char kArmed[] = "set: desired ramp received, guard armed";

// What a call was answered with, as text.
class RecordedResult : public flutter::MethodResult {
 public:
  explicit RecordedResult(std::string* answer) : answer(answer) {}

 protected:
  void HandleSuccess(const EncodableValue*) override { *answer = "success"; }
  void HandleError(const std::string& code, const std::string& message,
                   const EncodableValue*) override {
    *answer = code + ": " + message;
  }
  void HandleNotImplemented() override { *answer = "not implemented"; }

 private:
  std::string* answer;
};

class GammaChannelTest : public ::testing::Test {
 protected:
  GammaChannelTest() { guard.Init(nullptr, reinterpret_cast<void*>(0x77)); }

  std::string Call(const std::string& method, const EncodableValue& arguments) {
    std::string answer = "none";
    guard.HandleMethodCall(flutter::MethodCall(method, std::make_unique<EncodableValue>(arguments)),
                           std::make_unique<RecordedResult>(&answer));
    return answer;
  }

  // Armed with the warm ramp, which the screen then carries; calls and lines forgotten.
  void ArmWarm() {
    ASSERT_EQ(Call("set", EncodableMap{{"ramp", RampBytes(WarmRamp())}}), "success");
    screen.calls.clear();
    std::filesystem::remove(log.LogFile());
  }

  ScopedLogDirectory log;
  FakeGammaPlatform screen;
  GammaGuard guard{screen};
};

// Registered on "veskaro/gamma" through the real channel, codec and messenger; success
// even when the driver rejects the ramp, which is guarded all the same.
TEST(GammaChannelEngineTest, SetThroughTheEngineArmsAndAnswersSuccess) {
  ScopedLogDirectory log;
  TestbedReset();
  FlutterDesktopEngineProperties properties = {};
  properties.assets_path = properties.icu_data_path = properties.app_library_path = L"x";
  FlutterDesktopEngineRef engine = FlutterDesktopEngineCreate(&properties);
  {
    flutter::BinaryMessengerImpl messenger(FlutterDesktopEngineGetMessenger(engine));
    FakeGammaPlatform screen;
    screen.rejects = true;
    GammaGuard guard(screen);
    guard.Init(&messenger, reinterpret_cast<void*>(0x77));
    const auto& codec = flutter::StandardMethodCodec::GetInstance();
    // Other keys are ignored.
    const auto bytes = codec.EncodeMethodCall(flutter::MethodCall(
        "set", std::make_unique<EncodableValue>(EncodableMap{{"ramp", RampBytes(WarmRamp())},
                                                             {"Ramp", RampBytes(IdentityRamp())},
                                                             {int32_t{7}, "x"}})));
    const int32_t ticket = TestbedDeliverMessage("veskaro/gamma", bytes->data(), bytes->size());
    size_t size = 0;
    const uint8_t* data = TestbedResponseData(ticket, &size);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(data, data + size), *codec.EncodeSuccessEnvelope());
    EXPECT_EQ(guard.DesiredRamp(), WarmRamp());
    EXPECT_EQ(log.Messages(),
              (Strings{"init: channel registered", kArmed,
                       "reassert: ramp was reset -> rewrite FAILED (driver rejected)"}));
  }
  FlutterDesktopEngineDestroy(engine);
  TestbedReset();
}

// Bad "set" arguments and unknown or miscased methods are answered and change nothing.
TEST_F(GammaChannelTest, BadArgumentsAndUnknownMethodsChangeNothing) {
  const std::vector<uint8_t> good = RampBytes(IdentityRamp());
  const EncodableValue bad_sets[] = {
      EncodableValue(),
      good,  // not in a map
      EncodableMap{{"ramp", std::vector<uint8_t>(good.begin(), good.end() - 1)}},
      EncodableMap{{"ramp", std::vector<uint8_t>(1537, 0x40)}},
      EncodableMap{{"Ramp", good}},
      EncodableMap{{std::vector<uint8_t>{'r', 'a', 'm', 'p'}, good}},
      EncodableMap{{"ramp", std::string(1536, 'x')}},
  };
  ArmWarm();
  for (const EncodableValue& arguments : bad_sets) {
    EXPECT_EQ(Call("set", arguments), "bad_args: ramp must be 1536 bytes");
  }
  for (const char* method : {"Set", "Clear", ""}) {
    EXPECT_EQ(Call(method, EncodableMap{{"ramp", good}}), "not implemented") << method;
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
  EXPECT_EQ(Call("clear", EncodableValue(int32_t{3})), "success");
  EXPECT_FALSE(guard.Armed());
  EXPECT_EQ(screen.screen, IdentityRamp());
  EXPECT_EQ(log.Messages(), Strings{"clear: guard disarmed"});
  EXPECT_EQ(Call("clear", EncodableValue()), "success");  // also when not armed

  ArmWarm();
  guard.HandleMethodCall(flutter::MethodCall("clear", nullptr), nullptr);
  guard.HandleMethodCall(flutter::MethodCall("set", nullptr), nullptr);
  EXPECT_FALSE(guard.Armed());
}

}  // namespace
