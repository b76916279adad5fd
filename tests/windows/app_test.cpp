#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/command_line.h"
#include "app/single_instance.h"

namespace {

TEST(BuildMutexNameTest, ReplacesTheFourCharactersEverywhereAndKeepsCase) {
  EXPECT_EQ(BuildMutexName(L"C:\\Program Files\\Demo\\app.EXE"),
            L"Local_VeskaroCenter-C__Program_Files_Demo_app_EXE");
  EXPECT_EQ(BuildMutexName(L"D:/x-y_z\u00e9"), L"Local_VeskaroCenter-D_/x-y_z\u00e9");
}

TEST(Utf16ToUtf8Test, ConvertsStrictly) {
  const struct {
    const wchar_t* text;
    std::string utf8;
  } cases[] = {
      {nullptr, ""},
      {L"", ""},
      {L"a", "a"},
      {L"\u00e9", "\xC3\xA9"},
      {L"\xD83D\xDE00", "\xF0\x9F\x98\x80"},  // a surrogate pair
      {L"a\xD83D", ""},                       // unpaired high surrogate
      {L"\xDE00z", ""},                       // unpaired low surrogate
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf16ToUtf8(c.text), c.utf8);
  }
}

}  // namespace
