// The standard method codec: method calls and envelopes over the standard serializer.
#ifndef CODEC_STANDARD_METHOD_CODEC_H_
#define CODEC_STANDARD_METHOD_CODEC_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codec/method_codec.h"
#include "codec/standard_codec_serializer.h"

namespace flutter {

class StandardMethodCodec : public MethodCodec {
 public:
  // The process-wide codec for a serializer (null: the default one). The same serializer
  // always gives the same codec; codecs live until the process ends, so the serializer
  // must too. Call from one thread at a time.
  static const StandardMethodCodec& GetInstance(
      const StandardCodecSerializer* value_serializer = nullptr);

  ~StandardMethodCodec() override = default;

  std::unique_ptr<MethodCall> DecodeMethodCall(const uint8_t* message,
                                               size_t message_size) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeMethodCall(
      const MethodCall& method_call) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeSuccessEnvelope(
      const EncodableValue* result = nullptr) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeErrorEnvelope(
      const std::string& error_code, const std::string& error_message,
      const EncodableValue* error_details = nullptr) const override;
  // An error envelope whose code is not a string, or whose message is neither null nor a
  // string, raises BadVariantAccess and leaves result unanswered.
  bool DecodeAndProcessResponseEnvelope(const uint8_t* response, size_t response_size,
                                        MethodResult* result) const override;

 private:
  explicit StandardMethodCodec(const StandardCodecSerializer* value_serializer);

  const StandardCodecSerializer* serializer;
};

}  // namespace flutter

#endif  // CODEC_STANDARD_METHOD_CODEC_H_
