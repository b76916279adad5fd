#include "testbed/engine/transcript.h"

#include "testbed/engine/hex_text.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace testbed {

namespace {

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
  file.Reset(OpenForWriting(path));
  return static_cast<bool>(file);
}

void Transcript::Start() {
  start = std::chrono::steady_clock::now();
  Write("start", "");
}

void Transcript::Reply(int line, const std::string& channel, Answer answer, const uint8_t* bytes,
                       size_t size) {
  std::string reply = "none";
  if (answer != Answer::kNone) {
    reply = answer == Answer::kEmpty || size == 0
                ? "empty"
                : HexText(std::string_view(reinterpret_cast<const char*>(bytes), size));
  }
  Write("reply", std::to_string(line) + " " + channel + " " + reply);
}

void Transcript::Handled(int line, int64_t microseconds) {
  Write("handled", std::to_string(line) + " " + std::to_string(microseconds));
}

void Transcript::Mark(const std::string& text) { Write("mark", text); }

void Transcript::Post(uint32_t message, uint64_t wparam, int64_t lparam) {
  Write("post",
        std::to_string(message) + " " + std::to_string(wparam) + " " + std::to_string(lparam));
}

void Transcript::Await(const std::string& path) { Write("await", path); }

void Transcript::Close() { Write("close", ""); }

void Transcript::Memory(size_t record_bytes, size_t heap_in_use, size_t heap_free) {
  Write("memory", std::to_string(record_bytes) + " " + std::to_string(heap_in_use) + " " +
                      std::to_string(heap_free));
}

void Transcript::Error(int line, const std::string& text) {
  Write("error", std::to_string(line) + " " + text);
}

void Transcript::End() { Write("end", ""); }

void Transcript::Write(const char* event, const std::string& fields) {
  if (!file) {
    return;
  }
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count();
  std::string line = std::to_string(static_cast<long long>(elapsed)) + " " + event;
  if (!fields.empty()) {
    line += " " + fields;
  }
  line += "\n";
  std::fwrite(line.data(), 1, line.size(), file.Get());
  std::fflush(file.Get());
}

}  // namespace testbed
