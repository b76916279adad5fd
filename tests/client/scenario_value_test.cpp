// The scenario value notation: the types it picks, the inputs it refuses, the ramps it makes.
#include <gtest/gtest.h>

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
using Bytes = std::vector<uint8_t>;

EncodableValue Parse(const std::string& text) {
  EncodableValue value;
  std::string error;
  EXPECT_TRUE(ParseScenarioValue(text, &value, &error)) << text << ": " << error;
  return value;
}

TEST(ScenarioValueTest, PicksTheTypeTheUserInterfaceWouldSend) {
  const struct {
    const char* text;
    EncodableValue expected;
  } kCases[] = {
      {"-2147483648", EncodableValue(int32_t{-2147483647 - 1})},
      {"2147483648", EncodableValue(int64_t{2147483648})},
      {"1e3", EncodableValue(1000.0)},
      {R"("a\"b\\c\nd")", EncodableValue(std::string("a\"b\\c\nd"))},
      {R"("\u00e9\ud83d\ude00")", EncodableValue(std::string("\xC3\xA9\xF0\x9F\x98\x80"))},
      {"{\"a\": [], 2: null}",
       EncodableValue(EncodableMap{{EncodableValue("a"), EncodableValue(EncodableList{})},
                                   {EncodableValue(int32_t{2}), EncodableValue()}})},
      {"bytes(00 ff 7F)", EncodableValue(Bytes{0x00, 0xFF, 0x7F})},
      {"bytes(len = 2 , fill = 0xAB)", EncodableValue(Bytes{0xAB, 0xAB})},
      {"i32list(1, -2)", EncodableValue(std::vector<int32_t>{1, -2})},
  };
  for (const auto& test : kCases) {
    EXPECT_EQ(Parse(test.text), test.expected) << test.text;
  }
}

TEST(ScenarioValueTest, RefusesBadInputWithoutTouchingTheValue) {
  auto refused = [](const std::string& text) {
    EncodableValue value(int32_t{42});
    std::string error;
    return !ParseScenarioValue(text, &value, &error) && !error.empty() &&
           value == EncodableValue(int32_t{42});
  };
  for (const char* text : {"", "1 2", "9223372036854775808", "\"open", "\"\\ud83d\"", "[1,",
                           "{\"a\" 1}", "{\"a\": 1, \"a\": 2}", "bytes(00",
                           "bytes(len=99999999999)", "ramp(gamma=0)", "i32list(2147483648)"}) {
    EXPECT_TRUE(refused(text)) << text;
  }
  EXPECT_TRUE(refused(std::string(100000, '[')));  // far deeper than the stack would take
}

TEST(ScenarioValueTest, RampEntriesAreLittleEndianPerChannel) {
  // Green starts at byte 512; warm is identity scaled by 1, 0.85, 0.65.
  const struct {
    const char* text;
    size_t channel, entry;
    int expected;
  } kCases[] = {{"ramp(identity)", 1, 1, 257},      {"ramp(identity)", 2, 255, 65535},
                {"ramp(gamma=2.2)", 0, 128, 47909}, {"ramp(gamma=2.2)", 2, 64, 34961},
                {"ramp(warm)", 0, 255, 65535},      {"ramp(warm)", 1, 100, 21845},
                {"ramp(warm)", 2, 255, 42598},      {"ramp(zero)", 2, 255, 0}};
  for (const auto& test : kCases) {
    const Bytes ramp = Parse(test.text).Get<Bytes>();
    ASSERT_EQ(ramp.size(), kRampBytes) << test.text;
    const size_t at = 2 * (kRampEntries * test.channel + test.entry);
    EXPECT_EQ(ramp[at] | ramp[at + 1] << 8, test.expected) << test.text << " " << test.entry;
  }
}

}  // namespace
}  // namespace testbed
