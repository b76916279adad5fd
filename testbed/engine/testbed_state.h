// What the stand-in engine's handles point to, and the one process-wide record of what the
// engine was asked to do. Test equipment: single-threaded apart from the messenger lock.
#ifndef TESTBED_ENGINE_TESTBED_STATE_H_
#define TESTBED_ENGINE_TESTBED_STATE_H_

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client/embedder.h"

struct FlutterDesktopMessageResponseHandle {
  int32_t ticket;
};

struct FlutterDesktopMessengerLockToken {
  FlutterDesktopMessenger* messenger;
};

struct FlutterDesktopMessenger {
  struct Callback {
    FlutterDesktopMessageCallback function;
    void* user_data;
  };

  FlutterDesktopEngine* engine = nullptr;  // null once the engine is gone
  bool available = true;
  int32_t references = 1;  // the engine's own
  std::mutex mutex;
  bool locked = false;
  std::thread::id holder;  // meaningful while locked
  FlutterDesktopMessengerLockToken token{this};
  std::map<std::string, Callback, std::less<>> callbacks;
};

struct FlutterDesktopPluginRegistrar {
  FlutterDesktopEngine* engine = nullptr;
  std::string plugin_name;
};

struct FlutterDesktopEngine {
  FlutterDesktopMessenger* messenger = nullptr;
  FlutterDesktopViewController* controller = nullptr;  // set once a controller took it over
  std::map<std::string, std::unique_ptr<FlutterDesktopPluginRegistrar>, std::less<>> registrars;
  FlutterDesktopNextFrameCallback next_frame_callback = nullptr;
  void* next_frame_user_data = nullptr;
};

struct FlutterDesktopView {
  FlutterDesktopViewController* controller = nullptr;
  HWND hwnd = nullptr;
};

struct FlutterDesktopViewController {
  FlutterDesktopEngine* engine = nullptr;
  FlutterDesktopView view;
  HWND parking = nullptr;  // hidden parent of the view until the host adopts it
  bool redraw_requested = false;
};

namespace testbed {

// One message delivered to the host, and its answer.
struct Response {
  FlutterDesktopMessageResponseHandle handle;
  bool answered = false;
  bool has_bytes = false;
  std::vector<uint8_t> bytes;  // reused after TestbedRecycleResponses
};

struct PendingSend {
  FlutterDesktopMessenger* messenger;
  FlutterDesktopBinaryReply reply;
  void* user_data;
};

struct EngineRecord {
  std::wstring assets_path;
  std::wstring icu_data_path;
  std::wstring app_library_path;
  bool entrypoint_null = false;
  std::string entrypoint;
  int32_t argument_count = 0;
  bool argument_array_null = true;
  std::vector<std::string> arguments;
};

struct PluginRegistration {
  std::string function;
  std::string plugin_name;
};

struct State {
  // Settings.
  bool lock_returns_null = false;
  bool view_controller_creation_fails = false;
  bool journal_enabled = true;
  UINT dpi_override = 0;
  std::map<UINT, LRESULT> consumed_messages;
  // Runs once after the first frame any view controller draws; the scenario player hooks in
  // here.
  std::function<void()> after_first_frame;

  // Live objects.
  std::vector<FlutterDesktopEngine*> engines;
  std::vector<FlutterDesktopMessenger*> messengers;
  std::vector<FlutterDesktopViewController*> controllers;
  FlutterDesktopEngine* current_engine = nullptr;
  FlutterDesktopMessenger* current_messenger = nullptr;

  // Records.
  std::deque<Response> responses;
  size_t responses_used = 0;
  int32_t duplicate_responses = 0;
  std::deque<PendingSend> pending_sends;
  std::vector<const char*> journal;
  EngineRecord engine_record;
  int32_t engines_created = 0;
  int32_t engine_destroy_calls = 0;
  int32_t font_reloads = 0;
  int32_t registrar_requests = 0;
  std::vector<PluginRegistration> plugin_registrations;
  int32_t controllers_destroyed = 0;
  int32_t view_width = 0;
  int32_t view_height = 0;
  int32_t force_redraws = 0;
  int32_t frames_drawn = 0;
  int32_t next_frame_callbacks_run = 0;
  std::vector<UINT> seen_messages;
  int32_t characters = 0;
  int32_t output_resyncs = 0;
  // Whether the thread that made the last view had COM in a single-threaded apartment.
  bool view_thread_in_sta = false;
};

// Bounds the journal and the seen window messages, so that a host running for long under
// the stand-in does not grow without end.
constexpr size_t kMaxRecords = 1 << 16;

// Bytes the records hold (their elements and reply buffers, not the heap's bookkeeping), so
// that a long run can tell the stand-in's growth from the host's.
size_t RecordBytes();

State& GetState();

void Journal(const char* entry);

// Tears an engine down: answers its pending sends with empty replies, makes its messenger
// unavailable and drops the engine's reference on it.
void DisposeEngine(FlutterDesktopEngine* engine);
void ReleaseMessenger(FlutterDesktopMessenger* messenger);
void DisposeViewController(FlutterDesktopViewController* controller);

// Draws the frame a controller was asked for and fires its engine's next-frame callback.
bool DrawPendingFrame(FlutterDesktopViewController* controller);

// The registrar's plug-in name, found among live engines only (never dereferences a stranger).
const std::string* FindRegistrarName(FlutterDesktopPluginRegistrarRef registrar);

// The view's window: real on Windows, absent elsewhere.
void CreateViewWindow(FlutterDesktopViewController* controller, int32_t width, int32_t height);
void DestroyViewWindow(FlutterDesktopViewController* controller);
void RequestFrame(FlutterDesktopViewController* controller);
// Counts the characters the top-level window hands over and shows the count as the view's text.
void NoteTopLevelMessage(FlutterDesktopViewController* controller, UINT message);
UINT MonitorDpi(HMONITOR monitor);

}  // namespace testbed

#endif  // TESTBED_ENGINE_TESTBED_STATE_H_
