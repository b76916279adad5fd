#include "app/console.h"

#include <windows.h>

#include <io.h>
#include <cstdio>
#include <iostream>

#include "client/embedder.h"

void OpenOutputConsole() {
  if (!AllocConsole()) {
    return;
  }
  FILE* reopened = nullptr;
  if (freopen_s(&reopened, "CONOUT$", "w", stdout) != 0) {
    _dup2(_fileno(stdout), 1);
  }
  // Falls back on standard output's descriptor: that one is known to be usable.
  if (freopen_s(&reopened, "CONOUT$", "w", stderr) != 0) {
    _dup2(_fileno(stdout), 2);
  }
  std::ios::sync_with_stdio(true);
  FlutterDesktopResyncOutputStreams();
}
