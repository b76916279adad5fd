// The guard's log on disk as a text-mode stream appends it: CR LF for every line feed, whole
// lines after whatever the file held, while a reader keeps the file open.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "gamma/guard_log.h"
#include "tests/gamma/scoped_log_directory.h"

namespace {

std::string Bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(GuardLogBytes, LinesEndInCrLfAfterWhatTheFileHeld) {
  const std::string long_text(700, 'x');
  const struct {
    const char* message;
    std::string expected;  // after the 21 characters of the time stamp
  } cases[] = {
      {"set: desired ramp received, guard armed", "set: desired ramp received, guard armed\r\n"},
      {"two\nlines", "two\r\nlines\r\n"},
      {"", "\r\n"},
      {long_text.c_str(), long_text + "\r\n"},
  };
  for (const auto& c : cases) {
    ScopedLogDirectory log;
    std::ofstream(log.LogFile(), std::ios::binary) << "held\n";
    // A reader with the file open, as a user tailing the log.
    const HANDLE reader = CreateFileW(log.LogFile().c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    GuardLog(c.message);
    CloseHandle(reader);
    const std::string bytes = Bytes(log.LogFile());
    ASSERT_EQ(bytes.size(), 5 + 21 + c.expected.size()) << c.message;
    EXPECT_EQ(bytes.substr(0, 5), "held\n");
    EXPECT_EQ(bytes.substr(5 + 19, 2), "  ");
    EXPECT_EQ(bytes.substr(5 + 21), c.expected);
  }
}

}  // namespace
