// BinaryMessenger over the engine's messenger handle.
#ifndef CLIENT_BINARY_MESSENGER_IMPL_H_
#define CLIENT_BINARY_MESSENGER_IMPL_H_

#include <map>
#include <string>

#include "client/binary_messenger.h"
#include "client/embedder.h"

namespace flutter {

class BinaryMessengerImpl : public BinaryMessenger {
 public:
  // Neither owns the handle nor takes a reference on it.
  explicit BinaryMessengerImpl(FlutterDesktopMessengerRef messenger_handle);
  // Destroys the handlers without telling the engine, which is already gone by then.
  ~BinaryMessengerImpl() override;

  BinaryMessengerImpl(const BinaryMessengerImpl&) = delete;
  BinaryMessengerImpl& operator=(const BinaryMessengerImpl&) = delete;

  void Send(const std::string& channel, const uint8_t* message, size_t message_size,
            ReplyCallback reply = nullptr) const override;
  void SetMessageHandler(const std::string& channel, ChannelMessageHandler handler) override;

 private:
  FlutterDesktopMessengerRef messenger;
  // Node-based: the engine holds the address of each stored handler as callback context.
  std::map<std::string, ChannelMessageHandler> handlers;
};

}  // namespace flutter

#endif  // CLIENT_BINARY_MESSENGER_IMPL_H_
