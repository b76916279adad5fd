#if defined(_MSC_VER) && !defined(_CRT_SECURE_NO_WARNINGS)
// fopen in append mode is wanted as is: its sharing rules let the log be read while
// the guard runs.
#define _CRT_SECURE_NO_WARNINGS
#endif

#include "gamma/guard_log.h"

#include <cstring>

#if defined(_WIN32)
#include <windows.h>
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

}  // namespace

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

void WriteGuardLogLine(std::FILE* file, const GuardLogTime& time, const char* message) {
  std::fprintf(file, "%04d-%02d-%02d %02d:%02d:%02d  %s\n", time.year, time.month, time.day,
               time.hour, time.minute, time.second, message != nullptr ? message : "");
}
