#include "app/command_line.h"

#include <windows.h>

#include <shellapi.h>

#include <cwchar>

#include "base/unique_any.h"

namespace {

// CommandLineToArgvW's array and its strings are one LocalAlloc block.
struct ArgumentBlockTraits {
  using Handle = wchar_t**;
  static Handle Null() { return nullptr; }
  void Close(Handle block) const { LocalFree(block); }
};

}  // namespace

std::vector<std::string> ReadCommandLineArguments() { return SplitCommandLine(GetCommandLineW()); }

std::vector<std::string> SplitCommandLine(const wchar_t* command_line) {
  std::vector<std::string> arguments;
  int count = 0;
  const UniqueAny<ArgumentBlockTraits> argv(CommandLineToArgvW(command_line, &count));
  if (!argv) {
    return arguments;
  }
  // Index 0 is the program path. An argument that fails to convert stays as "" so the
  // others keep their positions.
  for (int i = 1; i < count; ++i) {
    arguments.push_back(Utf16ToUtf8(argv.Get()[i]));
  }
  return arguments;
}

std::string Utf16ToUtf8(const wchar_t* text) {
  if (text == nullptr) {
    return std::string();
  }
  const int counted =
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, nullptr, 0, nullptr, nullptr);
  const int length = static_cast<int>(wcslen(text));
  // counted includes the terminator; 0 means the query failed.
  if (counted <= 1) {
    return std::string();
  }
  const int size = counted - 1;
  std::string result(static_cast<size_t>(size), '\0');
  const int converted = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, length, &result[0],
                                            size, nullptr, nullptr);
  if (converted == 0) {
    return std::string();
  }
  return result;
}
