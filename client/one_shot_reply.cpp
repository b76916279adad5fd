#include "client/one_shot_reply.h"

#include <iostream>
#include <utility>

namespace flutter {

OneShotReply::OneShotReply(ReplyCallback callback) : reply(std::move(callback)) {}

OneShotReply::~OneShotReply() {
  if (reply) {
    std::cerr << "Warning: Failed to respond to a message. This is a memory leak." << std::endl;
  }
}

void OneShotReply::SendOnce(const std::vector<uint8_t>* data) {
  if (!reply) {
    std::cerr << "Error: Only one of Success, Error, or NotImplemented can be called,"
              << " and it can be called exactly once. Ignoring duplicate result." << std::endl;
    return;
  }
  const uint8_t* bytes = data != nullptr && !data->empty() ? data->data() : nullptr;
  const size_t size = data != nullptr ? data->size() : 0;
  // Emptied before the call, so an answer given from inside the reply is still a duplicate.
  ReplyCallback callback = std::move(reply);
  reply = nullptr;
  callback(bytes, size);
}

}  // namespace flutter
