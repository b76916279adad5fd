// A named channel whose messages are method calls in a method codec's encoding.
#ifndef CLIENT_METHOD_CHANNEL_H_
#define CLIENT_METHOD_CHANNEL_H_

#include <string>

#include "client/binary_messenger.h"
#include "client/method_call_handler.h"
#include "codec/method_codec.h"

namespace flutter {

class MethodChannel {
 public:
  // Registers nothing yet. The messenger must be valid whenever a handler is set; the codec
  // must outlive every handler registered through the channel.
  MethodChannel(BinaryMessenger* channel_messenger, const std::string& channel_name,
                const MethodCodec* method_codec);
  // Leaves the registration in place: it does not refer back to the channel.
  ~MethodChannel();

  MethodChannel(const MethodChannel&) = delete;
  MethodChannel& operator=(const MethodChannel&) = delete;

  // Replaces the channel's handler; an empty one removes it.
  void SetMethodCallHandler(MethodCallHandler handler) const;

 private:
  BinaryMessenger* messenger;
  std::string name;
  const MethodCodec* codec;
};

}  // namespace flutter

#endif  // CLIENT_METHOD_CHANNEL_H_
