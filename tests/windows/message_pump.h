// Runs the thread's message loop until a condition holds or a time limit passes.
#ifndef TESTS_WINDOWS_MESSAGE_PUMP_H_
#define TESTS_WINDOWS_MESSAGE_PUMP_H_

#include <windows.h>

#include <functional>

// Dispatches everything except WM_QUIT, which stays queued.
inline bool PumpUntil(const std::function<bool()>& done, DWORD limit_ms = 5000) {
  const ULONGLONG deadline = GetTickCount64() + limit_ms;
  while (!done()) {
    if (GetTickCount64() > deadline) {
      return false;
    }
    MSG message;
    bool idle = true;
    while (PeekMessageW(&message, nullptr, 0, WM_QUIT - 1, PM_REMOVE) ||
           PeekMessageW(&message, nullptr, WM_QUIT + 1, 0xFFFFFFFF, PM_REMOVE)) {
      idle = false;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (idle) {
      // Until the next message arrives, or a short while for conditions that no message marks.
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
  }
  return true;
}

#endif  // TESTS_WINDOWS_MESSAGE_PUMP_H_
