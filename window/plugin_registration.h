// Registers the three plug-in libraries with the engine.
#ifndef WINDOW_PLUGIN_REGISTRATION_H_
#define WINDOW_PLUGIN_REGISTRATION_H_

#include "client/plugin_registry.h"

// Screen retriever, system tray, window manager, in that order; a null registrar is
// passed on as it comes.
void RegisterPlugins(flutter::PluginRegistry* registry);

#endif  // WINDOW_PLUGIN_REGISTRATION_H_
