// The view as a real child window that paints itself, and frames driven by the message
// loop: ForceRedraw paints, then posts kFrameMessage, whose handler fires the next-frame
// callback on the UI thread.
#include <windows.h>

#include <objbase.h>

#include <string>

#include "testbed/engine/module_instance.h"
#include "testbed/engine/testbed_state.h"

namespace testbed {

namespace {

constexpr wchar_t kViewClassName[] = L"VeskaroStandInView";
constexpr wchar_t kParkingClassName[] = L"VeskaroStandInParking";
constexpr UINT kFrameMessage = WM_APP + 0x51;
constexpr wchar_t kViewText[] = L"veskaro stand-in view";

void Paint(HWND hwnd) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(hwnd, &paint);
  RECT client;
  GetClientRect(hwnd, &client);
  // A vertical gradient in bands, so a screenshot shows the view is there.
  constexpr int kBands = 64;
  const LONG height = client.bottom - client.top;
  for (int band = 0; band < kBands; ++band) {
    RECT strip = client;
    strip.top = client.top + height * band / kBands;
    strip.bottom = client.top + height * (band + 1) / kBands;
    const int shade = 255 * band / (kBands - 1);
    HBRUSH brush = CreateSolidBrush(RGB(32, 64 + shade / 2, 96 + shade * 159 / 255));
    FillRect(dc, &strip, brush);
    DeleteObject(brush);
  }
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  DrawTextW(dc, kViewText, -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  EndPaint(hwnd, &paint);
}

LRESULT CALLBACK ViewProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT:
      Paint(hwnd);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case kFrameMessage: {
      auto* controller =
          reinterpret_cast<FlutterDesktopViewController*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
      if (controller != nullptr) {
        DrawPendingFrame(controller);
      }
      return 0;
    }
    default:
      return DefWindowProcW(hwnd, message, wparam, lparam);
  }
}

bool RegisterClasses() {
  static const bool registered = [] {
    WNDCLASSEXW view = {};
    view.cbSize = sizeof(view);
    view.lpfnWndProc = ViewProc;
    view.hInstance = ModuleInstance();
    view.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    view.lpszClassName = kViewClassName;
    WNDCLASSEXW parking = {};
    parking.cbSize = sizeof(parking);
    parking.lpfnWndProc = DefWindowProcW;
    parking.hInstance = ModuleInstance();
    parking.lpszClassName = kParkingClassName;
    return RegisterClassExW(&view) != 0 && RegisterClassExW(&parking) != 0;
  }();
  return registered;
}

}  // namespace

void CreateViewWindow(FlutterDesktopViewController* controller, int32_t width, int32_t height) {
  if (!RegisterClasses()) {
    return;
  }
  // A real engine needs COM on its thread: S_FALSE means the host had entered an STA already.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  GetState().view_thread_in_sta = com == S_FALSE;
  if (SUCCEEDED(com)) {
    CoUninitialize();
  }
  // A child window needs a parent until the host adopts it; a hidden one keeps it off screen.
  controller->parking = CreateWindowExW(0, kParkingClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                        nullptr, ModuleInstance(), nullptr);
  if (controller->parking == nullptr) {
    return;
  }
  controller->view.hwnd = CreateWindowExW(0, kViewClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0,
                                          width > 0 ? width : 0, height > 0 ? height : 0,
                                          controller->parking, nullptr, ModuleInstance(), nullptr);
  if (controller->view.hwnd != nullptr) {
    SetWindowLongPtrW(controller->view.hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(controller));
  }
}

void DestroyViewWindow(FlutterDesktopViewController* controller) {
  if (controller->view.hwnd != nullptr) {
    SetWindowLongPtrW(controller->view.hwnd, GWLP_USERDATA, 0);
    DestroyWindow(controller->view.hwnd);
    controller->view.hwnd = nullptr;
  }
  if (controller->parking != nullptr) {
    DestroyWindow(controller->parking);
    controller->parking = nullptr;
  }
}

void RequestFrame(FlutterDesktopViewController* controller) {
  HWND hwnd = controller->view.hwnd;
  if (hwnd == nullptr) {
    return;
  }
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  PostMessageW(hwnd, kFrameMessage, 0, 0);
}

void NoteTopLevelMessage(FlutterDesktopViewController* controller, UINT message) {
  if (message != WM_CHAR) {
    return;
  }
  const int32_t characters = ++GetState().characters;
  // A test in another process reads the view's text to know the host's loop made a character.
  if (controller->view.hwnd != nullptr) {
    SetWindowTextW(controller->view.hwnd, (L"characters " + std::to_wstring(characters)).c_str());
  }
}

UINT MonitorDpi(HMONITOR monitor) {
  using GetDpiForMonitorFunction = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  static HMODULE shcore = LoadLibraryW(L"shcore.dll");
  if (shcore != nullptr && monitor != nullptr) {
    auto get_dpi = reinterpret_cast<GetDpiForMonitorFunction>(
        reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")));
    UINT dpi_x = 0;
    UINT dpi_y = 0;
    if (get_dpi != nullptr && SUCCEEDED(get_dpi(monitor, 0, &dpi_x, &dpi_y)) && dpi_x != 0) {
      return dpi_x;
    }
  }
  // The screen's logical DPI (Wine takes it from the LogPixels registry value).
  HDC screen = GetDC(nullptr);
  int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
  if (screen != nullptr) {
    ReleaseDC(nullptr, screen);
  }
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

}  // namespace testbed
