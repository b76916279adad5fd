// Owns the engine's handle (until a view controller takes it over) and the messenger.
#ifndef CLIENT_FLUTTER_ENGINE_H_
#define CLIENT_FLUTTER_ENGINE_H_

#include <functional>
#include <memory>
#include <string>

#include "client/binary_messenger.h"
#include "client/binary_messenger_impl.h"
#include "client/embedder.h"
#include "client/engine_project.h"
#include "client/plugin_registry.h"

namespace flutter {

class FlutterEngine : public PluginRegistry {
 public:
  explicit FlutterEngine(const EngineProject& project);
  ~FlutterEngine() override;

  FlutterEngine(const FlutterEngine&) = delete;
  FlutterEngine& operator=(const FlutterEngine&) = delete;

  // Null, with a line on stderr, when the engine is not running.
  FlutterDesktopPluginRegistrarRef GetPluginRegistrar(const std::string& plugin_name) override;

  void ReloadSystemFonts();

  // Runs the callback once, after the engine's next frame; replaces one armed before.
  void SetNextFrameCallback(std::function<void()> callback);

  // The engine keeps ownership. Null only when the engine could not be created.
  BinaryMessenger* GetMessenger();

  // Hands the engine over (to a view controller): the wrapper no longer destroys it.
  FlutterDesktopEngineRef TakeEngineHandle();

 private:
  friend class FlutterViewController;

  static void OnNextFrame(void* user_data);

  // The new owner disposed of the engine (its creation failed): the handle is dead.
  void ForgetEngineHandle();

  FlutterDesktopEngineRef engine = nullptr;
  std::unique_ptr<BinaryMessengerImpl> messenger;
  bool owns_engine = true;
  std::function<void()> next_frame_callback;
};

}  // namespace flutter

#endif  // CLIENT_FLUTTER_ENGINE_H_
