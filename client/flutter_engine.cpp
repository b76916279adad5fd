#include "client/flutter_engine.h"

#include <iostream>
#include <utility>
#include <vector>

namespace flutter {

FlutterEngine::FlutterEngine(const EngineProject& project) {
  // Only pointers into the project: the engine copies what it keeps during the call.
  std::vector<const char*> arguments;
  arguments.reserve(project.entrypoint_arguments.size());
  for (const std::string& argument : project.entrypoint_arguments) {
    arguments.push_back(argument.c_str());
  }
  FlutterDesktopEngineProperties properties = {};
  properties.assets_path = project.assets_path.c_str();
  properties.icu_data_path = project.icu_data_path.c_str();
  properties.app_library_path = project.app_library_path.c_str();
  properties.entrypoint = project.entrypoint.c_str();
  properties.entrypoint_argc = static_cast<int32_t>(arguments.size());
  properties.entrypoint_argv = arguments.empty() ? nullptr : arguments.data();
  properties.option_a = project.option_a;
  properties.option_b = project.option_b;

  engine = FlutterDesktopEngineCreate(&properties);
  if (engine != nullptr) {
    messenger = std::make_unique<BinaryMessengerImpl>(FlutterDesktopEngineGetMessenger(engine));
  }
}

FlutterEngine::~FlutterEngine() {
  if (engine != nullptr && owns_engine) {
    FlutterDesktopEngineDestroy(engine);
  }
  engine = nullptr;
  next_frame_callback = nullptr;
  messenger.reset();
}

FlutterDesktopPluginRegistrarRef FlutterEngine::GetPluginRegistrar(const std::string& plugin_name) {
  if (engine == nullptr) {
    std::cerr << "Cannot get plugin registrar on an engine that isn't running; call Run first."
              << std::endl;
    return nullptr;
  }
  return FlutterDesktopEngineGetPluginRegistrar(engine, plugin_name.c_str());
}

void FlutterEngine::ReloadSystemFonts() {
  if (engine != nullptr) {
    FlutterDesktopEngineReloadSystemFonts(engine);
  }
}

void FlutterEngine::SetNextFrameCallback(std::function<void()> callback) {
  next_frame_callback = nullptr;  // the replaced callback goes without running
  next_frame_callback = std::move(callback);
  if (engine != nullptr) {
    FlutterDesktopEngineSetNextFrameCallback(engine, &FlutterEngine::OnNextFrame, this);
  }
}

BinaryMessenger* FlutterEngine::GetMessenger() { return messenger.get(); }

FlutterDesktopEngineRef FlutterEngine::TakeEngineHandle() {
  owns_engine = false;
  return engine;
}

void FlutterEngine::OnNextFrame(void* user_data) {
  auto* self = static_cast<FlutterEngine*>(user_data);
  if (self == nullptr || !self->next_frame_callback) {
    return;
  }
  // Moved out first, so each arming fires at most once, even if the callback arms again.
  std::function<void()> callback = std::move(self->next_frame_callback);
  self->next_frame_callback = nullptr;
  callback();
}

void FlutterEngine::ForgetEngineHandle() { engine = nullptr; }

}  // namespace flutter
