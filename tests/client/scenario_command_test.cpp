// Scenario lines as the player reads them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "testbed/engine/scenario_command.h"

namespace testbed {
namespace {

ScenarioCommand Parse(const std::string& line) {
  ScenarioCommand command;
  std::string error;
  EXPECT_TRUE(ParseScenarioCommand(line, &command, &error)) << line << ": " << error;
  return command;
}

TEST(ScenarioCommandTest, CallsEncodeExactlyAndPostsTakeNames) {
  // A quoted name keeps blanks and case.
  EXPECT_EQ(Parse("call c \"Set \" 5").bytes,
            (std::vector<uint8_t>{7, 4, 'S', 'e', 't', ' ', 3, 5, 0, 0, 0}));
  const ScenarioCommand post = Parse("post displaychange -1 -2");
  EXPECT_EQ(post.message, 126u);
  EXPECT_EQ(post.wparam, UINT64_MAX);
  EXPECT_EQ(post.lparam, -2);
  const ScenarioCommand await = Parse("await /tmp/my go  500");
  EXPECT_EQ(await.path, "/tmp/my go");
  EXPECT_EQ(await.milliseconds, 500);
}

TEST(ScenarioCommandTest, BadLinesSayWhy) {
  for (const char* line :
       {"call veskaro/gamma \"set", "call veskaro/gamma set {", "send veskaro/gamma 0 3",
        "wait 999999999999", "post nosuch 0 0", "post 4294967296 0 0", "close now", "explode"}) {
    ScenarioCommand command;
    std::string error;
    EXPECT_FALSE(ParseScenarioCommand(line, &command, &error)) << line;
    EXPECT_FALSE(error.empty()) << line;
  }
}

}  // namespace
}  // namespace testbed
