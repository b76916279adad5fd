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

  Bytes Call(const std::string& method, const EncodableValue& arguments,
             const char* channel = "veskaro/gamma") {
    const auto message = Codec().EncodeMethodCall(
        flutter::MethodCall(method, std::make_unique<EncodableValue>(arguments)));
    return Deliver(channel, *message);
  }
  Bytes Deliver(const char* channel, const Bytes& message) {
    const int32_t ticket = TestbedDeliverMessage(channel, message.data(), message.size());
    EXPECT_NE(TestbedResponse(ticket), kTestbedResponsePending) << channel;
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

// "veskaro/displays" on the same messenger: "list" in the check's order with every key, "set"
// and "clear" of a display's own ramp with a line each (control characters in an id cannot
// break the log's lines).
TEST_F(GammaChannelTest, DisplaysListsAndKeepsRampsOfTheirOwn) {
  screen.displays.assign(2, {IdentityRamp()});
  screen.displays[0].facts = {"Display1", 0, 0, 1024, 768, true};
  screen.displays[1].facts = {"Dell U2720Q \xc3\xa9", 1024, -10, 4864, 2150, false};
  ArmWarm();
  const std::string id = FakeGammaPlatform::FakeDisplayId(1);
  EXPECT_EQ(Call("set", EncodableMap{{"id", id}, {"ramp", RampBytes(IdentityRamp())}},
                 "veskaro/displays"),
            Success());
  EXPECT_EQ(Call("set", EncodableMap{{"id", "a\nb\x7f"}, {"ramp", RampBytes(IdentityRamp())}},
                 "veskaro/displays"),
            Success());
  EXPECT_EQ(Call("clear", EncodableMap{{"id", "a\nb\x7f"}}, "veskaro/displays"), Success());
  EXPECT_EQ(guard.OwnRamps().Size(), 1u);
  const auto display = [](const std::string& id, const char* device, const char* name,
                          std::vector<int32_t> bounds, bool primary, const char* ramp,
                          const char* state) {
    return EncodableValue(EncodableMap{{"id", id},
                                       {"device", device},
                                       {"name", name},
                                       {"bounds", bounds},
                                       {"primary", primary},
                                       {"ramp", ramp},
                                       {"state", state}});
  };
  const flutter::EncodableList expected = {
      display(FakeGammaPlatform::FakeDisplayId(0), "\\\\.\\DISPLAY1", "Display1", {0, 0, 1024, 768},
              true, "shared", "intact"),
      display(id, "\\\\.\\DISPLAY2", "Dell U2720Q \xc3\xa9", {1024, -10, 4864, 2150}, false, "own",
              "intact"),
  };
  const EncodableValue list(expected);
  EXPECT_EQ(Call("list", EncodableValue("ignored"), "veskaro/displays"),
            *Codec().EncodeSuccessEnvelope(&list));
  EXPECT_EQ(log.Messages(),
            (Strings{"displays: own ramp set for " + id, "reassert: ramp was reset -> rewrite OK",
                     "displays: own ramp set for a?b?", "displays: own ramp cleared for a?b?"}));
}

// Bad arguments say what is wrong and change nothing; the seventeenth display is refused;
// other methods are not implemented, and what does not decode gets an empty reply.
TEST_F(GammaChannelTest, DisplaysRefusesBadCallsAndChangesNothing) {
  const Bytes ramp = RampBytes(IdentityRamp());
  const auto error = [](const char* code, const std::string& message) {
    return *Codec().EncodeErrorEnvelope(code, message);
  };
  const Bytes no_map = error("bad_args", "arguments must be a map");
  const Bytes bad_id = error("bad_args", "id must be a string of 1 to 512 bytes");
  const Bytes bad_ramp = error("bad_args", "ramp must be 1536 bytes");
  for (int i = 0; i < 16; ++i) {
    ASSERT_EQ(
        Call("set", EncodableMap{{"id", std::to_string(i)}, {"ramp", ramp}}, "veskaro/displays"),
        Success());
  }
  screen.calls.clear();
  std::filesystem::remove(log.LogFile());
  const struct {
    const char* method;
    EncodableValue arguments;
    Bytes reply;
  } cases[] = {
      {"set", EncodableMap{{"id", "16"}, {"ramp", ramp}},
       error("too_many_displays", "at most 16 displays keep a ramp of their own")},
      {"set", EncodableValue(), no_map},
      {"set", EncodableValue(ramp), no_map},
      {"clear", EncodableValue("0"), no_map},
      {"set", EncodableMap{{"ramp", ramp}}, bad_id},
      {"set", EncodableMap{{"id", int32_t{1}}, {"ramp", ramp}}, bad_id},
      {"set", EncodableMap{{"id", ""}, {"ramp", ramp}}, bad_id},
      {"clear", EncodableMap{{"id", std::string(513, 'x')}}, bad_id},
      {"set", EncodableMap{{"id", "1"}}, bad_ramp},
      {"set", EncodableMap{{"id", "1"}, {"ramp", Bytes(1535, 0)}}, bad_ramp},
      {"set", EncodableMap{{"id", "1"}, {"ramp", std::string(1536, 'x')}}, bad_ramp},
      {"List", EncodableValue(), kNotImplemented},
      {"reset", EncodableMap{{"id", "1"}}, kNotImplemented},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(Call(test.method, test.arguments, "veskaro/displays"), test.reply) << test.method;
  }
  EXPECT_EQ(Deliver("veskaro/displays", {0x07, 0x09, 'l'}), kNotImplemented);
  EXPECT_EQ(guard.OwnRamps().Size(), 16u);
  EXPECT_EQ(*guard.OwnRamps().Find("1"), IdentityRamp());
  EXPECT_TRUE(screen.calls.empty());
  EXPECT_FALSE(std::filesystem::exists(log.LogFile()));
}

}  // namespace
