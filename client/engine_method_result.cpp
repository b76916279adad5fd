#include "client/engine_method_result.h"

#include <utility>
#include <vector>

namespace flutter {

EngineMethodResult::EngineMethodResult(ReplyCallback reply_callback,
                                       const MethodCodec* method_codec)
    : reply(std::make_unique<OneShotReply>(std::move(reply_callback))), codec(method_codec) {}

EngineMethodResult::~EngineMethodResult() = default;

void EngineMethodResult::HandleSuccess(const EncodableValue* result) {
  // Encoded even when it will be refused as a duplicate.
  std::unique_ptr<std::vector<uint8_t>> envelope = codec->EncodeSuccessEnvelope(result);
  reply->SendOnce(envelope.get());
}

void EngineMethodResult::HandleError(const std::string& error_code,
                                     const std::string& error_message,
                                     const EncodableValue* error_details) {
  std::unique_ptr<std::vector<uint8_t>> envelope =
      codec->EncodeErrorEnvelope(error_code, error_message, error_details);
  reply->SendOnce(envelope.get());
}

void EngineMethodResult::HandleNotImplemented() { reply->SendOnce(nullptr); }

}  // namespace flutter
