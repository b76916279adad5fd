// The view-controller and view functions of the stand-in.
#include <algorithm>

#include "client/embedder.h"
#include "testbed/engine/testbed_state.h"

namespace {

bool IsLiveEngine(FlutterDesktopEngineRef engine) {
  const auto& engines = testbed::GetState().engines;
  return engine != nullptr && std::find(engines.begin(), engines.end(), engine) != engines.end();
}

bool IsLive(FlutterDesktopViewControllerRef controller) {
  const auto& controllers = testbed::GetState().controllers;
  return controller != nullptr &&
         std::find(controllers.begin(), controllers.end(), controller) != controllers.end();
}

}  // namespace

FlutterDesktopViewControllerRef FlutterDesktopViewControllerCreate(int32_t width, int32_t height,
                                                                   FlutterDesktopEngineRef engine) {
  testbed::State& state = testbed::GetState();
  state.view_width = width;
  state.view_height = height;
  if (!IsLiveEngine(engine) || engine->controller != nullptr) {
    return nullptr;
  }
  if (state.view_controller_creation_fails) {
    // The engine was handed over: a failed creation disposes of it.
    testbed::DisposeEngine(engine);
    return nullptr;
  }
  auto* controller = new FlutterDesktopViewController();
  controller->engine = engine;
  controller->view.controller = controller;
  engine->controller = controller;
  state.controllers.push_back(controller);
  testbed::CreateViewWindow(controller, width, height);
  return controller;
}

void FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerRef controller) {
  if (!IsLive(controller)) {
    return;
  }
  ++testbed::GetState().controllers_destroyed;
  testbed::DisposeViewController(controller);
}

FlutterDesktopViewRef FlutterDesktopViewControllerGetView(
    FlutterDesktopViewControllerRef controller) {
  return IsLive(controller) ? &controller->view : nullptr;
}

void FlutterDesktopViewControllerForceRedraw(FlutterDesktopViewControllerRef controller) {
  if (!IsLive(controller)) {
    return;
  }
  ++testbed::GetState().force_redraws;
  controller->redraw_requested = true;
  testbed::RequestFrame(controller);
}

bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller, HWND hwnd, UINT message, WPARAM wparam,
    LPARAM lparam, LRESULT* result) {
  (void)hwnd;
  (void)wparam;
  (void)lparam;
  testbed::State& state = testbed::GetState();
  if (!IsLive(controller)) {
    return false;
  }
  if (state.seen_messages.size() < testbed::kMaxRecords) {
    state.seen_messages.push_back(message);
  }
  testbed::NoteTopLevelMessage(controller, message);
  auto consumed = state.consumed_messages.find(message);
  if (consumed == state.consumed_messages.end()) {
    return false;
  }
  if (result != nullptr) {
    *result = consumed->second;
  }
  return true;
}

HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view) {
  if (view == nullptr || !IsLive(view->controller)) {
    return nullptr;
  }
  return view->hwnd;
}
