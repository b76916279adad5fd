// One running copy per executable path and logon session.
#ifndef APP_SINGLE_INSTANCE_H_
#define APP_SINGLE_INSTANCE_H_

#include <windows.h>

#include <string>

// Titles the running copy's window may carry, searched in this order.
extern const wchar_t* const kRunningWindowTitles[5];

// "Local\VeskaroCenter-" + module_path, with every backslash, space, full stop and colon
// of the whole name (the prefix's backslash included) turned into an underscore.
std::wstring BuildMutexName(const std::wstring& module_path);

// The executable's path, read into a zero-filled 260-character buffer; a path that
// does not fit arrives truncated, a failed read gives the empty string.
std::wstring ReadModulePath();

// Restores and foregrounds the first window found by title; returns it, or null.
HWND ActivateRunningWindow();

#endif  // APP_SINGLE_INSTANCE_H_
