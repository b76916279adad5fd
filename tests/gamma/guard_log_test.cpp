#include "gamma/guard_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#include "tests/gamma/scoped_log_directory.h"

namespace {

// Whole lines after whatever the file held, each ended as a text-mode stream ends it (CR LF on
// Windows), stamped with the local date; on Windows while a reader holds the file open.
TEST(GuardLog, AppendsWholeStampedLinesAfterWhatTheFileHeld) {
  const auto today = [] {
    const std::time_t now = std::time(nullptr);
    char date[16] = {};
    std::strftime(date, sizeof(date), "%Y-%m-%d", std::localtime(&now));
    return std::string(date);
  };
  ScopedLogDirectory log;
  std::ofstream(log.LogFile(), std::ios::binary) << "held\n";
  const std::string before = today(), long_text(700, 'x');
#if defined(_WIN32)
  const std::string eol = "\r\n";
  const HANDLE reader = CreateFileW(log.LogFile().c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
#else
  const std::string eol = "\n";
#endif
  for (const std::string& message : {std::string("first"), std::string("two\nlines"), long_text}) {
    GuardLog(message.c_str());
  }
#if defined(_WIN32)
  CloseHandle(reader);
#endif
  std::ifstream in(log.LogFile(), std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const std::string stamp = R"((\d{4}-\d\d-\d\d) \d\d:\d\d:\d\d  )";
  std::smatch found;
  ASSERT_TRUE(std::regex_match(bytes, found,
                               std::regex("held\n" + stamp + "first" + eol + stamp + "two" + eol +
                                          "lines" + eol + stamp + long_text + eol)))
      << bytes.substr(0, 200);
  EXPECT_TRUE(found[1] == before || found[1] == today()) << found[1];
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
