#include "testbed/tools/ramp_command.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace probe {
namespace {

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

Ramp Named(const std::string& name) {
  Ramp ramp;
  EXPECT_TRUE(MakeNamedRamp(name, &ramp)) << name;
  return ramp;
}

TEST(RampSamplesTest, SamplesAreEntries32To224OfEachChannel) {
  Ramp warm = Named("warm");
  EXPECT_EQ(FormatSamples(warm),
            "8224 16448 24672 32896 41120 49344 57568 "
            "6990 13981 20971 27962 34952 41942 48933 "
            "5346 10691 16037 21382 26728 32074 37419");
  Ramp gamma;
  ASSERT_TRUE(MakeGammaRamp(0.8, &gamma));
  EXPECT_EQ(gamma[128], 27689);

  Ramp other = warm;
  other[0] = 65535;  // entries 0 and 255 are not sampled
  other[255] = 0;
  EXPECT_EQ(MaxSampleDifference(warm, other), 0);
  other[2 * kRampEntriesPerChannel + 224] += 100;
  EXPECT_EQ(MaxSampleDifference(warm, other), 100);
  EXPECT_GT(MaxSampleDifference(warm, Ramp(5)), 65535);  // malformed never matches

  // X servers may use other sizes: entry e of 256 comes from index round(e * 1023 / 255).
  std::vector<std::uint16_t> values(3 * 1024);
  for (int i = 0; i < 3 * 1024; ++i) values[i] = static_cast<std::uint16_t>(i);
  const Ramp scaled = ScaleRamp(values, 1024);
  ASSERT_EQ(scaled.size(), kRampEntries);
  EXPECT_EQ(scaled[128], 514);
  EXPECT_EQ(scaled[2 * kRampEntriesPerChannel + 255], 3071);
  EXPECT_TRUE(ScaleRamp(values, 1025).empty());
}

TEST(RampCommandTest, ArgumentErrorsAndTolerance) {
  for (const char* line :
       {"--reset", "--set", "--expect purple", "--expect-gamma 0.8x", "--expect-gamma nan",
        "--expect-gamma 0", "--tolerance -1", "--all --expect warm", "--bogus"}) {
    RampCommand command;
    std::string error;
    EXPECT_FALSE(ParseRampCommand(Words(line), false, &command, &error)) << line;
    EXPECT_FALSE(error.empty()) << line;
  }

  Ramp screen = Named("identity");
  screen[128] += 150;  // like Wine's quantised read-back
  std::string error;
  auto run = [&screen, &error](const char* line) {
    RampCommand command;
    std::string out;
    EXPECT_TRUE(ParseRampCommand(Words(line), true, &command, &error)) << error;
    return RunRampCommand(
        command,
        [&screen](Ramp* ramp) {
          *ramp = screen;
          return !screen.empty();
        },
        [](const Ramp&) { return false; }, &out, &error);
  };
  EXPECT_EQ(run("--expect identity --tolerance 150"), kExitOk);
  EXPECT_EQ(run("--expect identity --tolerance 149"), kExitFailed);
  EXPECT_NE(error.find("differs by 150"), std::string::npos) << error;
  EXPECT_EQ(run("--set warm"), kExitFailed);  // a writer that refuses
  screen.clear();                             // a reader that fails
  EXPECT_EQ(run(""), kExitFailed);
}

}  // namespace
}  // namespace probe
