#include "testbed/tools/ramp_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace probe {
namespace {

Ramp Named(const std::string& name) {
  Ramp ramp;
  EXPECT_TRUE(MakeNamedRamp(name, &ramp)) << name;
  return ramp;
}

TEST(RampSamplesTest, IdentitySamplesAreEntryTimes257) {
  EXPECT_EQ(FormatSamples(Named("identity")),
            "8224 16448 24672 32896 41120 49344 57568 "
            "8224 16448 24672 32896 41120 49344 57568 "
            "8224 16448 24672 32896 41120 49344 57568");
}

TEST(RampSamplesTest, ScaleRampPicksProportionalEntries) {
  // A 1024-entry ramp whose value is its own index: entry e of 256 comes from index
  // round(e * 1023 / 255).
  const int size = 1024;
  std::vector<std::uint16_t> values(3 * size);
  for (int c = 0; c < 3; ++c) {
    for (int i = 0; i < size; ++i) values[c * size + i] = static_cast<std::uint16_t>(i + c);
  }
  const Ramp ramp = ScaleRamp(values, size);
  ASSERT_EQ(ramp.size(), 3u * kRampEntries);
  EXPECT_EQ(ramp[0], 0);
  EXPECT_EQ(ramp[128], 514);  // 128 * 1023 / 255 = 513.5
  EXPECT_EQ(ramp[255], 1023);
  EXPECT_EQ(ramp[2 * kRampEntries + 255], 1025);

  EXPECT_EQ(ScaleRamp(Named("identity"), 256), Named("identity"));
  EXPECT_TRUE(ScaleRamp(values, 1025).empty());  // too few values
  EXPECT_TRUE(ScaleRamp(values, 1).empty());
}

TEST(RampSamplesTest, NamedAndGammaRamps) {
  const Ramp warm = Named("warm");
  EXPECT_GT(warm[128], warm[kRampEntries + 128]);
  EXPECT_GT(warm[kRampEntries + 128], warm[2 * kRampEntries + 128]);
  EXPECT_EQ(Named("zero"), Ramp(3 * kRampEntries, 0));
  Ramp unchanged = warm;
  EXPECT_FALSE(MakeNamedRamp("cold", &unchanged));
  EXPECT_EQ(unchanged, warm);

  Ramp gamma;
  ASSERT_TRUE(MakeGammaRamp(1.0, &gamma));
  EXPECT_LE(MaxSampleDifference(gamma, Named("identity")), 1);
  ASSERT_TRUE(MakeGammaRamp(0.8, &gamma));
  EXPECT_EQ(gamma[0], 0);
  EXPECT_EQ(gamma[255], 65535);
  EXPECT_LT(gamma[128], 32896);  // gamma below 1 darkens the middle
  for (double bad : {0.0, -1.0, 100.5, std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_FALSE(MakeGammaRamp(bad, &gamma)) << bad;
  }
}

TEST(RampSamplesTest, MaxSampleDifferenceLooksOnlyAtSamples) {
  Ramp a = Named("identity");
  Ramp b = a;
  b[0] = 65535;  // entries 0 and 255 are not sampled
  b[255] = 0;
  EXPECT_EQ(MaxSampleDifference(a, b), 0);
  b[2 * kRampEntries + 224] += 100;
  EXPECT_EQ(MaxSampleDifference(a, b), 100);
  EXPECT_GT(MaxSampleDifference(a, Ramp(5)), 65535);  // malformed never matches
}

TEST(RampCommandTest, ParsesCommandLines) {
  struct Case {
    std::vector<std::string> args;
    bool can_set;
    bool ok;
    RampCommand::Action action;
  };
  using A = RampCommand::Action;
  const Case cases[] = {
      {{}, false, true, A::kPrint},
      {{"--all"}, false, true, A::kPrintAll},
      {{"--set", "warm"}, true, true, A::kSet},
      {{"--set-gamma", "0.8"}, true, true, A::kSet},
      {{"--reset"}, true, true, A::kSet},
      {{"--expect", "identity", "--tolerance", "300"}, false, true, A::kExpect},
      {{"--tolerance", "0", "--expect-gamma", "1.2"}, false, true, A::kExpect},
      {{"--set", "warm"}, false, false, A::kPrint},  // reader only
      {{"--reset"}, false, false, A::kPrint},
      {{"--set"}, true, false, A::kPrint},  // missing value
      {{"--set", "purple"}, true, false, A::kPrint},
      {{"--set-gamma", "0.8x"}, true, false, A::kPrint},
      {{"--set-gamma", "0"}, true, false, A::kPrint},
      {{"--tolerance", "-1"}, false, false, A::kPrint},
      {{"--all", "--expect", "warm"}, false, false, A::kPrint},  // two actions
      {{"--bogus"}, false, false, A::kPrint},
  };
  for (const Case& c : cases) {
    RampCommand command;
    std::string error;
    const bool ok = ParseRampCommand(c.args, c.can_set, &command, &error);
    const std::string label = ::testing::PrintToString(c.args);
    EXPECT_EQ(ok, c.ok) << label;
    if (ok) {
      EXPECT_EQ(command.action, c.action) << label;
    } else {
      EXPECT_FALSE(error.empty()) << label;
    }
  }
  RampCommand command;
  std::string error;
  ASSERT_TRUE(ParseRampCommand({"--expect", "warm", "--tolerance", "7"}, false, &command, &error));
  EXPECT_EQ(command.ramp, Named("warm"));
  EXPECT_EQ(command.tolerance, 7);
}

class RunRampCommandTest : public ::testing::Test {
 protected:
  int Run(const std::vector<std::string>& args) {
    RampCommand command;
    std::string error;
    EXPECT_TRUE(ParseRampCommand(args, true, &command, &error)) << error;
    out.clear();
    err.clear();
    return RunRampCommand(
        command,
        [this](Ramp* ramp) {
          if (!screen_readable) return false;
          *ramp = screen;
          return true;
        },
        [this](const Ramp& ramp) {
          if (!screen_writable) return false;
          screen = ramp;
          return true;
        },
        &out, &err);
  }

  Ramp screen = Named("identity");
  bool screen_readable = true;
  bool screen_writable = true;
  std::string out;
  std::string err;
};

TEST_F(RunRampCommandTest, SetWritesAndReportsRefusal) {
  EXPECT_EQ(Run({"--set", "warm"}), kExitOk);
  EXPECT_EQ(screen, Named("warm"));
  EXPECT_EQ(out, FormatSamples(Named("warm")) + "\n");

  screen_writable = false;
  EXPECT_EQ(Run({"--reset"}), kExitFailed);
  EXPECT_EQ(screen, Named("warm"));
  EXPECT_TRUE(out.empty());
  EXPECT_NE(err.find("refused"), std::string::npos);
}

TEST_F(RunRampCommandTest, ExpectComparesWithinTolerance) {
  screen[128] += 150;  // sampled entry, like Wine's quantised read-back
  EXPECT_EQ(Run({"--expect", "identity"}), kExitOk);
  EXPECT_EQ(Run({"--expect", "identity", "--tolerance", "149"}), kExitFailed);
  EXPECT_NE(err.find("differs by 150"), std::string::npos);
  EXPECT_EQ(Run({"--expect", "warm"}), kExitFailed);
}

TEST_F(RunRampCommandTest, ReadFailuresFail) {
  screen_readable = false;
  EXPECT_EQ(Run({}), kExitFailed);
  EXPECT_EQ(Run({"--expect", "identity"}), kExitFailed);
  screen_readable = true;
  screen.resize(10);  // a reader that returned a short ramp
  EXPECT_EQ(Run({"--all"}), kExitFailed);
  EXPECT_TRUE(out.empty());
}

TEST_F(RunRampCommandTest, PrintAllHasThreeLinesOf256) {
  EXPECT_EQ(Run({"--all"}), kExitOk);
  EXPECT_EQ(out, FormatAll(screen));
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3);
  EXPECT_EQ(std::count(out.begin(), out.end(), ' '), 3 * 255);
}

}  // namespace
}  // namespace probe
