// Where plug-ins get their registrars from.
#ifndef CLIENT_PLUGIN_REGISTRY_H_
#define CLIENT_PLUGIN_REGISTRY_H_

#include <string>

#include "client/embedder.h"

namespace flutter {

class PluginRegistry {
 public:
  virtual ~PluginRegistry() = default;

  // The engine's registrar for the named plug-in (UTF-8), or null.
  virtual FlutterDesktopPluginRegistrarRef GetPluginRegistrar(const std::string& plugin_name) = 0;
};

}  // namespace flutter

#endif  // CLIENT_PLUGIN_REGISTRY_H_
