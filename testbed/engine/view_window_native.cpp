// Without a window system the view has no window; tests draw frames through the control API.
#include "testbed/engine/testbed_state.h"

namespace testbed {

void CreateViewWindow(FlutterDesktopViewController* controller, int32_t width, int32_t height) {
  (void)controller;
  (void)width;
  (void)height;
}

void DestroyViewWindow(FlutterDesktopViewController* controller) { (void)controller; }

void RequestFrame(FlutterDesktopViewController* controller) { (void)controller; }

void NoteTopLevelMessage(FlutterDesktopViewController* controller, UINT message) {
  (void)controller;
  (void)message;
}

UINT MonitorDpi(HMONITOR monitor) {
  (void)monitor;
  return 96;
}

}  // namespace testbed
