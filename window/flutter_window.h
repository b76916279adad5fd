// The top-level window that hosts the Flutter view, registers the plug-ins and owns the
// gamma guard.
#ifndef WINDOW_FLUTTER_WINDOW_H_
#define WINDOW_FLUTTER_WINDOW_H_

#include <windows.h>

#include <memory>

#include "client/engine_project.h"
#include "client/flutter_view_controller.h"
#include "gamma/gamma_guard.h"
#include "window/win32_window.h"

class FlutterWindow : public Win32Window {
 public:
  explicit FlutterWindow(const flutter::EngineProject& engine_project);
  ~FlutterWindow() override;

 protected:
  LRESULT MessageHandler(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override;
  bool OnCreate() override;
  void OnDestroy() override;

 private:
  // Destroys the controller, if any, after taking it out of view_controller.
  void ReleaseController();

  // The destructor releases a controller still held; then the members go in reverse order.
  flutter::EngineProject project;
  std::unique_ptr<flutter::FlutterViewController> view_controller;
  GammaGuard gamma_guard;
};

#endif  // WINDOW_FLUTTER_WINDOW_H_
