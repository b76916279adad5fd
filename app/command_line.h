// The command line as the user interface's entry-point arguments.
#ifndef APP_COMMAND_LINE_H_
#define APP_COMMAND_LINE_H_

#include <string>
#include <vector>

// The process's arguments after the program path, each converted to UTF-8.
std::vector<std::string> ReadCommandLineArguments();

// Same, for a given command line (the program path first).
std::vector<std::string> SplitCommandLine(const wchar_t* command_line);

// Strict conversion: null, empty or invalid UTF-16 (an unpaired surrogate) gives "".
std::string Utf16ToUtf8(const wchar_t* text);

#endif  // APP_COMMAND_LINE_H_
