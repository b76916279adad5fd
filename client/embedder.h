// The engine library's C interface (flutter_windows.dll): its opaque handles, its two
// records and its 23 exported functions. Windows builds import them from the DLL;
// native builds link the stand-in engine, where they are ordinary functions.
#ifndef CLIENT_EMBEDDER_H_
#define CLIENT_EMBEDDER_H_

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#include "client/platform_types.h"

#if defined(_WIN32)
#if defined(FLUTTER_DESKTOP_IMPLEMENTATION)
#define FLUTTER_DESKTOP_EXPORT __declspec(dllexport)
#else
#define FLUTTER_DESKTOP_EXPORT __declspec(dllimport)
#endif
#else
#define FLUTTER_DESKTOP_EXPORT
#endif

#if defined(__cplusplus)
extern "C" {
#endif

// Opaque handles. Only the engine knows what they point to.
typedef struct FlutterDesktopEngine* FlutterDesktopEngineRef;
typedef struct FlutterDesktopViewController* FlutterDesktopViewControllerRef;
typedef struct FlutterDesktopView* FlutterDesktopViewRef;
typedef struct FlutterDesktopPluginRegistrar* FlutterDesktopPluginRegistrarRef;
typedef struct FlutterDesktopMessenger* FlutterDesktopMessengerRef;
typedef struct FlutterDesktopMessengerLockToken* FlutterDesktopMessengerLockTokenRef;
typedef struct FlutterDesktopMessageResponseHandle FlutterDesktopMessageResponseHandle;

// What the engine runs. The strings only need to live during FlutterDesktopEngineCreate.
typedef struct {
  const wchar_t* assets_path;
  const wchar_t* icu_data_path;
  const wchar_t* app_library_path;
  const char* entrypoint;  // UTF-8, never null; empty for the default entry point
  int32_t entrypoint_argc;
  const char** entrypoint_argv;  // UTF-8; null when argc is 0
  int32_t option_a;              // passed through unchanged; 0 in this program
  int32_t option_b;              // passed through unchanged; 0 in this program
} FlutterDesktopEngineProperties;

// One incoming channel message, valid during the message callback.
typedef struct {
  size_t struct_size;
  const char* channel;
  const uint8_t* message;
  size_t message_size;
  const FlutterDesktopMessageResponseHandle* response_handle;  // answer once
} FlutterDesktopMessage;

typedef void (*FlutterDesktopMessageCallback)(FlutterDesktopMessengerRef messenger,
                                              const FlutterDesktopMessage* message,
                                              void* user_data);
typedef void (*FlutterDesktopBinaryReply)(const uint8_t* data, size_t data_size, void* user_data);
typedef void (*FlutterDesktopNextFrameCallback)(void* user_data);

// Engine.
FLUTTER_DESKTOP_EXPORT FlutterDesktopEngineRef
FlutterDesktopEngineCreate(const FlutterDesktopEngineProperties* properties);
FLUTTER_DESKTOP_EXPORT bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine);
FLUTTER_DESKTOP_EXPORT FlutterDesktopMessengerRef
FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine);
FLUTTER_DESKTOP_EXPORT FlutterDesktopPluginRegistrarRef
FlutterDesktopEngineGetPluginRegistrar(FlutterDesktopEngineRef engine, const char* plugin_name);
FLUTTER_DESKTOP_EXPORT void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine);
FLUTTER_DESKTOP_EXPORT void FlutterDesktopEngineSetNextFrameCallback(
    FlutterDesktopEngineRef engine, FlutterDesktopNextFrameCallback callback, void* user_data);

// View controller and view. Creating a controller hands it the engine.
FLUTTER_DESKTOP_EXPORT FlutterDesktopViewControllerRef
FlutterDesktopViewControllerCreate(int32_t width, int32_t height, FlutterDesktopEngineRef engine);
FLUTTER_DESKTOP_EXPORT void FlutterDesktopViewControllerDestroy(
    FlutterDesktopViewControllerRef controller);
FLUTTER_DESKTOP_EXPORT FlutterDesktopViewRef
FlutterDesktopViewControllerGetView(FlutterDesktopViewControllerRef controller);
FLUTTER_DESKTOP_EXPORT void FlutterDesktopViewControllerForceRedraw(
    FlutterDesktopViewControllerRef controller);
FLUTTER_DESKTOP_EXPORT bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller, HWND hwnd, UINT message, WPARAM wparam,
    LPARAM lparam, LRESULT* result);
FLUTTER_DESKTOP_EXPORT HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view);

// Process-wide helpers.
FLUTTER_DESKTOP_EXPORT UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor);
FLUTTER_DESKTOP_EXPORT void FlutterDesktopResyncOutputStreams(void);

// Messenger.
FLUTTER_DESKTOP_EXPORT bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger,
                                                        const char* channel, const uint8_t* message,
                                                        size_t message_size);
FLUTTER_DESKTOP_EXPORT bool FlutterDesktopMessengerSendWithReply(
    FlutterDesktopMessengerRef messenger, const char* channel, const uint8_t* message,
    size_t message_size, FlutterDesktopBinaryReply reply, void* user_data);
FLUTTER_DESKTOP_EXPORT void FlutterDesktopMessengerSetCallback(
    FlutterDesktopMessengerRef messenger, const char* channel,
    FlutterDesktopMessageCallback callback, void* user_data);
FLUTTER_DESKTOP_EXPORT void FlutterDesktopMessengerSendResponse(
    FlutterDesktopMessengerRef messenger, const FlutterDesktopMessageResponseHandle* handle,
    const uint8_t* data, size_t data_length);
FLUTTER_DESKTOP_EXPORT FlutterDesktopMessengerRef
FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger);
FLUTTER_DESKTOP_EXPORT void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger);
FLUTTER_DESKTOP_EXPORT FlutterDesktopMessengerLockTokenRef
FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger);
FLUTTER_DESKTOP_EXPORT void FlutterDesktopMessengerUnlock(
    FlutterDesktopMessengerLockTokenRef token);
FLUTTER_DESKTOP_EXPORT bool FlutterDesktopMessengerIsAvailable(
    FlutterDesktopMessengerRef messenger);

#if defined(__cplusplus)
}  // extern "C"
#endif

#endif  // CLIENT_EMBEDDER_H_
