/* Holds a place on Wine's desktop so that its desktop process (explorer) stays up between
   the GUI tests of one rig run. It owns no window; the rig ends it with `wineserver -k`. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  MSG msg;
  (void)instance;
  (void)previous;
  (void)command_line;
  (void)show;
  /* Connecting to the desktop starts explorer now, with this process's quiet streams, instead
     of later under a test whose output pipe it would then keep open. */
  GetDesktopWindow();
  PeekMessageW(&msg, NULL, 0, 0, PM_NOREMOVE);
  while (GetMessageW(&msg, NULL, 0, 0) > 0) {
    DispatchMessageW(&msg);
  }
  return 0;
}
