#include "gamma/guard_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <string>

#include "tests/gamma/scoped_log_directory.h"

namespace {

TEST(GuardLog, AppendsLinesStampedWithTheLocalDate) {
  const auto today = [] {
    const std::time_t now = std::time(nullptr);
    char date[16] = {};
    std::strftime(date, sizeof(date), "%Y-%m-%d", std::localtime(&now));
    return std::string(date);
  };
  ScopedLogDirectory log;
  std::ofstream(log.LogFile(), std::ios::binary) << "0000-00-00 00:00:00  earlier\n";
  const std::string before = today();
  GuardLog("first");
  GuardLog("second");
  EXPECT_EQ(log.Messages(), (std::vector<std::string>{"earlier", "first", "second"}));
  std::ifstream in(log.LogFile());
  std::string line;
  std::getline(in, line);
  std::getline(in, line);
  EXPECT_TRUE(line.substr(0, 10) == before || line.substr(0, 10) == today()) << line;
}

// A missing directory loses the line silently.
TEST(GuardLog, LosesLinesSilentlyWithoutAUsableDirectory) {
  ScopedLogDirectory log;
  ScopedLogDirectory::PointLogAt((log.directory / "missing").string());
  GuardLog("lost");
  EXPECT_TRUE(std::filesystem::is_empty(log.directory));
}

#if !defined(_WIN32)
// The directory, its separator and the terminator must fit the 260 characters of the
// Windows buffer.
TEST(GuardLog, TemporaryPathMustFitTheBuffer) {
  for (const std::size_t length : {259, 260}) {  // the directory with one more character
    ScopedLogDirectory log;
    std::string directory = log.directory.string();
    while (directory.size() + 1 < length) {
      directory += "/" + std::string(std::min<std::size_t>(length - directory.size() - 2, 99), 'd');
    }
    ASSERT_EQ(directory.size() + 1, length);
    std::filesystem::create_directories(directory);
    ScopedLogDirectory::PointLogAt(directory);
    GuardLog("line");
    EXPECT_EQ(std::filesystem::exists(directory + "/" + kGuardLogFileName), length == 259);
  }
}
#endif

}  // namespace
