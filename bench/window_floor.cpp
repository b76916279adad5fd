// The floor for the executable's size and start time: the least a Win32 program does to open
// one window and paint it, in C++ with the host's compiler, flags and static runtime. Built
// with FLOOR_STANDARD_STREAMS it also syncs the C++ standard streams, as the host's console
// set-up must, which links the streams' locale machinery.
#include <windows.h>

#ifdef FLOOR_STANDARD_STREAMS
#include <ios>
#endif

namespace {

LRESULT CALLBACK FloorProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      FillRect(dc, &paint.rcPaint, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
      EndPaint(window, &paint);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
#ifdef FLOOR_STANDARD_STREAMS
  std::ios::sync_with_stdio(true);
#endif
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = FloorProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  window_class.lpszClassName = L"WINDOW_FLOOR";
  RegisterClassW(&window_class);
  HWND window =
      CreateWindowExW(0, L"WINDOW_FLOOR", L"window_floor", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                      CW_USEDEFAULT, 1280, 720, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) {
    return 1;
  }
  ShowWindow(window, show);
  UpdateWindow(window);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
