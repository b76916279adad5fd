// Points the guard's log at a fresh directory of the test's own for its lifetime (TMPDIR
// natively; TMP and TEMP on Windows, which GetTempPathA follows) and reads it back.
#ifndef TESTS_GAMMA_SCOPED_LOG_DIRECTORY_H_
#define TESTS_GAMMA_SCOPED_LOG_DIRECTORY_H_

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "gamma/guard_log.h"

class ScopedLogDirectory {
 public:
  ScopedLogDirectory() {
    static int counter = 0;
    directory = std::filesystem::temp_directory_path() /
                ("gamma_log_test_" + std::to_string(Pid()) + "_" + std::to_string(++counter));
    std::filesystem::remove_all(directory);
    std::filesystem::create_directories(directory);
    PointLogAt(directory.string());
  }

  ~ScopedLogDirectory() {
#if defined(_WIN32)
    SetEnvironmentVariableA("TMP", saved_tmp.empty() ? nullptr : saved_tmp.c_str());
    SetEnvironmentVariableA("TEMP", saved_temp.empty() ? nullptr : saved_temp.c_str());
#else
    if (saved_tmpdir.empty()) {
      unsetenv("TMPDIR");
    } else {
      setenv("TMPDIR", saved_tmpdir.c_str(), 1);
    }
#endif
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
  }

  ScopedLogDirectory(const ScopedLogDirectory&) = delete;
  ScopedLogDirectory& operator=(const ScopedLogDirectory&) = delete;

  // Makes the log's temporary directory path (which need not exist).
  void PointLogAt(const std::string& path) {
#if defined(_WIN32)
    SetEnvironmentVariableA("TMP", path.c_str());
    SetEnvironmentVariableA("TEMP", path.c_str());
#else
    setenv("TMPDIR", path.c_str(), 1);
#endif
  }

  std::filesystem::path LogFile() const { return directory / kGuardLogFileName; }

  // The file's bytes as written, line ends included.
  std::string Contents() const {
    std::ifstream in(LogFile(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // The messages of the log's lines, time stamps and line ends removed.
  std::vector<std::string> Messages() const {
    std::vector<std::string> messages;
    std::ifstream in(LogFile(), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') {
        line.pop_back();
      }
      // "YYYY-MM-DD hh:mm:ss  " is 21 characters.
      messages.push_back(line.size() >= 21 ? line.substr(21) : "<short line: " + line + ">");
    }
    return messages;
  }

  std::filesystem::path directory;

 private:
  static long Pid() {
#if defined(_WIN32)
    return static_cast<long>(GetCurrentProcessId());
#else
    return static_cast<long>(getpid());
#endif
  }

#if defined(_WIN32)
  static std::string Env(const char* name) {
    char buffer[1024];
    const DWORD length = GetEnvironmentVariableA(name, buffer, sizeof(buffer));
    return length > 0 && length < sizeof(buffer) ? std::string(buffer, length) : "";
  }

  std::string saved_tmp = Env("TMP");
  std::string saved_temp = Env("TEMP");
#else
  static std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
  }

  std::string saved_tmpdir = Env("TMPDIR");
#endif
};

#endif  // TESTS_GAMMA_SCOPED_LOG_DIRECTORY_H_
