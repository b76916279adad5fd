#include "gamma/guard_log.h"

#include <cstring>

#if defined(_WIN32)
#include <windows.h>

#include <cstdio>
#else
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>
#endif

namespace {

// Fills path with the temporary directory, ending in a separator, followed by the log
// file name. False when there is no usable temporary directory.
bool LogPath(char (&path)[kTempPathBufferSize + sizeof(kGuardLogFileName)]) {
  // One spare byte keeps the buffer terminated whatever the system wrote into it.
  char directory[kTempPathBufferSize + 1] = {};
  static_assert(sizeof(directory) > kTempPathBufferSize, "GetTempPathA may fill the whole size");
  std::size_t length = 0;
#if defined(_WIN32)
  const DWORD reported = GetTempPathA(kTempPathBufferSize, directory);
  // A successful call reports the length without the terminator, so it is always below
  // the buffer size; anything else means no path was copied.
  if (reported < 1 || reported >= kTempPathBufferSize) {
    return false;
  }
  length = std::strlen(directory);
#else
  // TMPDIR, or /tmp without it.
  std::error_code error;
  const std::string tmpdir = std::filesystem::temp_directory_path(error).string();
  // The same limit as the Windows buffer: path, separator and terminator must fit.
  if (error || tmpdir.size() + 1 >= kTempPathBufferSize) {
    return false;
  }
  std::memcpy(directory, tmpdir.data(), tmpdir.size());
  directory[tmpdir.size()] = '/';
  length = tmpdir.size() + 1;
#endif
  std::memcpy(path, directory, length);
  std::memcpy(path + length, kGuardLogFileName, sizeof(kGuardLogFileName));
  return true;
}

GuardLogTime LocalTimeNow() {
#if defined(_WIN32)
  SYSTEMTIME now;
  GetLocalTime(&now);
  return GuardLogTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
#else
  const std::time_t seconds = std::time(nullptr);
  std::tm now = {};
  localtime_r(&seconds, &now);
  return GuardLogTime{now.tm_year + 1900, now.tm_mon + 1, now.tm_mday,
                      now.tm_hour,        now.tm_min,     now.tm_sec};
#endif
}

#if defined(_WIN32)
// Appends to a file handle in bounded pieces, turning each '\n' into CR LF as a text-mode
// stream would.
class TextAppender {
 public:
  explicit TextAppender(HANDLE out) : file(out) {}

  void Add(const char* text) {
    for (; *text != '\0'; ++text) {
      if (used + 2 > sizeof(buffer)) {
        Flush();
      }
      if (*text == '\n') {
        buffer[used++] = '\r';
      }
      buffer[used++] = *text;
    }
  }

  void Flush() {
    DWORD written = 0;
    if (used > 0) {
      ::WriteFile(file, buffer, static_cast<DWORD>(used), &written, nullptr);
    }
    used = 0;
  }

 private:
  HANDLE file;
  char buffer[256];
  std::size_t used = 0;
};
#endif

}  // namespace

#if defined(_WIN32)
// The bytes of fopen(path, "a") and fprintf, without the runtime's stream: opening a C stream
// under some runtimes costs twice the file's own open, write and close, and a slider drag logs
// two lines per call. Same sharing (read and write), same creation, appended at the end.
void GuardLog(const char* message) {
  char path[kTempPathBufferSize + sizeof(kGuardLogFileName)];
  if (!LogPath(path)) {
    return;
  }
  const HANDLE file = ::CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return;
  }
  const GuardLogTime time = LocalTimeNow();
  char stamp[48];
  std::snprintf(stamp, sizeof(stamp), "%04d-%02d-%02d %02d:%02d:%02d  ", time.year, time.month,
                time.day, time.hour, time.minute, time.second);
  TextAppender line(file);
  line.Add(stamp);
  line.Add(message != nullptr ? message : "");
  line.Add("\n");
  line.Flush();
  ::CloseHandle(file);
}
#else
void GuardLog(const char* message) {
  char path[kTempPathBufferSize + sizeof(kGuardLogFileName)];
  if (!LogPath(path)) {
    return;
  }
  std::FILE* file = std::fopen(path, "a");
  if (file == nullptr) {
    return;
  }
  WriteGuardLogLine(file, LocalTimeNow(), message);
  std::fclose(file);
}
#endif

void WriteGuardLogLine(std::FILE* file, const GuardLogTime& time, const char* message) {
  std::fprintf(file, "%04d-%02d-%02d %02d:%02d:%02d  %s\n", time.year, time.month, time.day,
               time.hour, time.minute, time.second, message != nullptr ? message : "");
}
