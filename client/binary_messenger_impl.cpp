#include "client/binary_messenger_impl.h"

#include <iostream>
#include <memory>
#include <utility>

namespace flutter {

namespace {

// Answers one incoming message. Copies share one counted reference on the messenger and
// each can respond once.
class ReplyClosure {
 public:
  ReplyClosure(std::shared_ptr<FlutterDesktopMessenger> hold,
               const FlutterDesktopMessageResponseHandle* response)
      : messenger(std::move(hold)), response_handle(response) {}

  void operator()(const uint8_t* reply, size_t reply_size) {
    FlutterDesktopMessengerRef handle = messenger.get();
    FlutterDesktopMessengerLockTokenRef token = FlutterDesktopMessengerLock(handle);
    // A late reply after the engine has gone is dropped without a word.
    if (FlutterDesktopMessengerIsAvailable(handle)) {
      if (response_handle == nullptr) {
        std::cerr << "Error: Response can be set only once. Ignoring duplicate response."
                  << std::endl;
      } else {
        FlutterDesktopMessengerSendResponse(handle, response_handle, reply, reply_size);
        response_handle = nullptr;
      }
    }
    if (token != nullptr) {
      FlutterDesktopMessengerUnlock(token);
    }
  }

 private:
  std::shared_ptr<FlutterDesktopMessenger> messenger;
  const FlutterDesktopMessageResponseHandle* response_handle;
};

void DispatchIncomingMessage(FlutterDesktopMessengerRef messenger,
                             const FlutterDesktopMessage* message, void* user_data) {
  if (message == nullptr || user_data == nullptr) {
    return;
  }
  auto* handler = static_cast<ChannelMessageHandler*>(user_data);
  std::shared_ptr<FlutterDesktopMessenger> hold(FlutterDesktopMessengerAddRef(messenger),
                                                &FlutterDesktopMessengerRelease);
  ReplyCallback reply = ReplyClosure(hold, message->response_handle);
  (*handler)(message->message, message->message_size, std::move(reply));
  // The local hold ends here; the reply, wherever the handler put it, keeps its own.
}

// The embedder's context for one Send that wants a reply.
struct PendingReply {
  ReplyCallback reply;
};

void DeliverReply(const uint8_t* data, size_t data_size, void* user_data) {
  std::unique_ptr<PendingReply> pending(static_cast<PendingReply*>(user_data));
  if (pending && pending->reply) {
    pending->reply(data, data_size);
  }
}

}  // namespace

BinaryMessengerImpl::BinaryMessengerImpl(FlutterDesktopMessengerRef messenger_handle)
    : messenger(messenger_handle) {}

BinaryMessengerImpl::~BinaryMessengerImpl() = default;

void BinaryMessengerImpl::Send(const std::string& channel, const uint8_t* message,
                               size_t message_size, ReplyCallback reply) const {
  if (!reply) {
    FlutterDesktopMessengerSend(messenger, channel.c_str(), message, message_size);
    return;
  }
  auto pending = std::make_unique<PendingReply>(PendingReply{std::move(reply)});
  if (FlutterDesktopMessengerSendWithReply(messenger, channel.c_str(), message, message_size,
                                           &DeliverReply, pending.get())) {
    // The engine owns it now and hands it back to DeliverReply exactly once.
    static_cast<void>(pending.release());
  }
}

void BinaryMessengerImpl::SetMessageHandler(const std::string& channel,
                                            ChannelMessageHandler handler) {
  if (!handler) {
    handlers.erase(channel);
    FlutterDesktopMessengerSetCallback(messenger, channel.c_str(), nullptr, nullptr);
    return;
  }
  ChannelMessageHandler& stored = handlers[channel];
  stored = nullptr;  // the replaced handler goes first
  stored = std::move(handler);
  FlutterDesktopMessengerSetCallback(messenger, channel.c_str(), &DispatchIncomingMessage, &stored);
}

}  // namespace flutter
