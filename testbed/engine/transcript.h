// The scenario player's record, one event a line, each flushed at once so that a test outside
// the process can follow it while the host runs:
//   T start | T reply LINE CHANNEL none|empty|HEX | T handled LINE MICROSECONDS
//   T mark TEXT | T post MESSAGE WPARAM LPARAM | T await PATH | T close
//   T memory RECORD_BYTES HEAP_IN_USE HEAP_FREE | T error LINE TEXT | T end
// T is milliseconds since the start; free text comes last. Replies are raw bytes: the test
// decodes them. "handled" follows each reply: how long the host's handler took to return.
// A scenario's "gamma DISPLAY ACTION" is recorded as a mark of that text.
#ifndef TESTBED_ENGINE_TRANSCRIPT_H_
#define TESTBED_ENGINE_TRANSCRIPT_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "base/unique_any.h"

namespace testbed {

class Transcript {
 public:
  // What a delivered message got back by the time its handler returned.
  enum class Answer { kNone, kEmpty, kBytes };

  // Writes nowhere until Open succeeds.
  Transcript();
  virtual ~Transcript();

  Transcript(const Transcript&) = delete;
  Transcript& operator=(const Transcript&) = delete;

  // Creates or truncates the file (a UTF-8 path). False when it cannot be opened.
  bool Open(const std::string& path);

  // Starts the clock that T counts from, and writes the start event.
  void Start();

  void Reply(int line, const std::string& channel, Answer answer, const uint8_t* bytes,
             size_t size);
  void Handled(int line, int64_t microseconds);
  void Mark(const std::string& text);
  void Post(uint32_t message, uint64_t wparam, int64_t lparam);
  void Await(const std::string& path);
  void Close();
  // What the stand-in's own records hold, and the bytes in use and free (committed) in all of
  // the process's heaps.
  void Memory(size_t record_bytes, size_t heap_in_use, size_t heap_free);
  void Error(int line, const std::string& text);
  void End();

 private:
  struct FileTraits {
    using Handle = std::FILE*;
    static Handle Null() { return nullptr; }
    void Close(Handle file) const { std::fclose(file); }
  };

  void Write(const char* event, const std::string& fields);

  UniqueAny<FileTraits> file;
  std::chrono::steady_clock::time_point start;
};

}  // namespace testbed

#endif  // TESTBED_ENGINE_TRANSCRIPT_H_
