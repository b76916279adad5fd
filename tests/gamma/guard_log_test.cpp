#include "gamma/guard_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "gamma/gamma_guard.h"
#include "tests/gamma/fake_gamma_platform.h"
#include "tests/gamma/gamma_test_ramps.h"
#include "tests/gamma/scoped_log_directory.h"

namespace {

using Strings = std::vector<std::string>;

#if defined(_WIN32)
const char kLineEnd[] = "\r\n";  // text mode on Windows
#else
const char kLineEnd[] = "\n";
#endif

TEST(GuardLogLine, IsZeroPaddedWithTwoSpacesBeforeTheMessage) {
  struct Case {
    GuardLogTime time;
    const char* message;
    const char* line;
  };
  const Case cases[] = {
      {{2026, 3, 7, 8, 5, 9},
       "clear: guard disarmed",
       "2026-03-07 08:05:09  clear: guard disarmed\n"},
      {{2025, 12, 31, 23, 59, 59}, "x", "2025-12-31 23:59:59  x\n"},
      {{999, 1, 1, 0, 0, 0}, "", "0999-01-01 00:00:00  \n"},
      {{12345, 10, 10, 10, 10, 10}, "y", "12345-10-10 10:10:10  y\n"},
  };
  for (const Case& test : cases) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    WriteGuardLogLine(file, test.time, test.message);
    std::rewind(file);
    char buffer[128] = {};
    const std::size_t length = std::fread(buffer, 1, sizeof(buffer) - 1, file);
    std::fclose(file);
    EXPECT_EQ(std::string(buffer, length), test.line);
  }
}

TEST(GuardLog, AppendsTimeStampedLinesInCallOrder) {
  ScopedLogDirectory log;
  {
    std::ofstream existing(log.LogFile(), std::ios::binary);
    existing << "earlier line" << kLineEnd;
  }
  GuardLog("first");
  GuardLog("second: with -> symbols (and more)");

  const std::string contents = log.Contents();
  const std::string stamp = "\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}  ";
  const std::regex expected("earlier line" + std::string(kLineEnd) + stamp + "first" + kLineEnd +
                            stamp + "second: with -> symbols \\(and more\\)" + kLineEnd);
  EXPECT_TRUE(std::regex_match(contents, expected)) << contents;
}

TEST(GuardLog, LosesLinesSilentlyWithoutAUsableDirectory) {
  ScopedLogDirectory log;
  { std::ofstream not_a_directory(log.directory / "plain_file"); }
  const std::string cases[] = {
      (log.directory / "missing").string(),
      (log.directory / "plain_file").string(),
  };
  for (const std::string& directory : cases) {
    SCOPED_TRACE(directory);
    log.PointLogAt(directory);
    GuardLog("lost");
  }
  EXPECT_FALSE(std::filesystem::exists(log.LogFile()));
  EXPECT_FALSE(std::filesystem::exists(log.directory / "missing"));
}

#if !defined(_WIN32)
// Builds an existing directory whose path, with a trailing separator, is length
// characters long.
std::string DirectoryOfLength(const std::filesystem::path& base, std::size_t length) {
  std::string path = base.string();
  const std::size_t target = length - 1;
  while (path.size() < target) {
    const std::size_t room = target - path.size() - 1;  // after the next separator
    // Segments of at most 100 characters, never leaving room for a separator alone.
    const std::size_t part = room <= 100 ? room : (room - 100 < 2 ? 90 : 100);
    path += "/" + std::string(part, 'd');
  }
  std::filesystem::create_directories(path);
  return path;
}

// The temporary path must fit the 260-character buffer with its terminator.
TEST(GuardLog, TemporaryPathMustFitTheBuffer) {
  struct Case {
    std::size_t length;
    bool logged;
  };
  for (const Case& test : {Case{259, true}, Case{260, false}, Case{400, false}}) {
    SCOPED_TRACE(test.length);
    ScopedLogDirectory log;
    const std::string directory = DirectoryOfLength(log.directory, test.length);
    ASSERT_EQ(directory.size() + 1, test.length);
    log.PointLogAt(directory);
    GuardLog("line");
    EXPECT_EQ(std::filesystem::exists(directory + "/" + kGuardLogFileName), test.logged);
  }
}
#endif

TEST(GuardLog, GuardWorksTheSameWithoutALog) {
  ScopedLogDirectory log;
  log.PointLogAt((log.directory / "missing").string());
  FakeGammaPlatform screen;
  GammaGuard guard(screen);
  guard.Init(nullptr, reinterpret_cast<GammaPlatform::WindowHandle>(0x99));
  screen.screen = IdentityRamp();
  guard.Arm(RampBytes(WarmRamp()));
  EXPECT_TRUE(guard.Armed());
  EXPECT_TRUE(guard.PeriodicTimerRunning());
  EXPECT_EQ(screen.screen, WarmRamp());
  EXPECT_EQ(guard.LastOutcome(), 1);
  guard.Disarm();
  EXPECT_FALSE(guard.Armed());
  EXPECT_TRUE(std::filesystem::is_empty(log.directory));
}

}  // namespace
