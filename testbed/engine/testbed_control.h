// Control and inspection of the stand-in engine, for tests and test tools. Plain C types
// only, so that plug-ins and probes can call it across the DLL boundary. Everything here
// runs on the UI thread, like the engine itself.
#ifndef TESTBED_ENGINE_TESTBED_CONTROL_H_
#define TESTBED_ENGINE_TESTBED_CONTROL_H_

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#include "client/embedder.h"

#if defined(_WIN32)
#if defined(FLUTTER_DESKTOP_IMPLEMENTATION)
#define TESTBED_EXPORT __declspec(dllexport)
#else
#define TESTBED_EXPORT __declspec(dllimport)
#endif
#else
#define TESTBED_EXPORT
#endif

#if defined(__cplusplus)
extern "C" {
#endif

// What became of a delivered message.
typedef enum {
  kTestbedResponsePending = 0,  // not answered yet
  kTestbedResponseEmpty = 1,    // answered with no bytes
  kTestbedResponseBytes = 2,    // answered with at least one byte
  kTestbedResponseUnknown = 3   // no such ticket
} TestbedResponseState;

// Forgets every engine setting and record, and destroys whatever engines, view controllers
// and messengers the host left behind. Call between tests.
TESTBED_EXPORT void TestbedReset(void);

// --- Messages from the user interface to the host ---

// Delivers a message on a channel of the most recently created engine. Returns a ticket for
// reading the response, or -1 when the engine is gone or no callback is set for the channel.
TESTBED_EXPORT int32_t TestbedDeliverMessage(const char* channel, const uint8_t* message,
                                             size_t message_size);
TESTBED_EXPORT TestbedResponseState TestbedResponse(int32_t ticket);
// The response bytes (null when there are none) and their count.
TESTBED_EXPORT const uint8_t* TestbedResponseData(int32_t ticket, size_t* size);
// Responses sent a second time through an already used response handle.
TESTBED_EXPORT int32_t TestbedDuplicateResponseCount(void);
// Drops all tickets but keeps their buffers, so that loops of deliveries do not allocate.
// Response handles handed out before become invalid.
TESTBED_EXPORT void TestbedRecycleResponses(void);
// Whether a message callback is set for a channel of the current engine's messenger, and
// the user data it was set with.
TESTBED_EXPORT int32_t TestbedHasChannelCallback(const char* channel);
TESTBED_EXPORT void* TestbedChannelUserData(const char* channel);

// --- Messenger ---

// Makes the current engine's messenger report not-available, as after engine shutdown.
TESTBED_EXPORT void TestbedMarkEngineGone(void);
// Makes FlutterDesktopMessengerLock return a null token (taking no lock) while set.
TESTBED_EXPORT void TestbedSetLockReturnsNull(int32_t null_token);
// Messenger objects alive, and references on the most recently created one (-1 once freed).
TESTBED_EXPORT int32_t TestbedLiveMessengerCount(void);
TESTBED_EXPORT int32_t TestbedMessengerReferences(void);
// Journal of messenger calls, by function name without the "FlutterDesktopMessenger"
// prefix ("Lock", "IsAvailable", "SendResponse", "Unlock", ...). "SendResponse" is written
// "SendResponse(unlocked)" when the messenger lock was not held, and "Lock(already held)" when
// the calling thread still held it (the stand-in then returns a null token, not a deadlock).
// Journal and seen window messages keep their first 65536 entries. On by
// default; switching it (on or off) empties it.
TESTBED_EXPORT void TestbedSetCallJournal(int32_t enabled);
TESTBED_EXPORT int32_t TestbedCallJournalSize(void);
TESTBED_EXPORT const char* TestbedCallJournalEntry(int32_t index);

// --- Engine ---

TESTBED_EXPORT int32_t TestbedEngineCreateCount(void);
// Calls of FlutterDesktopEngineDestroy (disposal by a view controller is not counted).
TESTBED_EXPORT int32_t TestbedEngineDestroyCallCount(void);
// Engines not yet disposed of.
TESTBED_EXPORT int32_t TestbedLiveEngineCount(void);
// Properties given to the most recent FlutterDesktopEngineCreate, as copied then.
TESTBED_EXPORT const wchar_t* TestbedEngineAssetsPath(void);
TESTBED_EXPORT const wchar_t* TestbedEngineIcuDataPath(void);
TESTBED_EXPORT const wchar_t* TestbedEngineAppLibraryPath(void);
TESTBED_EXPORT const char* TestbedEngineEntrypoint(void);  // null when it was null
TESTBED_EXPORT int32_t TestbedEngineArgumentCount(void);
TESTBED_EXPORT int32_t TestbedEngineArgumentArrayWasNull(void);
TESTBED_EXPORT const char* TestbedEngineArgument(int32_t index);
TESTBED_EXPORT int32_t TestbedFontReloadCount(void);

// --- Plug-ins ---

// Registrar requests, whatever their engine.
TESTBED_EXPORT int32_t TestbedRegistrarRequestCount(void);
// Called by the stand-in plug-in libraries from their registration functions.
TESTBED_EXPORT void TestbedNotePluginRegistration(FlutterDesktopPluginRegistrarRef registrar,
                                                  const char* registration_function);
TESTBED_EXPORT int32_t TestbedPluginRegistrationCount(void);
TESTBED_EXPORT const char* TestbedPluginRegistrationFunction(int32_t index);
// The plug-in name of the registrar passed then ("" for a null registrar).
TESTBED_EXPORT const char* TestbedPluginRegistrationPluginName(int32_t index);

// --- View controller, view and frames ---

TESTBED_EXPORT void TestbedSetViewControllerCreationFails(int32_t fail);
TESTBED_EXPORT int32_t TestbedViewControllerDestroyCount(void);
// Size asked for by the most recent FlutterDesktopViewControllerCreate.
TESTBED_EXPORT int32_t TestbedViewWidth(void);
TESTBED_EXPORT int32_t TestbedViewHeight(void);
TESTBED_EXPORT int32_t TestbedForceRedrawCount(void);
// Draws the frame a ForceRedraw asked for, then fires the next-frame callback once.
// Returns 1 when a frame was drawn. On Windows the view window does this by itself.
TESTBED_EXPORT int32_t TestbedRunPendingFrame(void);
TESTBED_EXPORT int32_t TestbedFramesDrawn(void);
TESTBED_EXPORT int32_t TestbedNextFrameCallbacksRun(void);

// --- Window messages and DPI ---

// FlutterDesktopViewControllerHandleTopLevelWindowProc consumes this message with this result.
TESTBED_EXPORT void TestbedConsumeWindowMessage(UINT message, LRESULT result);
TESTBED_EXPORT int32_t TestbedSeenWindowMessageCount(void);
TESTBED_EXPORT UINT TestbedSeenWindowMessage(int32_t index);
// DPI that FlutterDesktopGetDpiForMonitor reports; 0 restores the monitor's own.
TESTBED_EXPORT void TestbedOverrideDpi(UINT dpi);

#if defined(__cplusplus)
}  // extern "C"
#endif

#endif  // TESTBED_ENGINE_TESTBED_CONTROL_H_
