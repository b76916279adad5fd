// Turns method calls and their answers into bytes and back.
#ifndef CODEC_METHOD_CODEC_H_
#define CODEC_METHOD_CODEC_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codec/encodable_value.h"
#include "codec/method_call.h"
#include "codec/method_result.h"

namespace flutter {

class MethodCodec {
 public:
  MethodCodec() = default;
  virtual ~MethodCodec() = default;

  MethodCodec(const MethodCodec&) = delete;
  MethodCodec& operator=(const MethodCodec&) = delete;

  // None when the message does not start with a method name.
  virtual std::unique_ptr<MethodCall> DecodeMethodCall(const uint8_t* message,
                                                       size_t message_size) const = 0;

  virtual std::unique_ptr<std::vector<uint8_t>> EncodeMethodCall(
      const MethodCall& method_call) const = 0;

  // result null: no result value.
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeSuccessEnvelope(
      const EncodableValue* result = nullptr) const = 0;

  // details null: no details.
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeErrorEnvelope(
      const std::string& error_code, const std::string& error_message,
      const EncodableValue* error_details = nullptr) const = 0;

  // True when the response was a success or error envelope and result has been answered.
  virtual bool DecodeAndProcessResponseEnvelope(const uint8_t* response, size_t response_size,
                                                MethodResult* result) const = 0;
};

}  // namespace flutter

#endif  // CODEC_METHOD_CODEC_H_
