// The scenario value notation and the ramps it generates.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/encodable_value.h"
#include "testbed/engine/scenario_value.h"

namespace testbed {
namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

uint16_t Entry(const std::vector<uint8_t>& ramp, size_t channel, size_t i) {
  const size_t offset = 2 * (256 * channel + i);
  return static_cast<uint16_t>(ramp[offset] | (ramp[offset + 1] << 8));
}

EncodableValue Parse(const std::string& text) {
  EncodableValue value;
  std::string error;
  EXPECT_TRUE(ParseScenarioValue(text, &value, &error)) << text << ": " << error;
  return value;
}

TEST(ScenarioValueTest, ParsesLiterals) {
  const struct {
    const char* text;
    EncodableValue expected;
  } kCases[] = {
      {"null", EncodableValue()},
      {" true ", EncodableValue(true)},
      {"false", EncodableValue(false)},
      {"0", EncodableValue(int32_t{0})},
      {"-2147483648", EncodableValue(int32_t{-2147483647 - 1})},
      {"2147483647", EncodableValue(int32_t{2147483647})},
      {"2147483648", EncodableValue(int64_t{2147483648})},
      {"-9223372036854775808", EncodableValue(INT64_MIN)},
      {"0x10", EncodableValue(int32_t{16})},
      {"1.5", EncodableValue(1.5)},
      {"1e3", EncodableValue(1000.0)},
      {"-0.25", EncodableValue(-0.25)},
      {"\"\"", EncodableValue(std::string())},
      {R"("a\"b\\c\nd")", EncodableValue(std::string("a\"b\\c\nd"))},
      {R"("\u00e9\u20ac")", EncodableValue(std::string("\xC3\xA9\xE2\x82\xAC"))},
      {R"("\ud83d\ude00")", EncodableValue(std::string("\xF0\x9F\x98\x80"))},
      {"[]", EncodableValue(EncodableList{})},
      {"[1, \"x\", [null]]",
       EncodableValue(EncodableList{EncodableValue(int32_t{1}), EncodableValue("x"),
                                    EncodableValue(EncodableList{EncodableValue()})})},
      {"{}", EncodableValue(EncodableMap{})},
      {"{\"a\": 1, 2: [true], null: false}",
       EncodableValue(EncodableMap{
           {EncodableValue("a"), EncodableValue(int32_t{1})},
           {EncodableValue(int32_t{2}), EncodableValue(EncodableList{EncodableValue(true)})},
           {EncodableValue(), EncodableValue(false)}})},
      {"bytes()", EncodableValue(std::vector<uint8_t>{})},
      {"bytes(00 ff 7F)", EncodableValue(std::vector<uint8_t>{0x00, 0xFF, 0x7F})},
      {"bytes(len=3)", EncodableValue(std::vector<uint8_t>{0, 0, 0})},
      {"bytes(len=2, fill=0xAB)", EncodableValue(std::vector<uint8_t>{0xAB, 0xAB})},
      {"bytes(len = 2 , fill = 7)", EncodableValue(std::vector<uint8_t>{7, 7})},
      {"i32list()", EncodableValue(std::vector<int32_t>{})},
      {"i32list(1, -2, 3)", EncodableValue(std::vector<int32_t>{1, -2, 3})},
  };
  for (const auto& test : kCases) {
    EXPECT_EQ(Parse(test.text), test.expected) << test.text;
  }
}

TEST(ScenarioValueTest, RejectsMalformedInputWithoutTouchingTheValue) {
  const char* const kCases[] = {
      "",
      "nul",
      "True",
      "1 2",
      "9223372036854775808",
      "1.5.2",
      "1e999",
      "0x",
      "\"open",
      R"("\q")",
      R"("\u12")",
      R"("\ud83d")",
      R"("\ude00")",
      "[1,",
      "[1 2]",
      "[1,]",
      "{\"a\" 1}",
      "{\"a\": 1, \"a\": 2}",
      "bytes(0)",
      "bytes(zz)",
      "bytes(len=-1)",
      "bytes(len=99999999999)",
      "bytes(len=2, fill=256)",
      "bytes(len=2, size=3)",
      "bytes(00",
      "ramp()",
      "ramp(gamma=0)",
      "ramp(gamma=-1)",
      "ramp(gamma=x)",
      "ramp(cold)",
      "ramp(identity, warm)",
      "i32list(2147483648)",
      "i32list(1.5)",
      "blob(1)",
      "@",
  };
  for (const char* text : kCases) {
    EncodableValue value(int32_t{42});
    std::string error;
    EXPECT_FALSE(ParseScenarioValue(text, &value, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
    EXPECT_EQ(value, EncodableValue(int32_t{42})) << text;
  }
}

TEST(ScenarioValueTest, DeepNestingIsRefusedNotRecursedInto) {
  EncodableValue value;
  std::string error;
  EXPECT_FALSE(ParseScenarioValue(std::string(100000, '['), &value, &error));
  EXPECT_TRUE(ParseScenarioValue(std::string(10, '[') + std::string(10, ']'), &value, &error));
}

TEST(ScenarioValueTest, RampsAreLittleEndianPerChannel) {
  const std::vector<uint8_t> identity = Parse("ramp(identity)").Get<std::vector<uint8_t>>();
  ASSERT_EQ(identity.size(), kRampBytes);
  EXPECT_EQ(identity, GammaRamp(1.0));
  // Entry i of every channel is i * 257; the green channel starts at byte 512.
  for (size_t channel = 0; channel < 3; ++channel) {
    for (size_t i = 0; i < 256; ++i) {
      ASSERT_EQ(Entry(identity, channel, i), i * 257) << channel << " " << i;
    }
  }

  const std::vector<uint8_t> dark = Parse("ramp(gamma=2.2)").Get<std::vector<uint8_t>>();
  for (size_t i : {0u, 1u, 64u, 128u, 255u}) {
    const double expected = std::round(65535.0 * std::pow(i / 255.0, 1.0 / 2.2));
    for (size_t channel = 0; channel < 3; ++channel) {
      EXPECT_EQ(Entry(dark, channel, i), expected) << i;
    }
  }
  EXPECT_EQ(Entry(dark, 0, 128), 47909);

  const std::vector<uint8_t> warm = Parse("ramp(warm)").Get<std::vector<uint8_t>>();
  ASSERT_EQ(warm.size(), kRampBytes);
  EXPECT_EQ(Entry(warm, 0, 255), 65535);
  EXPECT_EQ(Entry(warm, 1, 255), 55705);  // round(65535 * 0.85)
  EXPECT_EQ(Entry(warm, 2, 255), 42598);  // round(65535 * 0.65)
  EXPECT_EQ(Entry(warm, 1, 100), 21845);  // round(25700 * 0.85)

  EXPECT_EQ(Parse("ramp(zero)"), EncodableValue(std::vector<uint8_t>(kRampBytes, 0)));
}

}  // namespace
}  // namespace testbed
