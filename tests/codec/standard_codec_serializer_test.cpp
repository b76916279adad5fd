#include "codec/standard_codec_serializer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "codec/byte_buffer_stream_reader.h"
#include "codec/byte_buffer_stream_writer.h"
#include "tests/codec/hex.h"

namespace flutter {
namespace {

using codec_test::Concat;
using codec_test::Hex;
using codec_test::kInvalidRead;

const StandardCodecSerializer& Serializer() { return StandardCodecSerializer::GetInstance(); }

std::vector<uint8_t> Encode(const EncodableValue& value) {
  std::vector<uint8_t> bytes;
  ByteBufferStreamWriter writer(&bytes);
  Serializer().WriteValue(value, &writer);
  return bytes;
}

EncodableValue Decode(const std::vector<uint8_t>& bytes) {
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  return Serializer().ReadValue(&reader);
}

// Decodes and returns what was written to the standard error stream.
std::string DecodeReporting(const std::vector<uint8_t>& bytes, EncodableValue* value) {
  testing::internal::CaptureStderr();
  *value = Decode(bytes);
  return testing::internal::GetCapturedStderr();
}

TEST(CodecSerializer, EncodesAndDecodesExactBytes) {
  const struct {
    const char* name;
    EncodableValue value;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"null", EncodableValue(), Hex("00")},
      {"true", EncodableValue(true), Hex("01")},
      {"int32", EncodableValue(int32_t{1}), Hex("03 01000000")},
      {"int64", EncodableValue(int64_t{1}), Hex("04 0100000000000000")},
      {"double", EncodableValue(1.0), Hex("06 00000000000000 000000000000F03F")},
      {"string", EncodableValue("set"), Hex("07 03 736574")},
      {"empty string last", EncodableValue(""), Hex("07 00")},
      {"size 253", EncodableValue(std::string(253, 'x')),
       Concat(Hex("07 FD"), std::vector<uint8_t>(253, 'x'))},
      {"size 254", EncodableValue(std::string(254, 'x')),
       Concat(Hex("07 FEFE00"), std::vector<uint8_t>(254, 'x'))},
      {"size 65535", EncodableValue(std::vector<uint8_t>(65535, 7)),
       Concat(Hex("08 FEFFFF"), std::vector<uint8_t>(65535, 7))},
      {"size 65536", EncodableValue(std::vector<uint8_t>(65536, 7)),
       Concat(Hex("08 FF00000100"), std::vector<uint8_t>(65536, 7))},
      {"int32 list", EncodableValue(std::vector<int32_t>{1}), Hex("09 01 0000 01000000")},
      {"int64 list", EncodableValue(std::vector<int64_t>{-1}),
       Hex("0A 01 000000000000 FFFFFFFFFFFFFFFF")},
      {"double list", EncodableValue(std::vector<double>{1.0, 2.5}),
       Hex("0B 02 000000000000 000000000000F03F 0000000000000440")},
      {"float list", EncodableValue(std::vector<float>{1.0f}), Hex("0E 01 0000 0000803F")},
      {"empty float list", EncodableValue(std::vector<float>{}), Hex("0E 00 0000")},
      {"padding after empty list",
       EncodableValue(EncodableList{true, std::vector<int32_t>{}, int32_t{5}}),
       Hex("0C 03 01 09 00 000000 03 05000000")},
      {"map in key order", EncodableValue(EncodableMap{{"b", int32_t{2}}, {int32_t{9}, "a"}}),
       Hex("0D 02 03 09000000 07 01 61 07 01 62 03 02000000")},
      {"nested", EncodableValue(EncodableList{EncodableList{EncodableMap{}}}),
       Hex("0C 01 0C 01 0D 00")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Encode(c.value), c.bytes) << c.name;
    EncodableValue decoded;
    EXPECT_EQ(DecodeReporting(c.bytes, &decoded), "") << c.name;
    EXPECT_EQ(decoded, c.value) << c.name;
  }
}

// Bytes only a decoder meets: lenient forms, and malformed input that decodes to a fixed
// value with one report and no crash.
TEST(CodecSerializer, DecodesOddAndMalformedInput) {
  const std::string unknown = "Unknown type in StandardCodecSerializer::ReadValueOfType: ";
  const struct {
    std::vector<uint8_t> bytes;
    EncodableValue value;
    std::string report;
  } cases[] = {
      {Hex("05 02 3132"), EncodableValue("12"), ""},         // type 5 reads as a string
      {Hex("07 FE0300 616263"), EncodableValue("abc"), ""},  // long form of a short size
      {Hex("0D 02 07 01 61 03 01000000 07 01 61 03 02000000"),
       EncodableValue(EncodableMap{{"a", int32_t{1}}}), ""},  // repeated key keeps the first
      {Hex("07 03 736574 FF"), EncodableValue("set"), ""},    // trailing bytes are left
      // Truncated numbers decode as zero.
      {Hex("03 01"), EncodableValue(int32_t{0}), kInvalidRead},
      {Hex("06 00000000000000 0000"), EncodableValue(0.0), kInvalidRead},
      {Hex(""), EncodableValue(), kInvalidRead},           // missing type byte
      {Hex("07 FE01"), EncodableValue(""), kInvalidRead},  // missing size bytes: size 0
      // A truncated payload decodes empty and its bytes stay: the list reads them next.
      {Hex("0C 02 07 05 01 02"), EncodableValue(EncodableList{"", true}), kInvalidRead},
      // An unknown type consumes nothing after its byte: the next element follows at once.
      {Hex("0C 02 0F 03 07000000"), EncodableValue(EncodableList{EncodableValue(), int32_t{7}}),
       unknown + "15\n"},
      {Hex("FF"), EncodableValue(), unknown + "255\n"},
      // Six bytes announcing 4,294,967,295 elements: one report, an empty (or one-null)
      // container, and no allocation or loop sized by the count.
      {Hex("07 FFFFFFFFFF"), EncodableValue(""), kInvalidRead},
      {Hex("08 FFFFFFFFFF"), EncodableValue(std::vector<uint8_t>{}), kInvalidRead},
      {Hex("0B FFFFFFFFFF"), EncodableValue(std::vector<double>{}), kInvalidRead},
      {Hex("0C FFFFFFFFFF"), EncodableValue(EncodableList{EncodableValue()}), kInvalidRead},
      {Hex("0D FFFFFFFFFF"), EncodableValue(EncodableMap{{EncodableValue(), EncodableValue()}}),
       kInvalidRead},
      // Elements that are there are kept; the first missing one ends the container.
      {Hex("0C FFFFFFFFFF 01 02"), EncodableValue(EncodableList{true, false, EncodableValue()}),
       kInvalidRead},
      {Hex("0D FFFFFFFFFF 07 01 61 01"),
       EncodableValue(EncodableMap{{"a", true}, {EncodableValue(), EncodableValue()}}),
       kInvalidRead},
      {Hex("0D FFFFFFFFFF 07 01 61"), EncodableValue(EncodableMap{{"a", EncodableValue()}}),
       kInvalidRead},
  };
  for (const auto& c : cases) {
    EncodableValue value;
    EXPECT_EQ(DecodeReporting(c.bytes, &value), c.report) << testing::PrintToString(c.bytes);
    EXPECT_EQ(value, c.value) << testing::PrintToString(c.bytes);
  }
}

TEST(CodecSerializer, DecodesIntoAnUnalignedBuffer) {
  // The payload is aligned to the message start, not to memory: shift the message by one.
  const std::vector<uint8_t> message = Hex("0B 02 000000000000 000000000000F03F 0000000000000440");
  std::vector<uint8_t> storage(message.size() + 1);
  std::memcpy(storage.data() + 1, message.data(), message.size());
  ByteBufferStreamReader reader(storage.data() + 1, message.size());
  EXPECT_EQ(Serializer().ReadValue(&reader), EncodableValue(std::vector<double>{1.0, 2.5}));
}

EncodableValue NestedLists(int depth, EncodableValue value = int32_t{1}) {
  for (int i = 0; i < depth; ++i) value = EncodableList{std::move(value)};
  return value;
}

TEST(CodecSerializer, NestingBeyondTheLimitDecodesAsNull) {
  const EncodableValue deepest = NestedLists(StandardCodecSerializer::kMaxNestingDepth);
  EncodableValue value;
  EXPECT_EQ(DecodeReporting(Encode(deepest), &value), "");
  EXPECT_EQ(value, deepest);

  std::vector<uint8_t> bytes;
  for (int i = 0; i < 100000; ++i) bytes.insert(bytes.end(), {0x0C, 0x01});
  EXPECT_EQ(DecodeReporting(bytes, &value),
            "Nesting too deep in StandardCodecSerializer::ReadValueOfType; decoding as null\n");
  EXPECT_EQ(value, NestedLists(StandardCodecSerializer::kMaxNestingDepth, EncodableValue()));

  // Two deep parts side by side in one message: reported once, and the next decode starts
  // from zero.
  bytes = {0x0C, 0x02};
  for (int part = 0; part < 2; ++part) {
    for (int i = 1; i < StandardCodecSerializer::kMaxNestingDepth; ++i) {
      bytes.insert(bytes.end(), {0x0C, 0x01});
    }
    bytes.push_back(0x0C);  // cut: only the type byte is read
  }
  const std::string report = DecodeReporting(bytes, &value);
  EXPECT_EQ(report.find("Nesting"), report.rfind("Nesting"));
  EXPECT_NE(report.find("Nesting"), std::string::npos);
  // Maps count too.
  EXPECT_EQ(Decode(Hex("0D 01 0C 00 0D 00")),
            EncodableValue(EncodableMap{{EncodableList{}, EncodableMap{}}}));
}

}  // namespace
}  // namespace flutter
