// Stand-in for system_tray_plugin.dll: records its registration with the stand-in engine so
// that tests can see the order and the registrar each plug-in received.
#include "client/embedder.h"
#include "testbed/engine/testbed_control.h"

extern "C" __declspec(dllexport) void SystemTrayPluginRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar) {
  TestbedNotePluginRegistration(registrar, "SystemTrayPluginRegisterWithRegistrar");
}
