// The byte-level meeting point with the engine: named channels, one handler per channel,
// one reply per incoming message.
#ifndef CLIENT_BINARY_MESSENGER_H_
#define CLIENT_BINARY_MESSENGER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace flutter {

// Answers one message. Null bytes with a count of 0 is a legal (empty) answer.
using ReplyCallback = std::function<void(const uint8_t* reply, size_t reply_size)>;

// Handles the messages of one channel; it becomes the owner of the reply.
using ChannelMessageHandler =
    std::function<void(const uint8_t* message, size_t message_size, ReplyCallback reply)>;

class BinaryMessenger {
 public:
  virtual ~BinaryMessenger() = default;

  // Sends a message to the engine; an empty reply asks for no answer.
  virtual void Send(const std::string& channel, const uint8_t* message, size_t message_size,
                    ReplyCallback reply = nullptr) const = 0;

  // Replaces the channel's handler; an empty handler removes it.
  virtual void SetMessageHandler(const std::string& channel, ChannelMessageHandler handler) = 0;
};

}  // namespace flutter

#endif  // CLIENT_BINARY_MESSENGER_H_
