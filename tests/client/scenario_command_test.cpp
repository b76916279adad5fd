// Scenario lines as the player reads them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "testbed/engine/scenario_command.h"
#include "testbed/engine/scenario_value.h"

namespace testbed {
namespace {

using Kind = ScenarioCommand::Kind;

ScenarioCommand Parse(const std::string& line) {
  ScenarioCommand command;
  std::string error;
  EXPECT_TRUE(ParseScenarioCommand(line, &command, &error)) << line << ": " << error;
  return command;
}

std::vector<uint8_t> Bytes(const std::string& hex) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(ParseHexBytes(hex, &bytes));
  return bytes;
}

TEST(ScenarioCommandTest, CallEncodesAStandardMethodCall) {
  const ScenarioCommand set = Parse("call veskaro/gamma set {\"ramp\": ramp(identity)}");
  EXPECT_EQ(set.kind, Kind::kCall);
  EXPECT_EQ(set.channel, "veskaro/gamma");
  EXPECT_EQ(set.method, "set");
  std::vector<uint8_t> expected = Bytes("07 03 73 65 74 0D 01 07 04 72 61 6D 70 08 FE 00 06");
  const std::vector<uint8_t> ramp = GammaRamp(1.0);
  expected.insert(expected.end(), ramp.begin(), ramp.end());
  EXPECT_EQ(set.bytes, expected);

  // No value: null arguments.
  EXPECT_EQ(Parse("call veskaro/gamma clear").bytes, Bytes("07 05 63 6C 65 61 72 00"));
  // A quoted name keeps blanks and case.
  const ScenarioCommand quoted = Parse("call veskaro/gamma \"Set \" 5");
  EXPECT_EQ(quoted.method, "Set ");
  EXPECT_EQ(quoted.bytes, Bytes("07 04 53 65 74 20 03 05 00 00 00"));
}

TEST(ScenarioCommandTest, OtherCommands) {
  const ScenarioCommand send = Parse("send veskaro/gamma 03 01\t00 0000");
  EXPECT_EQ(send.kind, Kind::kSend);
  EXPECT_EQ(send.bytes, Bytes("0301000000"));
  const ScenarioCommand empty = Parse("send veskaro/gamma -");
  EXPECT_EQ(empty.kind, Kind::kSend);
  EXPECT_TRUE(empty.bytes.empty());

  EXPECT_EQ(Parse("wait 250").milliseconds, 250);

  const ScenarioCommand await = Parse("await Z:\\tmp\\go now");
  EXPECT_EQ(await.path, "Z:\\tmp\\go now");
  EXPECT_EQ(await.milliseconds, kDefaultAwaitTimeoutMs);
  const ScenarioCommand timed = Parse("await /tmp/my go  500");
  EXPECT_EQ(timed.path, "/tmp/my go");
  EXPECT_EQ(timed.milliseconds, 500);

  const struct {
    const char* line;
    uint32_t message;
    uint64_t wparam;
    int64_t lparam;
  } kPosts[] = {
      {"post displaychange 32 0x04000500", 126, 32, 0x04000500},
      {"post powerbroadcast 18 0", 536, 18, 0},
      {"post timer 60448 0", 275, 60448, 0},
      {"post fontchange 0 0", 29, 0, 0},
      {"post close 0 0", 16, 0, 0},
      {"post 1025 -1 -2", 1025, UINT64_MAX, -2},
  };
  for (const auto& test : kPosts) {
    const ScenarioCommand post = Parse(test.line);
    EXPECT_EQ(post.kind, Kind::kPost) << test.line;
    EXPECT_EQ(post.message, test.message) << test.line;
    EXPECT_EQ(post.wparam, test.wparam) << test.line;
    EXPECT_EQ(post.lparam, test.lparam) << test.line;
  }

  EXPECT_EQ(Parse("mark  after reset \"x\" ").text, "after reset \"x\"");
  EXPECT_EQ(Parse("close").kind, Kind::kClose);
  for (const char* nothing : {"", "   ", "# a comment", "  #indented"}) {
    EXPECT_EQ(Parse(nothing).kind, Kind::kNothing) << nothing;
  }
}

TEST(ScenarioCommandTest, BadLinesSayWhy) {
  const char* const kCases[] = {
      "call",
      "call veskaro/gamma",
      "call veskaro/gamma set {",
      "call veskaro/gamma \"set",
      "send veskaro/gamma",
      "send veskaro/gamma 0",
      "send veskaro/gamma 0 3",
      "send veskaro/gamma zz",
      "wait",
      "wait -1",
      "wait 1.5",
      "wait 999999999999",
      "await",
      "post",
      "post nosuch 0 0",
      "post 126 0",
      "post 4294967296 0 0",
      "close now",
      "Call veskaro/gamma set",
      "explode",
  };
  for (const char* line : kCases) {
    ScenarioCommand command;
    std::string error;
    EXPECT_FALSE(ParseScenarioCommand(line, &command, &error)) << line;
    EXPECT_FALSE(error.empty()) << line;
  }
}

}  // namespace
}  // namespace testbed
