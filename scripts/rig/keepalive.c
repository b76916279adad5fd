/* Holds a place on Wine's desktop so that its desktop process (explorer) stays up between
   the GUI tests of one rig run. It owns no window; the rig ends it with `wineserver -k`. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  MSG msg;
  (void)instance;
  (void)previous;
  (void)command_line;
  (void)show;
  /* Being the prefix's first process and connecting to the desktop starts wineboot, the
     services and explorer now, with this process's quiet streams, instead of later under a test
     whose output pipe they would then keep open (ctest would wait for them forever). */
  GetDesktopWindow();
  PeekMessageW(&msg, NULL, 0, 0, PM_NOREMOVE);
  /* The rig waits for this line before it runs anything else in the prefix. */
  {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "ready\n", 6, &written, NULL);
  }
  while (GetMessageW(&msg, NULL, 0, 0) > 0) {
    DispatchMessageW(&msg);
  }
  return 0;
}
