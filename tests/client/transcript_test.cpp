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
#include "testbed/engine/json_text.h"
#include "testbed/engine/scenario_value.h"
#include "testbed/engine/transcript.h"

namespace testbed {
namespace {

class TranscriptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = ::testing::TempDir() + "transcript_test.jsonl";
    ASSERT_TRUE(transcript.Open(path));
  }
  void TearDown() override { std::remove(path.c_str()); }

  // The lines written so far, each with its time field checked and removed.
  std::vector<std::string> Lines() {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    const std::regex time("^\\{\"t\":[0-9]+,");
    while (std::getline(in, line)) {
      EXPECT_TRUE(std::regex_search(line, time)) << line;
      lines.push_back(std::regex_replace(line, time, "{"));
    }
    return lines;
  }

  std::string path;
  Transcript transcript;
};

TEST_F(TranscriptTest, RepliesAreToldApart) {
  const auto& codec = flutter::StandardMethodCodec::GetInstance();
  const std::string set = "set";
  const flutter::EncodableValue five(int32_t{5});
  const std::vector<uint8_t> success = *codec.EncodeSuccessEnvelope();
  const std::vector<uint8_t> value = *codec.EncodeSuccessEnvelope(&five);
  const std::vector<uint8_t> error =
      *codec.EncodeErrorEnvelope("bad_args", "ramp must be 1536 bytes");
  const std::vector<uint8_t> details = *codec.EncodeErrorEnvelope("c", "", &five);
  // An error envelope whose code is an integer, and an unknown tag.
  const std::vector<uint8_t> malformed = {0x01, 0x03, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00};
  const std::vector<uint8_t> other = {0x02, 0xAB};

  transcript.Start();
  transcript.Reply(3, "veskaro/gamma", &set, Transcript::Answer::kBytes, success.data(),
                   success.size());
  transcript.Reply(4, "c", &set, Transcript::Answer::kBytes, value.data(), value.size());
  transcript.Reply(5, "c", &set, Transcript::Answer::kBytes, error.data(), error.size());
  transcript.Reply(6, "c", &set, Transcript::Answer::kBytes, details.data(), details.size());
  transcript.Reply(7, "c", nullptr, Transcript::Answer::kBytes, malformed.data(), malformed.size());
  transcript.Reply(8, "c", nullptr, Transcript::Answer::kBytes, other.data(), other.size());
  transcript.Reply(9, "c", &set, Transcript::Answer::kEmpty, nullptr, 0);
  transcript.Reply(10, "c", &set, Transcript::Answer::kNone, nullptr, 0);

  const std::vector<std::string> expected = {
      R"({"event":"start"})",
      R"({"event":"reply","line":3,"channel":"veskaro/gamma","method":"set","reply":"success"})",
      R"({"event":"reply","line":4,"channel":"c","method":"set","reply":"success","value":5})",
      R"({"event":"reply","line":5,"channel":"c","method":"set","reply":"error","code":"bad_args","message":"ramp must be 1536 bytes"})",
      R"({"event":"reply","line":6,"channel":"c","method":"set","reply":"error","code":"c","message":"","details":5})",
      R"({"event":"reply","line":7,"channel":"c","reply":"bytes","hex":"0103050000000000"})",
      R"({"event":"reply","line":8,"channel":"c","reply":"bytes","hex":"02ab"})",
      R"({"event":"reply","line":9,"channel":"c","method":"set","reply":"empty"})",
      R"({"event":"reply","line":10,"channel":"c","method":"set","reply":"none"})",
  };
  EXPECT_EQ(Lines(), expected);
}

TEST_F(TranscriptTest, OtherEventsAndEscaping) {
  transcript.Start();
  transcript.Mark("a \"b\"\n\x01 \xC3\xA9 \xFF");
  transcript.Post(126, 32, -1);
  transcript.Await("Z:\\tmp\\go");
  transcript.Error(12, "unknown command 'x'");
  transcript.Close();
  transcript.End();
  const std::vector<std::string> expected = {
      R"({"event":"start"})",
      "{\"event\":\"mark\",\"text\":\"a \\\"b\\\"\\n\\u0001 \xC3\xA9 \\ufffd\"}",
      R"({"event":"post","message":126,"wparam":32,"lparam":-1})",
      R"({"event":"await","path":"Z:\\tmp\\go"})",
      R"({"event":"error","line":12,"text":"unknown command 'x'"})",
      R"({"event":"close"})",
      R"({"event":"end"})",
  };
  EXPECT_EQ(Lines(), expected);
}

TEST(JsonTextTest, Values) {
  using flutter::EncodableList;
  using flutter::EncodableMap;
  using flutter::EncodableValue;
  const struct {
    EncodableValue value;
    const char* json;
  } kCases[] = {
      {EncodableValue(), "null"},
      {EncodableValue(true), "true"},
      {EncodableValue(int64_t{-5000000000}), "-5000000000"},
      {EncodableValue(0.5), "0.5"},
      {EncodableValue(std::numeric_limits<double>::quiet_NaN()), "null"},
      {EncodableValue(std::vector<uint8_t>{0x00, 0xFE}), R"({"bytes":"00fe"})"},
      {EncodableValue(std::vector<int32_t>{1, -2}), "[1,-2]"},
      {EncodableValue(std::vector<double>{1.5}), "[1.5]"},
      {EncodableValue(EncodableList{EncodableValue("x"), EncodableValue()}), R"(["x",null])"},
      {EncodableValue(EncodableMap{{EncodableValue("k"), EncodableValue(int32_t{1})},
                                   {EncodableValue(int32_t{2}), EncodableValue(false)}}),
       R"({"2":false,"k":1})"},
  };
  for (const auto& test : kCases) {
    EXPECT_EQ(JsonValue(test.value), test.json);
  }
}

}  // namespace
}  // namespace testbed
