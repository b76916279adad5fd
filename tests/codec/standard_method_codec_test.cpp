#include "codec/standard_method_codec.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/codec/hex.h"

namespace flutter {
namespace {

using codec_test::Concat;
using codec_test::Hex;
using codec_test::kInvalidRead;

const StandardMethodCodec& Codec() { return StandardMethodCodec::GetInstance(); }

const char kNotAString[] = "Invalid method call; method name is not a string.\n";

// "clear" without arguments reads them as null after a report; a call whose name is not a
// string is refused.
TEST(CodecMethodCodec, DecodesShortCallsAndRefusesNamelessOnes) {
  const struct {
    std::vector<uint8_t> bytes;
    const char* name;  // null: refused
    std::string report;
  } cases[] = {
      {Hex("07 05 636C656172"), "clear", kInvalidRead},
      {Hex("03 01000000"), nullptr, kNotAString},
      {Hex(""), nullptr, std::string(kInvalidRead) + kNotAString},
  };
  for (const auto& c : cases) {
    testing::internal::CaptureStderr();
    std::unique_ptr<MethodCall> call = Codec().DecodeMethodCall(c.bytes.data(), c.bytes.size());
    const std::string report = testing::internal::GetCapturedStderr();
    EXPECT_EQ(report, c.report);
    ASSERT_EQ(call != nullptr, c.name != nullptr) << report;
    if (call != nullptr) {
      EXPECT_EQ(call->MethodName(), c.name);
      ASSERT_NE(call->Arguments(), nullptr);
      EXPECT_TRUE(call->Arguments()->IsNull());
    }
  }
}

TEST(CodecMethodCodec, EncodesCallsAndEnvelopes) {
  const EncodableValue five(int32_t{5});
  const std::vector<uint8_t> bad_args = Hex("07 08 6261645F61726773");
  struct Case {
    const char* name;
    std::unique_ptr<std::vector<uint8_t>> bytes;
    std::vector<uint8_t> expected;
  };
  Case cases[] = {
      {"call without arguments", Codec().EncodeMethodCall(MethodCall("clear", nullptr)),
       Hex("07 05 636C656172 00")},
      {"call", Codec().EncodeMethodCall(MethodCall("set", std::make_unique<EncodableValue>(five))),
       Hex("07 03 736574 03 05000000")},
      {"success", Codec().EncodeSuccessEnvelope(), Hex("00 00")},
      {"success 5", Codec().EncodeSuccessEnvelope(&five), Hex("00 03 05000000")},
      {"error", Codec().EncodeErrorEnvelope("bad_args", "ramp must be 1536 bytes"),
       Concat(Concat(Hex("01"), bad_args),
              Hex("07 17 72616D70206D7573742062652031353336206279746573 00"))},
      {"error without message", Codec().EncodeErrorEnvelope("bad_args", ""),
       Concat(Concat(Hex("01"), bad_args), Hex("00 00"))},
      {"details", Codec().EncodeErrorEnvelope("", "m", &five),
       Hex("01 07 00 07 01 6D 03 05000000")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(*c.bytes, c.expected) << c.name;
  }
}

}  // namespace
}  // namespace flutter
