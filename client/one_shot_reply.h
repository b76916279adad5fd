// Lets a reply go out once and reports a second attempt or a reply never sent.
#ifndef CLIENT_ONE_SHOT_REPLY_H_
#define CLIENT_ONE_SHOT_REPLY_H_

#include <cstdint>
#include <vector>

#include "client/binary_messenger.h"

namespace flutter {

class OneShotReply {
 public:
  explicit OneShotReply(ReplyCallback callback);
  // Warns when nothing was ever sent; the sender then never gets an answer.
  ~OneShotReply();

  OneShotReply(const OneShotReply&) = delete;
  OneShotReply& operator=(const OneShotReply&) = delete;

  // Sends the bytes, or an empty reply for null; refuses (with a line on stderr) after the
  // first time.
  void SendOnce(const std::vector<uint8_t>* data);

 private:
  ReplyCallback reply;  // empty once the answer has gone
};

}  // namespace flutter

#endif  // CLIENT_ONE_SHOT_REPLY_H_
