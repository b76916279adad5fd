// The engine functions of the stand-in: creation records what it was given.
#include <algorithm>

#include "client/embedder.h"
#include "testbed/engine/testbed_state.h"

namespace {

std::wstring CopyWide(const wchar_t* text) { return text == nullptr ? std::wstring() : text; }

std::string CopyNarrow(const char* text) { return text == nullptr ? std::string() : text; }

bool IsLive(FlutterDesktopEngineRef engine) {
  const auto& engines = testbed::GetState().engines;
  return engine != nullptr && std::find(engines.begin(), engines.end(), engine) != engines.end();
}

}  // namespace

FlutterDesktopEngineRef FlutterDesktopEngineCreate(
    const FlutterDesktopEngineProperties* properties) {
  testbed::State& state = testbed::GetState();
  if (properties == nullptr) {
    return nullptr;
  }
  // Copy everything: the caller's strings live only during this call.
  testbed::EngineRecord record;
  record.assets_path = CopyWide(properties->assets_path);
  record.icu_data_path = CopyWide(properties->icu_data_path);
  record.app_library_path = CopyWide(properties->app_library_path);
  record.entrypoint_null = properties->entrypoint == nullptr;
  record.entrypoint = CopyNarrow(properties->entrypoint);
  record.argument_count = properties->entrypoint_argc;
  record.argument_array_null = properties->entrypoint_argv == nullptr;
  if (properties->entrypoint_argv != nullptr) {
    for (int32_t i = 0; i < properties->entrypoint_argc; ++i) {
      record.arguments.push_back(CopyNarrow(properties->entrypoint_argv[i]));
    }
  }
  state.engine_record = std::move(record);

  auto* engine = new FlutterDesktopEngine();
  engine->messenger = new FlutterDesktopMessenger();
  engine->messenger->engine = engine;
  state.engines.push_back(engine);
  state.messengers.push_back(engine->messenger);
  state.current_engine = engine;
  state.current_messenger = engine->messenger;
  ++state.engines_created;
  return engine;
}

bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine) {
  ++testbed::GetState().engine_destroy_calls;
  // An engine that a view controller took over is that controller's to dispose of.
  if (!IsLive(engine) || engine->controller != nullptr) {
    return false;
  }
  testbed::DisposeEngine(engine);
  return true;
}

FlutterDesktopMessengerRef FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine) {
  return IsLive(engine) ? engine->messenger : nullptr;
}

FlutterDesktopPluginRegistrarRef FlutterDesktopEngineGetPluginRegistrar(
    FlutterDesktopEngineRef engine, const char* plugin_name) {
  testbed::State& state = testbed::GetState();
  std::string name = CopyNarrow(plugin_name);
  ++state.registrar_requests;
  if (!IsLive(engine)) {
    return nullptr;
  }
  auto& slot = engine->registrars[name];
  if (!slot) {
    slot = std::make_unique<FlutterDesktopPluginRegistrar>();
    slot->engine = engine;
    slot->plugin_name = name;
  }
  return slot.get();
}

void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine) {
  if (IsLive(engine)) {
    ++testbed::GetState().font_reloads;
  }
}

void FlutterDesktopEngineSetNextFrameCallback(FlutterDesktopEngineRef engine,
                                              FlutterDesktopNextFrameCallback callback,
                                              void* user_data) {
  if (!IsLive(engine)) {
    return;
  }
  engine->next_frame_callback = callback;
  engine->next_frame_user_data = user_data;
}

UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor) {
  UINT dpi = testbed::GetState().dpi_override;
  return dpi != 0 ? dpi : testbed::MonitorDpi(monitor);
}

void FlutterDesktopResyncOutputStreams(void) { ++testbed::GetState().output_resyncs; }
