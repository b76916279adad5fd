#include "codec/encodable_value.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace flutter {
namespace {

// Map keys rely on a strict weak order: each pair orders one way only (or neither way, when
// equivalent).
TEST(CodecEncodableValue, Ordering) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    const char* name;
    EncodableValue less;
    EncodableValue greater;
    bool equivalent;
  } cases[] = {
      {"position before magnitude", EncodableValue(int32_t{7}), EncodableValue(int64_t{-5}), false},
      {"signed 32", EncodableValue(int32_t{-1}), EncodableValue(int32_t{0}), false},
      {"byte order", EncodableValue("B"), EncodableValue("a"), false},
      {"bytes unsigned", EncodableValue(std::vector<uint8_t>{0x7f}),
       EncodableValue(std::vector<uint8_t>{0x80}), false},
      {"double list skips NaN", EncodableValue(std::vector<double>{nan, 1.0}),
       EncodableValue(std::vector<double>{0.0, 2.0}), false},
      {"float list after custom", EncodableValue(CustomEncodableValue(1)),
       EncodableValue(std::vector<float>{}), false},
      {"list recursive", EncodableValue(EncodableList{int32_t{1}, "b"}),
       EncodableValue(EncodableList{int32_t{1}, "c"}), false},
      {"map by value", EncodableValue(EncodableMap{{"a", int32_t{1}}}),
       EncodableValue(EncodableMap{{"a", int32_t{2}}}), false},
      {"map prefix", EncodableValue(EncodableMap{{"a", int32_t{1}}}),
       EncodableValue(EncodableMap{{"a", int32_t{1}}, {"b", int32_t{1}}}), false},
      {"NaN equivalent to all", EncodableValue(nan), EncodableValue(1.0), true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.less < c.greater, !c.equivalent) << c.name;
    EXPECT_FALSE(c.greater < c.less) << c.name;
  }
}

}  // namespace
}  // namespace flutter
