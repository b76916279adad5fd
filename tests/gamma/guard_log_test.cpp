#include "gamma/guard_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <regex>
#include <string>

#include "gamma/gamma_guard.h"
#include "tests/gamma/fake_gamma_platform.h"
#include "tests/gamma/gamma_test_ramps.h"
#include "tests/gamma/scoped_log_directory.h"

namespace {

TEST(GuardLog, LineIsZeroPaddedWithTwoSpacesBeforeTheMessage) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  WriteGuardLogLine(file, GuardLogTime{999, 1, 2, 3, 4, 5}, "clear: guard disarmed");
  std::rewind(file);
  char buffer[64] = {};
  const std::size_t length = std::fread(buffer, 1, sizeof(buffer), file);
  std::fclose(file);
  EXPECT_EQ(std::string(buffer, length), "0999-01-02 03:04:05  clear: guard disarmed\n");
}

TEST(GuardLog, AppendsTimeStampedLinesInCallOrder) {
  const auto today = [] {
    const std::time_t now = std::time(nullptr);
    char date[16] = {};
    std::strftime(date, sizeof(date), "%Y-%m-%d", std::localtime(&now));
    return std::string(date);
  };
  ScopedLogDirectory log;
  std::ofstream(log.LogFile(), std::ios::binary) << "earlier\n";
  const std::string before = today();
  GuardLog("first");
  GuardLog("second -> (more)");
  const std::string date = log.Contents().substr(8, 10);
  EXPECT_TRUE(date == before || date == today()) << date;  // local time
#if defined(_WIN32)
  const std::string end = "\r\n";  // text mode
#else
  const std::string end = "\n";
#endif
  const std::string stamp = "\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}  ";
  EXPECT_TRUE(std::regex_match(log.Contents(), std::regex("earlier\n" + stamp + "first" + end +
                                                          stamp + "second -> \\(more\\)" + end)))
      << log.Contents();
}

// Every failure loses the line silently, and the guard works as with a log.
TEST(GuardLog, LosesLinesSilentlyWithoutAUsableDirectory) {
  ScopedLogDirectory log;
  std::ofstream(log.directory / "plain_file") << "x";
  for (const char* directory : {"missing", "plain_file"}) {
    SCOPED_TRACE(directory);
    ScopedLogDirectory::PointLogAt((log.directory / directory).string());
    FakeGammaPlatform screen;
    GammaGuard guard(screen);
    guard.Init(nullptr, reinterpret_cast<void*>(0x99));
    screen.screen = IdentityRamp();
    guard.Arm(RampBytes(WarmRamp()));
    EXPECT_TRUE(guard.PeriodicTimerRunning());
    EXPECT_EQ(screen.screen, WarmRamp());
    EXPECT_EQ(guard.LastOutcome(), 1);
    guard.Disarm();
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(log.directory),
                          std::filesystem::directory_iterator()),
            1);
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
