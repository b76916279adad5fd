// Transcript lines as end-to-end tests read them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <limits>
#include <regex>
#include <string>
#include <vector>

#include "codec/encodable_value.h"
#include "codec/standard_method_codec.h"
#include "testbed/engine/transcript.h"

namespace testbed {
namespace {

using flutter::EncodableValue;

TEST(TranscriptTest, RepliesAreToldApartAndTextStaysUtf8) {
  const std::string path = ::testing::TempDir() + "transcript_test.jsonl";
  const auto& codec = flutter::StandardMethodCodec::GetInstance();
  // Values a strict JSON reader takes: big integers, NaN as null, bytes as hex, keys as text.
  const EncodableValue value(flutter::EncodableList{
      EncodableValue(int64_t{-5000000000}),
      EncodableValue(std::numeric_limits<double>::quiet_NaN()),
      EncodableValue(std::vector<uint8_t>{0x00, 0xFE}),
      EncodableValue(flutter::EncodableMap{{EncodableValue(int32_t{2}), EncodableValue()}})});
  const std::string set = "set";
  const std::vector<uint8_t> replies[] = {
      *codec.EncodeSuccessEnvelope(&value),
      *codec.EncodeErrorEnvelope("bad_args", "ramp must be 1536 bytes"),
      {0x01, 0x03, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00},  // error envelope, integer code
  };
  {
    Transcript transcript;
    ASSERT_TRUE(transcript.Open(path));
    transcript.Start();
    for (const auto& reply : replies) {
      transcript.Reply(3, "c", &set, Transcript::Answer::kBytes, reply.data(), reply.size());
    }
    transcript.Reply(4, "c", nullptr, Transcript::Answer::kEmpty, nullptr, 0);
    transcript.Reply(5, "c", &set, Transcript::Answer::kNone, nullptr, 0);
    transcript.Mark("a \"b\"\n\x01 \xC3\xA9 \xFF");
  }
  const std::vector<std::string> expected = {
      R"({"event":"start"})",
      R"({"event":"reply","line":3,"channel":"c","method":"set","reply":"success","value":[-5000000000,null,{"bytes":"00fe"},{"2":null}]})",
      R"({"event":"reply","line":3,"channel":"c","method":"set","reply":"error","code":"bad_args","message":"ramp must be 1536 bytes"})",
      R"({"event":"reply","line":3,"channel":"c","method":"set","reply":"bytes","hex":"0103050000000000"})",
      R"({"event":"reply","line":4,"channel":"c","reply":"empty"})",
      R"({"event":"reply","line":5,"channel":"c","method":"set","reply":"none"})",
      "{\"event\":\"mark\",\"text\":\"a \\\"b\\\"\\n\\u0001 \xC3\xA9 \\ufffd\"}",
  };
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  const std::regex time("^\\{\"t\":[0-9]+,");
  for (std::string line; std::getline(in, line);) {
    EXPECT_TRUE(std::regex_search(line, time)) << line;
    lines.push_back(std::regex_replace(line, time, "{"));
  }
  in.close();
  std::remove(path.c_str());
  EXPECT_EQ(lines, expected);
}

}  // namespace
}  // namespace testbed
