#include "testbed/engine/transcript.h"

#include "codec/bad_variant_access.h"
#include "codec/method_result.h"
#include "codec/standard_method_codec.h"
#include "testbed/engine/json_text.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace testbed {

namespace {

// Keeps the decoded answer as transcript fields.
class RecordingResult : public flutter::MethodResult {
 public:
  std::string fields;

 protected:
  void HandleSuccess(const flutter::EncodableValue* result) override {
    fields = "\"reply\":\"success\"";
    if (result != nullptr && !result->IsNull()) {
      fields += ",\"value\":" + JsonValue(*result);
    }
  }
  void HandleError(const std::string& error_code, const std::string& error_message,
                   const flutter::EncodableValue* error_details) override {
    fields = "\"reply\":\"error\",\"code\":" + JsonString(error_code) +
             ",\"message\":" + JsonString(error_message);
    if (error_details != nullptr && !error_details->IsNull()) {
      fields += ",\"details\":" + JsonValue(*error_details);
    }
  }
  void HandleNotImplemented() override {}
};

std::string ReplyFields(Transcript::Answer answer, const uint8_t* bytes, size_t size) {
  if (answer == Transcript::Answer::kNone) {
    return "\"reply\":\"none\"";
  }
  if (answer == Transcript::Answer::kEmpty || size == 0) {
    return "\"reply\":\"empty\"";
  }
  // Only envelope tags go to the codec; it would take anything else for a bare success.
  if (bytes[0] == 0 || bytes[0] == 1) {
    RecordingResult result;
    try {
      if (flutter::StandardMethodCodec::GetInstance().DecodeAndProcessResponseEnvelope(bytes, size,
                                                                                       &result) &&
          !result.fields.empty()) {
        return result.fields;
      }
    } catch (const flutter::BadVariantAccess&) {
      // A malformed error envelope: shown as raw bytes below.
    }
  }
  return "\"reply\":\"bytes\",\"hex\":\"" + HexText(bytes, size) + "\"";
}

std::FILE* OpenForWriting(const std::string& path) {
#if defined(_WIN32)
  const int length = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
  if (length <= 0) {
    return nullptr;
  }
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, &wide[0], length);
  return _wfopen(wide.c_str(), L"wb");
#else
  return std::fopen(path.c_str(), "wb");
#endif
}

}  // namespace

Transcript::Transcript() : start(std::chrono::steady_clock::now()) {}

Transcript::~Transcript() = default;

bool Transcript::Open(const std::string& path) {
  file.reset(OpenForWriting(path));
  return file != nullptr;
}

void Transcript::Start() {
  start = std::chrono::steady_clock::now();
  Write("start", "");
}

void Transcript::Reply(int line, const std::string& channel, const std::string* method,
                       Answer answer, const uint8_t* bytes, size_t size) {
  std::string fields = "\"line\":" + std::to_string(line) + ",\"channel\":" + JsonString(channel);
  if (method != nullptr) {
    fields += ",\"method\":" + JsonString(*method);
  }
  Write("reply", fields + "," + ReplyFields(answer, bytes, size));
}

void Transcript::Mark(const std::string& text) { Write("mark", "\"text\":" + JsonString(text)); }

void Transcript::Post(uint32_t message, uint64_t wparam, int64_t lparam) {
  Write("post", "\"message\":" + std::to_string(message) + ",\"wparam\":" + std::to_string(wparam) +
                    ",\"lparam\":" + std::to_string(lparam));
}

void Transcript::Await(const std::string& path) { Write("await", "\"path\":" + JsonString(path)); }

void Transcript::Close() { Write("close", ""); }

void Transcript::Error(int line, const std::string& text) {
  Write("error", "\"line\":" + std::to_string(line) + ",\"text\":" + JsonString(text));
}

void Transcript::End() { Write("end", ""); }

void Transcript::Write(const char* event, const std::string& fields) {
  if (!file) {
    return;
  }
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count();
  std::string line =
      "{\"t\":" + std::to_string(static_cast<long long>(elapsed)) + ",\"event\":\"" + event + "\"";
  if (!fields.empty()) {
    line += "," + fields;
  }
  line += "}\n";
  std::fwrite(line.data(), 1, line.size(), file.get());
  std::fflush(file.get());
}

}  // namespace testbed
