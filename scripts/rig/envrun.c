/* Runs the rest of its command line as a Windows program with TMP and TEMP taken from
   VESKARO_WIN_TMP, and returns that program's exit code. Wine builds TMP and TEMP from the
   prefix's registry and ignores the Unix values, so wine-exec routes a test's own temporary
   folder through here. */
#include <stdio.h>
#include <windows.h>

static const wchar_t* SkipFirstArgument(const wchar_t* p) {
  BOOL quoted = FALSE;
  while (*p == L' ' || *p == L'\t') ++p;
  for (; *p != L'\0'; ++p) {
    if (*p == L'"') {
      quoted = !quoted;
    } else if ((*p == L' ' || *p == L'\t') && !quoted) {
      break;
    }
  }
  while (*p == L' ' || *p == L'\t') ++p;
  return p;
}

int wmain(void) {
  wchar_t tmp[MAX_PATH];
  wchar_t* command;
  const wchar_t* rest = SkipFirstArgument(GetCommandLineW());
  size_t length = lstrlenW(rest);
  STARTUPINFOW startup;
  PROCESS_INFORMATION process;
  DWORD code = 1;
  DWORD n = GetEnvironmentVariableW(L"VESKARO_WIN_TMP", tmp, MAX_PATH);

  if (length == 0) {
    fputws(L"envrun: usage: envrun PROGRAM [ARGS...] (VESKARO_WIN_TMP=C:\\...)\n", stderr);
    return 2;
  }
  if (n > 0 && n < MAX_PATH) {
    SetEnvironmentVariableW(L"TMP", tmp);
    SetEnvironmentVariableW(L"TEMP", tmp);
  }
  command = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, (length + 1) * sizeof(wchar_t));
  if (command == NULL) return 1;
  lstrcpyW(command, rest);

  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  if (!CreateProcessW(NULL, command, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) {
    fwprintf(stderr, L"envrun: cannot start %ls (error %lu)\n", command, GetLastError());
    HeapFree(GetProcessHeap(), 0, command);
    return 127;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  HeapFree(GetProcessHeap(), 0, command);
  return (int)code;
}
