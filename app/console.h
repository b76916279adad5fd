// A console of the GUI process's own, for diagnostic output under a debugger.
#ifndef APP_CONSOLE_H_
#define APP_CONSOLE_H_

// Allocates a console and points the standard output and error streams, and the
// engine's own output, at it. Does nothing when no console can be allocated.
void OpenOutputConsole();

#endif  // APP_CONSOLE_H_
