#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/single_instance.h"

namespace {

struct MutexNameCase {
  const wchar_t* path;
  const wchar_t* name;
};

TEST(BuildMutexNameTest, ReplacesTheFourCharactersEverywhere) {
  const MutexNameCase cases[] = {
      {L"C:\\Program Files\\Demo\\app.exe", L"Local_VeskaroCenter-C__Program_Files_Demo_app_exe"},
      {L"", L"Local_VeskaroCenter-"},
      // Case is kept: mutex names compare case-sensitively.
      {L"C:\\APP.EXE", L"Local_VeskaroCenter-C__APP_EXE"},
      // Nothing else changes.
      {L"D:/x-y_z\u00e9.exe", L"Local_VeskaroCenter-D_/x-y_z\u00e9_exe"},
  };
  for (const MutexNameCase& c : cases) {
    EXPECT_EQ(BuildMutexName(c.path), c.name);
  }
  // Paths that differ only in replaced characters share a name.
  EXPECT_EQ(BuildMutexName(L"C:\\a b\\x.exe"), BuildMutexName(L"C:\\a.b\\x.exe"));
  EXPECT_NE(BuildMutexName(L"C:\\a\\x.exe"), BuildMutexName(L"C:\\A\\x.exe"));
}

struct Utf8Case {
  const wchar_t* text;
  std::string utf8;
};

TEST(Utf16ToUtf8Test, ConvertsStrictly) {
  const Utf8Case cases[] = {
      {nullptr, ""},
      {L"", ""},
      {L"plain", "plain"},
      {L"\u00e9", "\xC3\xA9"},
      {L"\xD83D\xDE00", "\xF0\x9F\x98\x80"},  // a surrogate pair
      {L"a\xD83D", ""},                       // unpaired high surrogate
      {L"\xDE00z", ""},                       // unpaired low surrogate
  };
  for (const Utf8Case& c : cases) {
    EXPECT_EQ(Utf16ToUtf8(c.text), c.utf8);
  }
}

struct CommandLineCase {
  const wchar_t* command_line;
  std::vector<std::string> arguments;
};

TEST(SplitCommandLineTest, DropsProgramPathAndKeepsPositions) {
  const CommandLineCase cases[] = {
      {L"app.exe", {}},
      {L"\"C:\\My Apps\\app.exe\" first \"with space\"", {"first", "with space"}},
  };
  for (const CommandLineCase& c : cases) {
    EXPECT_EQ(SplitCommandLine(c.command_line), c.arguments);
  }
}

}  // namespace
