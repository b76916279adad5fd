#include "codec/encodable_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace flutter {
namespace {

TEST(CodecEncodableValue, CheckedAccessRaisesWithFixedTextAndKeepsTheValue) {
  EncodableValue value("ramp");  // a literal makes a string, never a boolean
  try {
    value.Get<std::vector<uint8_t>>();
    FAIL() << "no exception";
  } catch (const std::bad_variant_access& error) {
    EXPECT_STREQ(error.what(), "bad variant access");
  }
  const EncodableValue& constant = value;
  EXPECT_THROW(constant.Get<int32_t>(), BadVariantAccess);
  EXPECT_EQ(value.Get<std::string>(), "ramp");
  EXPECT_EQ(std::get_if<std::vector<uint8_t>>(&value), nullptr);

  value.Get<std::string>() += "s";
  EXPECT_EQ(std::get<std::string>(value), "ramps");
}

struct Ordered {
  const char* name;
  EncodableValue less;
  EncodableValue greater;
};

// Each pair must order strictly one way: less < greater and not the reverse.
TEST(CodecEncodableValue, Ordering) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<Ordered> cases = {
      {"null before false", EncodableValue(), EncodableValue(false)},
      {"false before true", EncodableValue(false), EncodableValue(true)},
      {"position before magnitude", EncodableValue(int32_t{7}), EncodableValue(int64_t{-5})},
      {"signed 32", EncodableValue(int32_t{-1}), EncodableValue(int32_t{0})},
      {"signed 64", EncodableValue(int64_t{-1}), EncodableValue(int64_t{0})},
      {"integer before double", EncodableValue(int64_t{100}), EncodableValue(-1.0)},
      {"double before string", EncodableValue(1e300), EncodableValue("")},
      {"byte order", EncodableValue("B"), EncodableValue("a")},
      {"non-ASCII after ASCII", EncodableValue("a"), EncodableValue("\xc3\xa9")},
      {"empty string first", EncodableValue(""), EncodableValue(std::string(1, '\0'))},
      {"prefix first", EncodableValue("ram"), EncodableValue("ramp")},
      {"bytes unsigned", EncodableValue(std::vector<uint8_t>{0x7f}),
       EncodableValue(std::vector<uint8_t>{0x80})},
      {"int32 list signed", EncodableValue(std::vector<int32_t>{-1}),
       EncodableValue(std::vector<int32_t>{0})},
      {"int64 list prefix", EncodableValue(std::vector<int64_t>{1}),
       EncodableValue(std::vector<int64_t>{1, 0})},
      {"double list skips NaN", EncodableValue(std::vector<double>{nan, 1.0}),
       EncodableValue(std::vector<double>{0.0, 2.0})},
      {"float list", EncodableValue(std::vector<float>{1.0f}),
       EncodableValue(std::vector<float>{1.5f})},
      {"float list after custom", EncodableValue(CustomEncodableValue(1)),
       EncodableValue(std::vector<float>{})},
      {"empty list first", EncodableValue(EncodableList{}),
       EncodableValue(EncodableList{EncodableValue()})},
      {"list recursive", EncodableValue(EncodableList{EncodableValue(int32_t{1}), "b"}),
       EncodableValue(EncodableList{EncodableValue(int32_t{1}), "c"})},
      {"map by first differing value",
       EncodableValue(EncodableMap{{"a", int32_t{1}}, {"b", int32_t{1}}}),
       EncodableValue(EncodableMap{{"a", int32_t{1}}, {"b", int32_t{2}}})},
      {"map by key", EncodableValue(EncodableMap{{"a", int32_t{9}}}),
       EncodableValue(EncodableMap{{"b", int32_t{0}}})},
      {"map prefix", EncodableValue(EncodableMap{{"a", int32_t{1}}}),
       EncodableValue(EncodableMap{{"a", int32_t{1}}, {"b", int32_t{1}}})},
  };
  for (const Ordered& c : cases) {
    EXPECT_TRUE(c.less < c.greater) << c.name;
    EXPECT_FALSE(c.greater < c.less) << c.name;
  }
}

TEST(CodecEncodableValue, EquivalentValues) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<std::pair<EncodableValue, EncodableValue>> cases = {
      {EncodableValue(), EncodableValue()},
      {EncodableValue(nan), EncodableValue(1.0)},
      {EncodableValue(std::vector<double>{nan}), EncodableValue(std::vector<double>{3.0})},
      {EncodableValue("ramp"), EncodableValue(std::string("ramp"))},
  };
  for (const auto& pair : cases) {
    EXPECT_FALSE(pair.first < pair.second);
    EXPECT_FALSE(pair.second < pair.first);
  }
}

TEST(CodecEncodableValue, CustomValuesOrderByIdentity) {
  const EncodableList list = {CustomEncodableValue(5), CustomEncodableValue(5)};
  EXPECT_FALSE(list[0] < list[0]);
  EXPECT_NE(list[0] < list[1], list[1] < list[0]);
  EXPECT_TRUE(list[0] < list[1]);  // lower address first
  EXPECT_EQ(std::any_cast<int>(list[1].Get<CustomEncodableValue>().Value()), 5);
}

}  // namespace
}  // namespace flutter
