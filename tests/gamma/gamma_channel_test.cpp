#include <gtest/gtest.h>

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
const char kFailed[] = "reassert: ramp was reset -> rewrite FAILED (driver rejected)";
const char kDisarmed[] = "clear: guard disarmed";
void* const kWindow = reinterpret_cast<void*>(0x77);

// Every answer as one line: "success", "success+value", "error code|message|details?",
// "not implemented".
class RecordingResult : public flutter::MethodResult {
 public:
  explicit RecordingResult(Strings& answers) : answers(answers) {}

 protected:
  void HandleSuccess(const EncodableValue* value) override {
    answers.push_back(value == nullptr ? "success" : "success+value");
  }
  void HandleError(const std::string& code, const std::string& message,
                   const EncodableValue* details) override {
    answers.push_back("error " + code + "|" + message + (details != nullptr ? "|details" : ""));
  }
  void HandleNotImplemented() override { answers.push_back("not implemented"); }

 private:
  Strings& answers;
};

const char kSuccess[] = "success";
const char kBadArgs[] = "error bad_args|ramp must be 1536 bytes";

std::unique_ptr<EncodableValue> Value(EncodableValue value) {
  return std::make_unique<EncodableValue>(std::move(value));
}
std::unique_ptr<EncodableValue> SetArguments(std::vector<uint8_t> ramp) {
  return Value(EncodableMap{{EncodableValue("ramp"), std::move(ramp)}});
}

class GammaChannelTest : public ::testing::Test {
 protected:
  GammaChannelTest() { guard.Init(nullptr, kWindow); }

  std::string Call(const std::string& method, std::unique_ptr<EncodableValue> arguments) {
    Strings answers;
    guard.HandleMethodCall(flutter::MethodCall(method, std::move(arguments)),
                           std::make_unique<RecordingResult>(answers));
    EXPECT_EQ(answers.size(), 1u) << method;
    return answers.empty() ? "" : answers[0];
  }

  // Armed with the warm ramp, which the screen then carries; calls and lines forgotten.
  void ArmWarm() {
    ASSERT_EQ(Call("set", SetArguments(RampBytes(WarmRamp()))), kSuccess);
    screen.calls.clear();
    std::filesystem::remove(log.LogFile());
  }

  ScopedLogDirectory log;
  FakeGammaPlatform screen;
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
      Call("set", Value(EncodableMap{{EncodableValue("ramp"), RampBytes(ScaledRamp(90, 90, 90))},
                                     {EncodableValue("Ramp"), RampBytes(WarmRamp())},
                                     {EncodableValue(int32_t{7}), EncodableValue("x")}})),
      kSuccess);
  EXPECT_EQ(guard.DesiredRamp(), ScaledRamp(90, 90, 90));
  EXPECT_EQ(screen.screen, ScaledRamp(90, 90, 90));  // re-asserted before the answer
  EXPECT_EQ(screen.CallsOf(FakeGammaPlatform::Op::kSetTimer).size(), 1u);
  EXPECT_EQ(log.Messages(), (Strings{kArmed, kFailed, kArmed, kOk}));
}

TEST_F(GammaChannelTest, BadSetArgumentsAreRejectedAndChangeNothing) {
  const std::vector<uint8_t> good = RampBytes(IdentityRamp());
  EncodableList ints(good.begin(), good.end());
  std::vector<std::unique_ptr<EncodableValue>> cases;
  cases.push_back(nullptr);
  cases.push_back(Value(EncodableValue()));
  cases.push_back(Value(good));  // not in a map
  cases.push_back(Value(EncodableList{good}));
  cases.push_back(Value(EncodableMap{}));
  cases.push_back(SetArguments(std::vector<uint8_t>(good.begin(), good.end() - 1)));
  cases.push_back(SetArguments(std::vector<uint8_t>(1537, 0x40)));
  cases.push_back(SetArguments({}));
  for (const char* key : {"Ramp", "ramp ", "ram"}) {
    cases.push_back(Value(EncodableMap{{EncodableValue(key), good}}));
  }
  cases.push_back(Value(EncodableMap{{std::vector<uint8_t>{'r', 'a', 'm', 'p'}, good}}));
  cases.push_back(Value(EncodableMap{{int32_t{0}, good}}));
  cases.push_back(Value(EncodableMap{{EncodableValue("ramp"), ints}}));
  cases.push_back(Value(EncodableMap{{EncodableValue("ramp"), std::vector<int32_t>(768, 9)}}));
  cases.push_back(Value(EncodableMap{{EncodableValue("ramp"), std::string(1536, 'x')}}));

  ArmWarm();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(Call("set", std::move(cases[i])), kBadArgs) << "case " << i;
  }
  EXPECT_TRUE(guard.Armed());
  EXPECT_EQ(guard.DesiredRamp(), WarmRamp());
  EXPECT_EQ(guard.LastOutcome(), 1);
  EXPECT_TRUE(screen.calls.empty());
  EXPECT_FALSE(std::filesystem::exists(log.LogFile()));
}

TEST_F(GammaChannelTest, ClearAnswersSuccessWithAnyArgumentAndWritesNothing) {
  std::vector<std::unique_ptr<EncodableValue>> arguments;
  arguments.push_back(nullptr);
  arguments.push_back(Value(int32_t{3}));
  arguments.push_back(SetArguments(RampBytes(IdentityRamp())));
  for (auto& argument : arguments) {
    ArmWarm();
    screen.screen = IdentityRamp();  // reset by someone else: clear leaves it
    EXPECT_EQ(Call("clear", std::move(argument)), kSuccess);
    EXPECT_FALSE(guard.Armed());
    EXPECT_EQ(screen.screen, IdentityRamp());
    EXPECT_EQ(log.Messages(), Strings{kDisarmed});
  }
  EXPECT_EQ(Call("clear", nullptr), kSuccess);  // also when not armed
}

TEST_F(GammaChannelTest, OtherMethodNamesAreNotImplemented) {
  ArmWarm();
  for (const char* method : {"Set", "SET", "set ", " set", "Clear", "clear ", "", "reset"}) {
    EXPECT_EQ(Call(method, SetArguments(RampBytes(IdentityRamp()))), "not implemented") << method;
  }
  EXPECT_TRUE(guard.Armed());
  EXPECT_TRUE(screen.calls.empty());
  EXPECT_FALSE(std::filesystem::exists(log.LogFile()));

  // Without a result a call still takes effect.
  guard.HandleMethodCall(flutter::MethodCall("clear", nullptr), nullptr);
  guard.HandleMethodCall(flutter::MethodCall("set", nullptr), nullptr);
  EXPECT_FALSE(guard.Armed());
}

// Through the real channel, codec and messenger on the stand-in engine.
TEST(GammaChannelEngine, AnswersOverTheWire) {
  TestbedReset();
  ScopedLogDirectory log;
  FakeGammaPlatform screen;
  FlutterDesktopEngineProperties properties = {};
  properties.assets_path = properties.icu_data_path = properties.app_library_path = L"x";
  FlutterDesktopEngineRef engine = FlutterDesktopEngineCreate(&properties);
  {
    flutter::BinaryMessengerImpl messenger(FlutterDesktopEngineGetMessenger(engine));
    GammaGuard guard(screen);
    guard.Init(&messenger, kWindow);
    EXPECT_EQ(guard.Window(), kWindow);

    const auto& codec = flutter::StandardMethodCodec::GetInstance();
    const auto send = [&](const std::string& method, std::unique_ptr<EncodableValue> arguments) {
      const auto bytes = codec.EncodeMethodCall(flutter::MethodCall(method, std::move(arguments)));
      const int32_t ticket = TestbedDeliverMessage("veskaro/gamma", bytes->data(), bytes->size());
      size_t size = 0;
      const uint8_t* data = TestbedResponseData(ticket, &size);
      EXPECT_NE(TestbedResponse(ticket), kTestbedResponsePending);
      return data == nullptr ? std::vector<uint8_t>() : std::vector<uint8_t>(data, data + size);
    };
    screen.screen = IdentityRamp();
    EXPECT_EQ(send("set", SetArguments(RampBytes(WarmRamp()))), *codec.EncodeSuccessEnvelope());
    EXPECT_EQ(screen.screen, WarmRamp());
    EXPECT_EQ(send("set", SetArguments({1, 2, 3})),
              *codec.EncodeErrorEnvelope("bad_args", "ramp must be 1536 bytes"));
    EXPECT_TRUE(send("Set", nullptr).empty());  // not implemented: the empty reply
    EXPECT_EQ(send("clear", nullptr), *codec.EncodeSuccessEnvelope());
    EXPECT_FALSE(guard.Armed());
  }
  FlutterDesktopEngineDestroy(engine);
  TestbedReset();
  EXPECT_EQ(log.Messages(), (Strings{"init: channel registered", kArmed, kOk, kDisarmed}));
}

}  // namespace
