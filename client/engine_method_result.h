// Answers a method call through the engine: encodes the answer with the channel's codec and
// sends it once through the message's reply.
#ifndef CLIENT_ENGINE_METHOD_RESULT_H_
#define CLIENT_ENGINE_METHOD_RESULT_H_

#include <memory>
#include <string>

#include "client/binary_messenger.h"
#include "client/one_shot_reply.h"
#include "codec/encodable_value.h"
#include "codec/method_codec.h"
#include "codec/method_result.h"

namespace flutter {

class EngineMethodResult : public MethodResult {
 public:
  // The codec is not owned and must outlive the result.
  EngineMethodResult(ReplyCallback reply_callback, const MethodCodec* method_codec);
  ~EngineMethodResult() override;

 protected:
  void HandleSuccess(const EncodableValue* result) override;
  void HandleError(const std::string& error_code, const std::string& error_message,
                   const EncodableValue* error_details) override;
  // An empty reply: no bytes at all.
  void HandleNotImplemented() override;

 private:
  std::unique_ptr<OneShotReply> reply;
  const MethodCodec* codec;
};

}  // namespace flutter

#endif  // CLIENT_ENGINE_METHOD_RESULT_H_
