#include "testbed/engine/testbed_state.h"

#include <algorithm>

namespace testbed {

namespace {

template <typename T>
void Forget(std::vector<T*>& live, T* object) {
  live.erase(std::remove(live.begin(), live.end(), object), live.end());
}

}  // namespace

State& GetState() {
  // Never destroyed: plug-in libraries and late replies may still call in during exit.
  // The records' whole bounded storage is allocated and written once, up front: grown by
  // doubling, each new block would become resident page by page as it fills, and the soak would
  // count that as the host's memory (the records' figure counts the block at once).
  static State* state = [] {
    State* made = new State();
    made->journal.resize(kMaxRecords);
    made->journal.clear();
    made->seen_messages.resize(kMaxRecords);
    made->seen_messages.clear();
    return made;
  }();
  return *state;
}

void Journal(const char* entry) {
  State& state = GetState();
  if (state.journal_enabled && state.journal.size() < kMaxRecords) {
    state.journal.push_back(entry);
  }
}

size_t RecordBytes() {
  const State& state = GetState();
  size_t bytes = state.journal.capacity() * sizeof(const char*) +
                 state.seen_messages.capacity() * sizeof(UINT) +
                 state.pending_sends.size() * sizeof(PendingSend) +
                 state.responses.size() * sizeof(Response);
  for (const Response& response : state.responses) {
    bytes += response.bytes.capacity();
  }
  return bytes;
}

void ReleaseMessenger(FlutterDesktopMessenger* messenger) {
  State& state = GetState();
  if (--messenger->references > 0) {
    return;
  }
  Forget(state.messengers, messenger);
  if (state.current_messenger == messenger) {
    state.current_messenger = nullptr;
  }
  delete messenger;
}

void DisposeEngine(FlutterDesktopEngine* engine) {
  State& state = GetState();
  FlutterDesktopMessenger* messenger = engine->messenger;
  // A reply was promised for every accepted send: give it, empty, before going away.
  std::deque<PendingSend> orphans;
  for (auto it = state.pending_sends.begin(); it != state.pending_sends.end();) {
    if (it->messenger == messenger) {
      orphans.push_back(*it);
      it = state.pending_sends.erase(it);
    } else {
      ++it;
    }
  }
  for (const PendingSend& orphan : orphans) {
    orphan.reply(nullptr, 0, orphan.user_data);
  }
  messenger->available = false;
  messenger->engine = nullptr;
  messenger->callbacks.clear();
  ReleaseMessenger(messenger);
  Forget(state.engines, engine);
  if (state.current_engine == engine) {
    state.current_engine = nullptr;
  }
  delete engine;
}

void DisposeViewController(FlutterDesktopViewController* controller) {
  State& state = GetState();
  DestroyViewWindow(controller);
  if (controller->engine != nullptr) {
    DisposeEngine(controller->engine);
  }
  Forget(state.controllers, controller);
  delete controller;
}

bool DrawPendingFrame(FlutterDesktopViewController* controller) {
  State& state = GetState();
  if (!controller->redraw_requested) {
    return false;
  }
  controller->redraw_requested = false;
  ++state.frames_drawn;
  FlutterDesktopEngine* engine = controller->engine;
  if (engine != nullptr && engine->next_frame_callback != nullptr) {
    // Disarm before calling: the callback may arm the next one.
    FlutterDesktopNextFrameCallback callback = engine->next_frame_callback;
    void* user_data = engine->next_frame_user_data;
    engine->next_frame_callback = nullptr;
    engine->next_frame_user_data = nullptr;
    ++state.next_frame_callbacks_run;
    callback(user_data);
  }
  if (state.frames_drawn == 1 && state.after_first_frame) {
    state.after_first_frame();
  }
  return true;
}

const std::string* FindRegistrarName(FlutterDesktopPluginRegistrarRef registrar) {
  if (registrar == nullptr) {
    return nullptr;
  }
  for (FlutterDesktopEngine* engine : GetState().engines) {
    for (const auto& entry : engine->registrars) {
      if (entry.second.get() == registrar) {
        return &entry.second->plugin_name;
      }
    }
  }
  return nullptr;
}

}  // namespace testbed
