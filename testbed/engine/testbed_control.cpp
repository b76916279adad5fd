#include "testbed/engine/testbed_control.h"

#include <algorithm>

#include "testbed/engine/testbed_state.h"

namespace {

testbed::Response* ResponseFor(int32_t ticket) {
  testbed::State& state = testbed::GetState();
  if (ticket < 0 || static_cast<size_t>(ticket) >= state.responses_used) {
    return nullptr;
  }
  return &state.responses[static_cast<size_t>(ticket)];
}

template <typename T>
bool InRange(const std::vector<T>& list, int32_t index) {
  return index >= 0 && static_cast<size_t>(index) < list.size();
}

}  // namespace

void TestbedReset(void) {
  testbed::State& state = testbed::GetState();
  // Leftovers of a test that did not clean up, torn down in dependency order.
  while (!state.controllers.empty()) {
    testbed::DisposeViewController(state.controllers.back());
  }
  while (!state.engines.empty()) {
    testbed::DisposeEngine(state.engines.back());
  }
  for (FlutterDesktopMessenger* messenger : state.messengers) {
    delete messenger;
  }
  state = testbed::State();
}

int32_t TestbedDeliverMessage(const char* channel, const uint8_t* message, size_t message_size) {
  testbed::State& state = testbed::GetState();
  FlutterDesktopEngine* engine = state.current_engine;
  if (engine == nullptr || channel == nullptr || !engine->messenger->available) {
    return -1;
  }
  FlutterDesktopMessenger* messenger = engine->messenger;
  auto entry = messenger->callbacks.find(channel);
  if (entry == messenger->callbacks.end()) {
    return -1;
  }
  const FlutterDesktopMessenger::Callback callback = entry->second;

  // Reuse a recycled record, and its buffer, when there is one.
  if (state.responses_used == state.responses.size()) {
    state.responses.emplace_back();
  }
  const auto ticket = static_cast<int32_t>(state.responses_used++);
  testbed::Response& response = state.responses[static_cast<size_t>(ticket)];
  response.handle.ticket = ticket;
  response.answered = false;
  response.has_bytes = false;
  response.bytes.clear();

  FlutterDesktopMessage record;
  record.struct_size = sizeof(record);
  record.channel = channel;
  record.message = message;
  record.message_size = message_size;
  record.response_handle = &response.handle;
  callback.function(messenger, &record, callback.user_data);
  return ticket;
}

TestbedResponseState TestbedResponse(int32_t ticket) {
  const testbed::Response* response = ResponseFor(ticket);
  if (response == nullptr) {
    return kTestbedResponseUnknown;
  }
  if (!response->answered) {
    return kTestbedResponsePending;
  }
  return response->has_bytes ? kTestbedResponseBytes : kTestbedResponseEmpty;
}

const uint8_t* TestbedResponseData(int32_t ticket, size_t* size) {
  const testbed::Response* response = ResponseFor(ticket);
  const bool has_bytes = response != nullptr && response->has_bytes;
  if (size != nullptr) {
    *size = has_bytes ? response->bytes.size() : 0;
  }
  return has_bytes ? response->bytes.data() : nullptr;
}

int32_t TestbedDuplicateResponseCount(void) { return testbed::GetState().duplicate_responses; }

void TestbedRecycleResponses(void) { testbed::GetState().responses_used = 0; }

int32_t TestbedHasChannelCallback(const char* channel) {
  FlutterDesktopEngine* engine = testbed::GetState().current_engine;
  if (engine == nullptr || channel == nullptr) {
    return 0;
  }
  return engine->messenger->callbacks.count(channel) != 0 ? 1 : 0;
}

void* TestbedChannelUserData(const char* channel) {
  FlutterDesktopEngine* engine = testbed::GetState().current_engine;
  if (engine == nullptr || channel == nullptr) {
    return nullptr;
  }
  auto entry = engine->messenger->callbacks.find(channel);
  return entry != engine->messenger->callbacks.end() ? entry->second.user_data : nullptr;
}

void TestbedMarkEngineGone(void) {
  FlutterDesktopMessenger* messenger = testbed::GetState().current_messenger;
  if (messenger != nullptr) {
    messenger->available = false;
  }
}

void TestbedSetLockReturnsNull(int32_t null_token) {
  testbed::GetState().lock_returns_null = null_token != 0;
}

int32_t TestbedLiveMessengerCount(void) {
  return static_cast<int32_t>(testbed::GetState().messengers.size());
}

int32_t TestbedMessengerReferences(void) {
  FlutterDesktopMessenger* messenger = testbed::GetState().current_messenger;
  return messenger != nullptr ? messenger->references : -1;
}

void TestbedSetCallJournal(int32_t enabled) {
  testbed::GetState().journal_enabled = enabled != 0;
  testbed::GetState().journal.clear();
}

int32_t TestbedCallJournalSize(void) {
  return static_cast<int32_t>(testbed::GetState().journal.size());
}

const char* TestbedCallJournalEntry(int32_t index) {
  const auto& journal = testbed::GetState().journal;
  return InRange(journal, index) ? journal[static_cast<size_t>(index)] : nullptr;
}

int32_t TestbedEngineCreateCount(void) { return testbed::GetState().engines_created; }

int32_t TestbedEngineDestroyCallCount(void) { return testbed::GetState().engine_destroy_calls; }

int32_t TestbedLiveEngineCount(void) {
  return static_cast<int32_t>(testbed::GetState().engines.size());
}

const wchar_t* TestbedEngineAssetsPath(void) {
  return testbed::GetState().engine_record.assets_path.c_str();
}

const wchar_t* TestbedEngineIcuDataPath(void) {
  return testbed::GetState().engine_record.icu_data_path.c_str();
}

const wchar_t* TestbedEngineAppLibraryPath(void) {
  return testbed::GetState().engine_record.app_library_path.c_str();
}

const char* TestbedEngineEntrypoint(void) {
  const testbed::EngineRecord& record = testbed::GetState().engine_record;
  return record.entrypoint_null ? nullptr : record.entrypoint.c_str();
}

int32_t TestbedEngineArgumentCount(void) {
  return testbed::GetState().engine_record.argument_count;
}

int32_t TestbedEngineArgumentArrayWasNull(void) {
  return testbed::GetState().engine_record.argument_array_null ? 1 : 0;
}

const char* TestbedEngineArgument(int32_t index) {
  const auto& arguments = testbed::GetState().engine_record.arguments;
  return InRange(arguments, index) ? arguments[static_cast<size_t>(index)].c_str() : nullptr;
}

int32_t TestbedFontReloadCount(void) { return testbed::GetState().font_reloads; }

int32_t TestbedRegistrarRequestCount(void) { return testbed::GetState().registrar_requests; }

void TestbedNotePluginRegistration(FlutterDesktopPluginRegistrarRef registrar,
                                   const char* registration_function) {
  const std::string* name = testbed::FindRegistrarName(registrar);
  testbed::PluginRegistration registration;
  registration.function = registration_function != nullptr ? registration_function : "";
  registration.plugin_name = name != nullptr ? *name : std::string();
  testbed::GetState().plugin_registrations.push_back(std::move(registration));
}

int32_t TestbedPluginRegistrationCount(void) {
  return static_cast<int32_t>(testbed::GetState().plugin_registrations.size());
}

const char* TestbedPluginRegistrationFunction(int32_t index) {
  const auto& registrations = testbed::GetState().plugin_registrations;
  return InRange(registrations, index) ? registrations[static_cast<size_t>(index)].function.c_str()
                                       : nullptr;
}

const char* TestbedPluginRegistrationPluginName(int32_t index) {
  const auto& registrations = testbed::GetState().plugin_registrations;
  return InRange(registrations, index)
             ? registrations[static_cast<size_t>(index)].plugin_name.c_str()
             : nullptr;
}

void TestbedSetViewControllerCreationFails(int32_t fail) {
  testbed::GetState().view_controller_creation_fails = fail != 0;
}

int32_t TestbedViewControllerDestroyCount(void) {
  return testbed::GetState().controllers_destroyed;
}

int32_t TestbedViewWidth(void) { return testbed::GetState().view_width; }

int32_t TestbedViewHeight(void) { return testbed::GetState().view_height; }

int32_t TestbedForceRedrawCount(void) { return testbed::GetState().force_redraws; }

int32_t TestbedRunPendingFrame(void) {
  testbed::State& state = testbed::GetState();
  // Copy: a next-frame callback may create or destroy controllers.
  const std::vector<FlutterDesktopViewController*> controllers = state.controllers;
  int32_t drawn = 0;
  for (FlutterDesktopViewController* controller : controllers) {
    const auto& live = state.controllers;
    if (std::find(live.begin(), live.end(), controller) != live.end() &&
        testbed::DrawPendingFrame(controller)) {
      drawn = 1;
    }
  }
  return drawn;
}

int32_t TestbedFramesDrawn(void) { return testbed::GetState().frames_drawn; }

int32_t TestbedNextFrameCallbacksRun(void) { return testbed::GetState().next_frame_callbacks_run; }

void TestbedConsumeWindowMessage(UINT message, LRESULT result) {
  testbed::GetState().consumed_messages[message] = result;
}

int32_t TestbedSeenWindowMessageCount(void) {
  return static_cast<int32_t>(testbed::GetState().seen_messages.size());
}

UINT TestbedSeenWindowMessage(int32_t index) {
  const auto& seen = testbed::GetState().seen_messages;
  return InRange(seen, index) ? seen[static_cast<size_t>(index)] : 0;
}

void TestbedOverrideDpi(UINT dpi) { testbed::GetState().dpi_override = dpi; }
