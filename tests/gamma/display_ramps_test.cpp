#include "gamma/display_ramps.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/gamma/fake_gamma_platform.h"

namespace {

std::string Id(std::size_t i) { return FakeGammaPlatform::FakeDisplayId(i); }
GammaRamp RampOf(std::size_t i) { return ScaledRamp(100, 100, static_cast<int>(i)); }

// Sixteen displays keep a ramp; a seventeenth new id is refused and changes nothing, while a
// known id (the first one, which a search must not skip) is still replaced, and a cleared slot
// takes the next id. Ids match byte for byte, and an empty or overlong one is never kept.
TEST(DisplayRamps, KeepsSixteenRampsByExactIdAndRefusesTheSeventeenth) {
  DisplayRamps ramps;
  const std::string longest(DisplayRamps::kMaxIdBytes, 'x');
  EXPECT_FALSE(ramps.Set("", WarmRamp()));
  EXPECT_FALSE(ramps.Set(longest + "x", WarmRamp()));
  EXPECT_TRUE(ramps.Set(longest, RampOf(0)));
  for (std::size_t i = 1; i < DisplayRamps::kCapacity; ++i)
    EXPECT_TRUE(ramps.Set(Id(i), RampOf(i)));
  EXPECT_FALSE(ramps.Set(Id(16), WarmRamp()));
  EXPECT_EQ(ramps.Find(Id(16)), nullptr);
  EXPECT_TRUE(ramps.Set(longest, WarmRamp()));
  EXPECT_EQ(ramps.Size(), 16u);
  for (const std::string& other : {longest.substr(1), Id(1) + "x", Id(1).substr(1)}) {
    EXPECT_EQ(ramps.Find(other), nullptr) << other;
  }

  ramps.Clear(Id(1));
  ramps.Clear(Id(1));  // no longer there: nothing happens
  EXPECT_EQ(ramps.Find(Id(1)), nullptr);
  EXPECT_EQ(*ramps.Find(longest), WarmRamp());
  for (std::size_t i = 2; i < DisplayRamps::kCapacity; ++i)
    EXPECT_EQ(*ramps.Find(Id(i)), RampOf(i));
  EXPECT_TRUE(ramps.Set(Id(16), IdentityRamp()));
  EXPECT_EQ(*ramps.Find(Id(16)), IdentityRamp());
  ramps.ClearAll();
  EXPECT_TRUE(ramps.Empty());
  EXPECT_EQ(ramps.Find(Id(16)), nullptr);
}

}  // namespace
