#include "window/plugin_registration.h"

#include "client/embedder.h"

// The plug-in libraries' registration functions, imported at load time.
#if defined(_WIN32)
#define PLUGIN_IMPORT __declspec(dllimport)
#else
#define PLUGIN_IMPORT
#endif

extern "C" {
PLUGIN_IMPORT void ScreenRetrieverWindowsPluginCApiRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
PLUGIN_IMPORT void SystemTrayPluginRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
PLUGIN_IMPORT void WindowManagerPluginRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
}

void RegisterPlugins(flutter::PluginRegistry* registry) {
  ScreenRetrieverWindowsPluginCApiRegisterWithRegistrar(
      registry->GetPluginRegistrar("ScreenRetrieverWindowsPluginCApi"));
  SystemTrayPluginRegisterWithRegistrar(registry->GetPluginRegistrar("SystemTrayPlugin"));
  WindowManagerPluginRegisterWithRegistrar(registry->GetPluginRegistrar("WindowManagerPlugin"));
}
