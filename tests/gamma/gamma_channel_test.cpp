#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "client/binary_messenger_impl.h"
#include "client/method_call.h"
#include "client/method_result.h"
#include "codec/encodable_value.h"
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
using Op = FakeGammaPlatform::Op;
using Strings = std::vector<std::string>;

const char kArmed[] = "set: desired ramp received, guard armed";
const char kRewriteOk[] = "reassert: ramp was reset -> rewrite OK";
const char kRewriteFailed[] = "reassert: ramp was reset -> rewrite FAILED (driver rejected)";
const char kDisarmed[] = "clear: guard disarmed";
const char kRegistered[] = "init: channel registered";

GammaPlatform::WindowHandle const kWindow = reinterpret_cast<GammaPlatform::WindowHandle>(0x77);

struct Reply {
  enum class Kind { kNone, kSuccess, kError, kNotImplemented };
  Kind kind = Kind::kNone;
  int answers = 0;
  bool has_value = false;
  std::string code;
  std::string message;
  bool has_details = false;
};

class RecordingResult : public flutter::MethodResult {
 public:
  explicit RecordingResult(Reply& reply) : reply(reply) {}

 protected:
  void HandleSuccess(const EncodableValue* result) override {
    Record(Reply::Kind::kSuccess).has_value = result != nullptr;
  }
  void HandleError(const std::string& code, const std::string& message,
                   const EncodableValue* details) override {
    Record(Reply::Kind::kError);
    reply.code = code;
    reply.message = message;
    reply.has_details = details != nullptr;
  }
  void HandleNotImplemented() override { Record(Reply::Kind::kNotImplemented); }

 private:
  Reply& Record(Reply::Kind kind) {
    reply.kind = kind;
    ++reply.answers;
    return reply;
  }
  Reply& reply;
};

std::unique_ptr<EncodableValue> SetArguments(const std::vector<uint8_t>& ramp) {
  return std::make_unique<EncodableValue>(EncodableMap{{EncodableValue("ramp"), ramp}});
}

class GammaChannelTest : public ::testing::Test {
 protected:
  GammaChannelTest() { guard.Init(nullptr, kWindow); }

  Reply Call(const std::string& method, std::unique_ptr<EncodableValue> arguments) {
    Reply reply;
    flutter::MethodCall call(method, std::move(arguments));
    guard.HandleMethodCall(call, std::make_unique<RecordingResult>(reply));
    EXPECT_EQ(reply.answers, 1) << method;
    return reply;
  }

  // Armed with the warm ramp, which the screen then carries; calls and lines forgotten.
  void ArmWarm() {
    screen.screen = IdentityRamp();
    ASSERT_EQ(Call("set", SetArguments(RampBytes(WarmRamp()))).kind, Reply::Kind::kSuccess);
    screen.calls.clear();
    std::filesystem::remove(log.LogFile());
  }

  ScopedLogDirectory log;
  FakeGammaPlatform screen;
  GammaGuard guard{screen};
};

TEST_F(GammaChannelTest, SetArmsAndAnswersSuccess) {
  screen.screen = IdentityRamp();
  const Reply reply = Call("set", SetArguments(RampBytes(WarmRamp())));
  EXPECT_EQ(reply.kind, Reply::Kind::kSuccess);
  EXPECT_FALSE(reply.has_value);
  EXPECT_TRUE(guard.Armed());
  EXPECT_TRUE(guard.PeriodicTimerRunning());
  EXPECT_EQ(guard.DesiredRamp(), WarmRamp());
  EXPECT_EQ(screen.screen, WarmRamp());  // re-asserted before the answer
  EXPECT_EQ(log.Messages(), (Strings{kArmed, kRewriteOk}));

  // Extra keys are ignored; a second set replaces the ramp without a second timer.
  auto arguments = std::make_unique<EncodableValue>(
      EncodableMap{{EncodableValue("ramp"), RampBytes(IdentityRamp())},
                   {EncodableValue("Ramp"), RampBytes(WarmRamp())},
                   {EncodableValue(int32_t{7}), EncodableValue("x")}});
  EXPECT_EQ(Call("set", std::move(arguments)).kind, Reply::Kind::kSuccess);
  EXPECT_EQ(guard.DesiredRamp(), IdentityRamp());
  EXPECT_EQ(screen.screen, IdentityRamp());
  EXPECT_EQ(guard.LastOutcome(), 1);  // reset to -1, then this rewrite logged again
  EXPECT_EQ(log.Messages(), (Strings{kArmed, kRewriteOk, kArmed, kRewriteOk}));
  EXPECT_EQ(screen.CountOf(Op::kSetTimer), 1u);
}

TEST_F(GammaChannelTest, SetAnswersSuccessWhenTheDriverRejects) {
  screen.screen = IdentityRamp();
  screen.rejects = true;
  EXPECT_EQ(Call("set", SetArguments(RampBytes(WarmRamp()))).kind, Reply::Kind::kSuccess);
  EXPECT_TRUE(guard.Armed());
  EXPECT_EQ(screen.screen, IdentityRamp());
  EXPECT_EQ(log.Messages(), (Strings{kArmed, kRewriteFailed}));
}

TEST_F(GammaChannelTest, BadSetArgumentsAreRejectedAndChangeNothing) {
  const std::vector<uint8_t> good = RampBytes(IdentityRamp());
  const std::string ramp_key_bytes = "ramp";
  EncodableList ints;
  for (uint8_t byte : good) {
    ints.push_back(EncodableValue(int32_t{byte}));
  }
  struct Case {
    const char* name;
    std::unique_ptr<EncodableValue> arguments;
  };
  std::vector<Case> cases;
  cases.push_back({"absent", nullptr});
  cases.push_back({"null", std::make_unique<EncodableValue>()});
  cases.push_back({"bytes without a map", std::make_unique<EncodableValue>(good)});
  cases.push_back({"list", std::make_unique<EncodableValue>(EncodableList{good})});
  cases.push_back({"empty map", std::make_unique<EncodableValue>(EncodableMap{})});
  cases.push_back({"1535 bytes", SetArguments(std::vector<uint8_t>(good.begin(), good.end() - 1))});
  cases.push_back({"1537 bytes", SetArguments([&] {
                     auto longer = good;
                     longer.push_back(0);
                     return longer;
                   }())});
  cases.push_back({"no bytes", SetArguments({})});
  for (const char* key : {"Ramp", "RAMP", "ramp ", " ramp", "ram"}) {
    cases.push_back(
        {key, std::make_unique<EncodableValue>(EncodableMap{{EncodableValue(key), good}})});
  }
  cases.push_back(
      {"key as bytes",
       std::make_unique<EncodableValue>(EncodableMap{
           {EncodableValue(std::vector<uint8_t>(ramp_key_bytes.begin(), ramp_key_bytes.end())),
            good}})});
  cases.push_back({"key as number", std::make_unique<EncodableValue>(
                                        EncodableMap{{EncodableValue(int32_t{0}), good}})});
  cases.push_back({"list of integers",
                   std::make_unique<EncodableValue>(EncodableMap{{EncodableValue("ramp"), ints}})});
  cases.push_back({"typed integer list",
                   std::make_unique<EncodableValue>(
                       EncodableMap{{EncodableValue("ramp"), std::vector<int32_t>(768, 0x4000)}})});
  cases.push_back({"string", std::make_unique<EncodableValue>(
                                 EncodableMap{{EncodableValue("ramp"), std::string(1536, 'x')}})});

  ArmWarm();
  for (Case& test : cases) {
    SCOPED_TRACE(test.name);
    const Reply reply = Call("set", std::move(test.arguments));
    EXPECT_EQ(reply.kind, Reply::Kind::kError);
    EXPECT_EQ(reply.code, "bad_args");
    EXPECT_EQ(reply.message, "ramp must be 1536 bytes");
    EXPECT_FALSE(reply.has_details);
    EXPECT_TRUE(guard.Armed());
    EXPECT_EQ(guard.DesiredRamp(), WarmRamp());
    EXPECT_EQ(guard.LastOutcome(), 1);
  }
  EXPECT_TRUE(screen.calls.empty());
  EXPECT_FALSE(std::filesystem::exists(log.LogFile()));
}

TEST_F(GammaChannelTest, ClearAnswersSuccessWithAnyArgument) {
  std::vector<std::unique_ptr<EncodableValue>> arguments;
  arguments.push_back(nullptr);
  arguments.push_back(std::make_unique<EncodableValue>());
  arguments.push_back(std::make_unique<EncodableValue>(int32_t{3}));
  arguments.push_back(SetArguments(RampBytes(IdentityRamp())));
  for (auto& argument : arguments) {
    ArmWarm();
    screen.screen = IdentityRamp();  // reset by someone else: clear must not touch it
    const Reply reply = Call("clear", std::move(argument));
    EXPECT_EQ(reply.kind, Reply::Kind::kSuccess);
    EXPECT_FALSE(reply.has_value);
    EXPECT_FALSE(guard.Armed());
    EXPECT_EQ(screen.CountOf(Op::kSetRamp), 0u);
    EXPECT_EQ(log.Messages(), Strings{kDisarmed});
  }
  // Also when not armed.
  EXPECT_EQ(Call("clear", nullptr).kind, Reply::Kind::kSuccess);
}

TEST_F(GammaChannelTest, OtherMethodNamesAreNotImplemented) {
  ArmWarm();
  for (const char* method :
       {"Set", "SET", "set ", " set", "Clear", "clear ", "CLEAR", "", "sett", "reset", "get"}) {
    SCOPED_TRACE(method);
    EXPECT_EQ(Call(method, SetArguments(RampBytes(IdentityRamp()))).kind,
              Reply::Kind::kNotImplemented);
  }
  EXPECT_TRUE(guard.Armed());
  EXPECT_EQ(guard.DesiredRamp(), WarmRamp());
  EXPECT_TRUE(screen.calls.empty());
  EXPECT_FALSE(std::filesystem::exists(log.LogFile()));
}

// Through the real channel, codec and messenger on the stand-in engine.
class GammaChannelEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestbedReset();
    FlutterDesktopEngineProperties properties = {};
    properties.assets_path = L"a";
    properties.icu_data_path = L"i";
    properties.app_library_path = L"l";
    properties.entrypoint = "";
    engine = FlutterDesktopEngineCreate(&properties);
    messenger =
        std::make_unique<flutter::BinaryMessengerImpl>(FlutterDesktopEngineGetMessenger(engine));
  }

  void TearDown() override {
    guard.reset();
    messenger.reset();
    FlutterDesktopEngineDestroy(engine);
    TestbedReset();
  }

  // Sends a call on "veskaro/gamma" and returns the reply bytes.
  std::vector<uint8_t> Send(const std::string& method, std::unique_ptr<EncodableValue> arguments) {
    const flutter::MethodCall call(method, std::move(arguments));
    const auto bytes = Codec().EncodeMethodCall(call);
    const int32_t ticket = TestbedDeliverMessage("veskaro/gamma", bytes->data(), bytes->size());
    EXPECT_GE(ticket, 0);
    EXPECT_NE(TestbedResponse(ticket), kTestbedResponsePending);
    size_t size = 0;
    const uint8_t* data = TestbedResponseData(ticket, &size);
    return data == nullptr ? std::vector<uint8_t>() : std::vector<uint8_t>(data, data + size);
  }

  static const flutter::StandardMethodCodec& Codec() {
    return flutter::StandardMethodCodec::GetInstance();
  }

  ScopedLogDirectory log;
  FakeGammaPlatform screen;
  FlutterDesktopEngineRef engine = nullptr;
  std::unique_ptr<flutter::BinaryMessengerImpl> messenger;
  std::unique_ptr<GammaGuard> guard = std::make_unique<GammaGuard>(screen);
};

TEST_F(GammaChannelEngineTest, AnswersOverTheWire) {
  guard->Init(messenger.get(), kWindow);
  EXPECT_EQ(guard->Window(), kWindow);
  EXPECT_EQ(log.Messages(), Strings{kRegistered});

  screen.screen = IdentityRamp();
  EXPECT_EQ(Send("set", SetArguments(RampBytes(WarmRamp()))), *Codec().EncodeSuccessEnvelope());
  EXPECT_EQ(screen.screen, WarmRamp());
  EXPECT_EQ(Send("set", SetArguments({1, 2, 3})),
            *Codec().EncodeErrorEnvelope("bad_args", "ramp must be 1536 bytes"));
  EXPECT_TRUE(Send("Set", nullptr).empty());  // not implemented: empty reply
  EXPECT_EQ(Send("clear", nullptr), *Codec().EncodeSuccessEnvelope());
  EXPECT_FALSE(guard->Armed());
  EXPECT_EQ(log.Messages(), (Strings{kRegistered, kArmed, kRewriteOk, kDisarmed}));
}

TEST_F(GammaChannelEngineTest, SecondInitReplacesTheChannel) {
  guard->Init(messenger.get(), kWindow);
  GammaPlatform::WindowHandle const other = reinterpret_cast<GammaPlatform::WindowHandle>(0x78);
  guard->Init(messenger.get(), other);
  EXPECT_EQ(guard->Window(), other);
  screen.screen = WarmRamp();
  EXPECT_EQ(Send("set", SetArguments(RampBytes(WarmRamp()))), *Codec().EncodeSuccessEnvelope());
  ASSERT_EQ(screen.CountOf(Op::kSetTimer), 1u);
  EXPECT_EQ(screen.CallsOf(Op::kSetTimer)[0].window, other);
  EXPECT_EQ(log.Messages(), (Strings{kRegistered, kRegistered, kArmed}));
}

}  // namespace
