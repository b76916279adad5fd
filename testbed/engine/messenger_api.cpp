// The messenger functions of the stand-in: one callback per channel, single-use response
// handles, counted references and a real lock.
#include <algorithm>

#include "client/embedder.h"
#include "testbed/engine/testbed_state.h"

namespace {

bool IsLive(FlutterDesktopMessengerRef messenger) {
  const auto& messengers = testbed::GetState().messengers;
  return messenger != nullptr &&
         std::find(messengers.begin(), messengers.end(), messenger) != messengers.end();
}

testbed::Response* FindResponse(const FlutterDesktopMessageResponseHandle* handle) {
  testbed::State& state = testbed::GetState();
  if (handle == nullptr || handle->ticket < 0 ||
      static_cast<size_t>(handle->ticket) >= state.responses_used) {
    return nullptr;
  }
  testbed::Response& response = state.responses[static_cast<size_t>(handle->ticket)];
  return &response.handle == handle ? &response : nullptr;
}

}  // namespace

// The host sends nothing to the user interface; the stand-in only keeps the reply promised for
// every accepted send.
bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger, const char* /*channel*/,
                                 const uint8_t* /*message*/, size_t /*message_size*/) {
  testbed::Journal("Send");
  return IsLive(messenger) && messenger->available;
}

bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef messenger,
                                          const char* /*channel*/, const uint8_t* /*message*/,
                                          size_t /*message_size*/, FlutterDesktopBinaryReply reply,
                                          void* user_data) {
  testbed::Journal("SendWithReply");
  if (!IsLive(messenger) || !messenger->available || reply == nullptr) {
    return false;
  }
  testbed::GetState().pending_sends.push_back({messenger, reply, user_data});
  return true;
}

void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger, const char* channel,
                                        FlutterDesktopMessageCallback callback, void* user_data) {
  testbed::Journal("SetCallback");
  if (!IsLive(messenger) || channel == nullptr || messenger->engine == nullptr) {
    return;
  }
  if (callback == nullptr) {
    messenger->callbacks.erase(channel);
  } else {
    messenger->callbacks[channel] = {callback, user_data};
  }
}

void FlutterDesktopMessengerSendResponse(FlutterDesktopMessengerRef messenger,
                                         const FlutterDesktopMessageResponseHandle* handle,
                                         const uint8_t* data, size_t data_length) {
  testbed::State& state = testbed::GetState();
  bool locked = IsLive(messenger) && messenger->locked;
  testbed::Journal(locked ? "SendResponse" : "SendResponse(unlocked)");
  testbed::Response* response = FindResponse(handle);
  if (response == nullptr) {
    return;
  }
  if (response->answered) {
    ++state.duplicate_responses;
    return;
  }
  response->answered = true;
  response->has_bytes = data != nullptr && data_length > 0;
  if (response->has_bytes) {
    response->bytes.assign(data, data + data_length);
  } else {
    response->bytes.clear();
  }
}

FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger) {
  testbed::Journal("AddRef");
  if (IsLive(messenger)) {
    ++messenger->references;
  }
  return messenger;
}

void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger) {
  testbed::Journal("Release");
  if (IsLive(messenger)) {
    testbed::ReleaseMessenger(messenger);
  }
}

FlutterDesktopMessengerLockTokenRef FlutterDesktopMessengerLock(
    FlutterDesktopMessengerRef messenger) {
  if (!IsLive(messenger) || testbed::GetState().lock_returns_null) {
    testbed::Journal("Lock");
    return nullptr;
  }
  // A lock left held by this thread would deadlock the test; report it instead.
  if (messenger->locked && messenger->holder == std::this_thread::get_id()) {
    testbed::Journal("Lock(already held)");
    return nullptr;
  }
  testbed::Journal("Lock");
  messenger->mutex.lock();
  messenger->locked = true;
  messenger->holder = std::this_thread::get_id();
  return &messenger->token;
}

void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerLockTokenRef token) {
  testbed::Journal("Unlock");
  if (token == nullptr || !IsLive(token->messenger) || !token->messenger->locked) {
    return;
  }
  token->messenger->locked = false;
  token->messenger->mutex.unlock();
}

bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger) {
  testbed::Journal("IsAvailable");
  return IsLive(messenger) && messenger->available && messenger->engine != nullptr;
}
