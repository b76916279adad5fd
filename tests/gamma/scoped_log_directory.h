// Points the guard's log at a fresh directory for the test's lifetime (TMPDIR natively;
// TMP and TEMP on Windows, which GetTempPathA follows) and reads the messages back.
#ifndef TESTS_GAMMA_SCOPED_LOG_DIRECTORY_H_
#define TESTS_GAMMA_SCOPED_LOG_DIRECTORY_H_

#include <algorithm>
#include <cstdlib>  // setenv
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#define TEST_PROCESS_ID GetCurrentProcessId()
#else
#include <unistd.h>
#define TEST_PROCESS_ID getpid()
#endif

#include "gamma/guard_log.h"

class ScopedLogDirectory {
 public:
  ScopedLogDirectory() {
    static int count = 0;
    directory = std::filesystem::temp_directory_path() /
                ("gamma_test_" + std::to_string(TEST_PROCESS_ID) + "_" + std::to_string(++count));
    std::filesystem::create_directories(directory);
    PointLogAt(directory.string());
  }
  ~ScopedLogDirectory() {
    PointLogAt(saved);
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
  }
  ScopedLogDirectory(const ScopedLogDirectory&) = delete;
  ScopedLogDirectory& operator=(const ScopedLogDirectory&) = delete;

  // The directory need not exist.
  static void PointLogAt(const std::string& path) {
#if defined(_WIN32)
    SetEnvironmentVariableA("TMP", path.c_str());
    SetEnvironmentVariableA("TEMP", path.c_str());
#else
    setenv("TMPDIR", path.c_str(), 1);
#endif
  }

  std::filesystem::path LogFile() const { return directory / kGuardLogFileName; }

  // The lines' messages: "YYYY-MM-DD hh:mm:ss  " and line ends removed.
  std::vector<std::string> Messages() const {
    std::vector<std::string> messages;
    std::ifstream in(LogFile(), std::ios::binary);
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      messages.push_back(line.substr(std::min<std::size_t>(21, line.size())));
    }
    return messages;
  }

  std::filesystem::path directory;

 private:
  std::string saved = std::filesystem::temp_directory_path().string();
};

#endif  // TESTS_GAMMA_SCOPED_LOG_DIRECTORY_H_
