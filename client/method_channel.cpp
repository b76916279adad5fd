#include "client/method_channel.h"

#include <iostream>
#include <memory>
#include <utility>

#include "client/engine_method_result.h"

namespace flutter {

MethodChannel::MethodChannel(BinaryMessenger* channel_messenger, const std::string& channel_name,
                             const MethodCodec* method_codec)
    : messenger(channel_messenger), name(channel_name), codec(method_codec) {}

MethodChannel::~MethodChannel() = default;

void MethodChannel::SetMethodCallHandler(MethodCallHandler handler) const {
  if (!handler) {
    messenger->SetMessageHandler(name, nullptr);
    return;
  }
  const MethodCodec* channel_codec = codec;
  messenger->SetMessageHandler(
      name, [handler = std::move(handler), channel_codec, channel_name = name](
                const uint8_t* message, size_t message_size, ReplyCallback reply) {
        // Made before decoding, so that every message is answered through a result.
        auto result = std::make_unique<EngineMethodResult>(std::move(reply), channel_codec);
        std::unique_ptr<MethodCall> call = channel_codec->DecodeMethodCall(message, message_size);
        if (!call) {
          std::cerr << "Unable to construct method call from message on channel " << channel_name
                    << std::endl;
          result->NotImplemented();
          return;
        }
        handler(*call, std::move(result));
      });
}

}  // namespace flutter
