#include "window/flutter_window.h"

#include <optional>
#include <utility>

#include "window/plugin_registration.h"

FlutterWindow::FlutterWindow(const flutter::EngineProject& engine_project)
    : project(engine_project) {}

// A controller still held here goes before the guard, whose channel handler its messenger
// still holds.
FlutterWindow::~FlutterWindow() { ReleaseController(); }

LRESULT FlutterWindow::MessageHandler(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  // The guard sees every message first and keeps only its own timers.
  if (gamma_guard.HandleWindowMessage(message, wparam, lparam)) {
    return 0;
  }
  // A controller whose creation failed holds no embedder controller, and its engine was
  // handed over to the embedder; neither may be used.
  const bool running = view_controller && view_controller->GetView();
  if (running) {
    std::optional<LRESULT> result =
        view_controller->HandleTopLevelWindowProc(hwnd, message, wparam, lparam);
    if (result) {
      return *result;
    }
  }
  if (message == WM_FONTCHANGE && running) {
    view_controller->GetEngine()->ReloadSystemFonts();
  }
  return Win32Window::MessageHandler(hwnd, message, wparam, lparam);
}

bool FlutterWindow::OnCreate() {
  if (!Win32Window::OnCreate()) {
    return false;
  }
  const RECT frame = GetClientArea();
  view_controller = std::make_unique<flutter::FlutterViewController>(
      frame.right - frame.left, frame.bottom - frame.top, project);
  if (!view_controller->GetEngine() || !view_controller->GetView()) {
    return false;
  }
  RegisterPlugins(view_controller->GetEngine());
  SetChildContent(view_controller->GetView()->GetHWND());
  gamma_guard.Init(view_controller->GetEngine()->GetMessenger(), GetHandle());
  // Shown only once the engine has drawn, so the window never appears blank.
  view_controller->GetEngine()->SetNextFrameCallback([this]() { Show(); });
  view_controller->ForceRedraw();
  return true;
}

void FlutterWindow::OnDestroy() {
  ReleaseController();
  Win32Window::OnDestroy();
}

void FlutterWindow::ReleaseController() {
  // Cleared before destruction so that messages sent while it shuts down find no controller.
  std::unique_ptr<flutter::FlutterViewController> controller = std::move(view_controller);
  controller.reset();
}
