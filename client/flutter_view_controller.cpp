#include "client/flutter_view_controller.h"

#include <iostream>

namespace flutter {

FlutterViewController::FlutterViewController(int32_t width, int32_t height,
                                             const EngineProject& project) {
  engine = std::make_shared<FlutterEngine>(project);
  // Handed over before the call, whether or not it succeeds.
  controller = FlutterDesktopViewControllerCreate(width, height, engine->TakeEngineHandle());
  if (controller == nullptr) {
    // The engine took the handle with it; keep the wrapper from using a dead one.
    engine->ForgetEngineHandle();
    std::cerr << "Failed to create view controller." << std::endl;
    return;
  }
  view = std::make_unique<FlutterView>(FlutterDesktopViewControllerGetView(controller));
}

FlutterViewController::~FlutterViewController() {
  if (controller != nullptr) {
    FlutterDesktopViewControllerDestroy(controller);
  }
  view.reset();
  engine.reset();
}

void FlutterViewController::ForceRedraw() {
  if (controller != nullptr) {
    FlutterDesktopViewControllerForceRedraw(controller);
  }
}

std::optional<LRESULT> FlutterViewController::HandleTopLevelWindowProc(HWND hwnd, UINT message,
                                                                       WPARAM wparam,
                                                                       LPARAM lparam) {
  if (controller == nullptr) {
    return std::nullopt;
  }
  LRESULT result = 0;
  if (FlutterDesktopViewControllerHandleTopLevelWindowProc(controller, hwnd, message, wparam,
                                                           lparam, &result)) {
    return result;
  }
  return std::nullopt;
}

}  // namespace flutter
