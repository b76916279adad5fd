#include "gamma/display_ramps.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/gamma/fake_gamma_platform.h"

namespace {

std::string Id(std::size_t i) { return FakeGammaPlatform::FakeDisplayId(i); }

// Sixteen displays keep a ramp; a seventeenth new id is refused and changes nothing, while a
// known id is still replaced, and a cleared slot takes the next id.
TEST(DisplayRamps, KeepsSixteenRampsByIdAndRefusesTheSeventeenth) {
  DisplayRamps ramps;
  for (std::size_t i = 0; i < DisplayRamps::kCapacity; ++i) {
    EXPECT_TRUE(ramps.Set(Id(i), ScaledRamp(100, 100, static_cast<int>(i))));
  }
  EXPECT_FALSE(ramps.Set(Id(16), WarmRamp()));
  EXPECT_EQ(ramps.Find(Id(16)), nullptr);
  EXPECT_EQ(ramps.Size(), 16u);
  EXPECT_TRUE(ramps.Set(Id(0), WarmRamp()));
  EXPECT_EQ(*ramps.Find(Id(0)), WarmRamp());

  ramps.Clear(Id(1));
  ramps.Clear(Id(1));  // no longer there: nothing happens
  EXPECT_EQ(ramps.Find(Id(1)), nullptr);
  for (std::size_t i = 0; i < DisplayRamps::kCapacity; ++i) {
    if (i == 1) continue;
    ASSERT_NE(ramps.Find(Id(i)), nullptr) << i;
    EXPECT_EQ(*ramps.Find(Id(i)), i == 0 ? WarmRamp() : ScaledRamp(100, 100, static_cast<int>(i)));
  }
  EXPECT_TRUE(ramps.Set(Id(16), IdentityRamp()));
  EXPECT_EQ(*ramps.Find(Id(16)), IdentityRamp());
  ramps.ClearAll();
  EXPECT_TRUE(ramps.Empty());
  EXPECT_EQ(ramps.Find(Id(16)), nullptr);
}

// Ids match byte for byte; an empty or overlong id is never kept, and one that merely
// starts like a kept one is another display.
TEST(DisplayRamps, IdsMatchExactlyAndMustFit) {
  DisplayRamps ramps;
  const std::string longest(DisplayRamps::kMaxIdBytes, 'x');
  EXPECT_FALSE(ramps.Set("", WarmRamp()));
  EXPECT_FALSE(ramps.Set(longest + "x", WarmRamp()));
  EXPECT_TRUE(ramps.Set(longest, WarmRamp()));
  EXPECT_TRUE(ramps.Set("a", IdentityRamp()));
  EXPECT_EQ(ramps.Find(longest.substr(1)), nullptr);
  EXPECT_EQ(ramps.Find("A"), nullptr);
  EXPECT_EQ(ramps.Find("ab"), nullptr);
  EXPECT_EQ(*ramps.Find(longest), WarmRamp());
  EXPECT_EQ(ramps.Size(), 2u);
}

}  // namespace
