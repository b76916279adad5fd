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
// The temporary path, with its separator and terminator, must fit 260 characters; a
// separator already there counts once.
TEST(GuardLog, TemporaryPathMustFitTheBuffer) {
  const struct {
    std::size_t length;  // with separator and terminator
    bool slash, logged;
  } cases[] = {{259, false, true}, {260, false, false}, {259, true, true}};
  for (const auto& c : cases) {
    ScopedLogDirectory log;
    std::string directory = log.directory.string();
    while (directory.size() + 1 < c.length) {
      directory +=
          "/" + std::string(std::min<std::size_t>(c.length - directory.size() - 2, 99), 'd');
    }
    ASSERT_EQ(directory.size() + 1, c.length);
    std::filesystem::create_directories(directory);
    ScopedLogDirectory::PointLogAt(c.slash ? directory + "/" : directory);
    GuardLog("line");
    EXPECT_EQ(std::filesystem::exists(directory + "/" + kGuardLogFileName), c.logged) << c.length;
  }
}

// Without TMPDIR the log goes to /tmp (this leaves a line in /tmp's log file).
TEST(GuardLog, WithoutTmpdirLogsUnderTmp) {
  ScopedLogDirectory log;  // puts TMPDIR back afterwards
  unsetenv("TMPDIR");
  const std::filesystem::path file = std::filesystem::path("/tmp") / kGuardLogFileName;
  const std::uintmax_t before =
      std::filesystem::exists(file) ? std::filesystem::file_size(file) : 0;
  GuardLog("fallback");
  ASSERT_TRUE(std::filesystem::exists(file));
  EXPECT_GT(std::filesystem::file_size(file), before);
}

TEST(GuardLog, OneCharacterTmpdirIsUsed) {
  ScopedLogDirectory log;
  const std::filesystem::path cwd = std::filesystem::current_path();
  std::filesystem::current_path(log.directory);
  std::filesystem::create_directory("d");
  ScopedLogDirectory::PointLogAt("d");
  GuardLog("short");
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path("d") / kGuardLogFileName));
  std::filesystem::current_path(cwd);
}
#endif

}  // namespace
