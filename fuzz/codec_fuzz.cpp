// Decodes arbitrary bytes as a value, a method call and a response envelope, and checks
// that whatever came out re-encodes to bytes that decode back to the same encoding.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "codec/byte_buffer_stream_reader.h"
#include "codec/byte_buffer_stream_writer.h"
#include "codec/standard_codec_serializer.h"
#include "codec/standard_method_codec.h"

namespace {

using flutter::ByteBufferStreamReader;
using flutter::ByteBufferStreamWriter;
using flutter::EncodableValue;
using flutter::MethodCall;
using flutter::MethodResult;
using flutter::StandardCodecSerializer;
using flutter::StandardMethodCodec;

void Check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

std::vector<uint8_t> Encode(const EncodableValue& value) {
  std::vector<uint8_t> bytes;
  ByteBufferStreamWriter writer(&bytes);
  StandardCodecSerializer::GetInstance().WriteValue(value, &writer);
  return bytes;
}

bool HasNan(const EncodableValue& value) {
  if (const auto* number = std::get_if<double>(&value)) {
    return std::isnan(*number);
  }
  if (const auto* numbers = std::get_if<std::vector<double>>(&value)) {
    return std::any_of(numbers->begin(), numbers->end(), [](double x) { return std::isnan(x); });
  }
  if (const auto* numbers = std::get_if<std::vector<float>>(&value)) {
    return std::any_of(numbers->begin(), numbers->end(), [](float x) { return std::isnan(x); });
  }
  if (const auto* list = std::get_if<flutter::EncodableList>(&value)) {
    return std::any_of(list->begin(), list->end(), HasNan);
  }
  if (const auto* map = std::get_if<flutter::EncodableMap>(&value)) {
    return std::any_of(map->begin(), map->end(), [](const auto& entry) {
      return HasNan(entry.first) || HasNan(entry.second);
    });
  }
  return false;
}

// A NaN in a map key is equivalent to every double key (the value ordering says any
// comparison with NaN is false), so which entries survive decoding depends on the order
// they arrive in and a re-encoded map may legitimately lose entries.
bool HasNanKey(const EncodableValue& value) {
  if (const auto* list = std::get_if<flutter::EncodableList>(&value)) {
    return std::any_of(list->begin(), list->end(), HasNanKey);
  }
  if (const auto* map = std::get_if<flutter::EncodableMap>(&value)) {
    return std::any_of(map->begin(), map->end(), [](const auto& entry) {
      return HasNan(entry.first) || HasNanKey(entry.first) || HasNanKey(entry.second);
    });
  }
  return false;
}

// Equality by re-encoding: NaN doubles make ordering comparisons useless for this.
void CheckRoundTrip(const EncodableValue& value) {
  const std::vector<uint8_t> encoded = Encode(value);
  ByteBufferStreamReader reader(encoded.data(), encoded.size());
  const EncodableValue decoded = StandardCodecSerializer::GetInstance().ReadValue(&reader);
  Check(reader.Remaining() == 0);
  Check(Encode(decoded) == encoded || HasNanKey(value));
}

// Re-encodes whatever answer the envelope gave and checks it decodes to the same answer.
class ReencodingResult : public MethodResult {
 public:
  std::vector<uint8_t> envelope;
  bool nan_key = false;

 protected:
  void HandleSuccess(const EncodableValue* result) override {
    envelope = *StandardMethodCodec::GetInstance().EncodeSuccessEnvelope(result);
    nan_key = result != nullptr && HasNanKey(*result);
  }
  void HandleError(const std::string& code, const std::string& message,
                   const EncodableValue* details) override {
    envelope = *StandardMethodCodec::GetInstance().EncodeErrorEnvelope(code, message, details);
    nan_key = details != nullptr && HasNanKey(*details);
  }
  void HandleNotImplemented() override { std::abort(); }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Malformed input reports on every other read; drop the text, keep the work.
  std::cerr.rdbuf(nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const StandardMethodCodec& codec = StandardMethodCodec::GetInstance();

  ByteBufferStreamReader reader(data, size);
  CheckRoundTrip(StandardCodecSerializer::GetInstance().ReadValue(&reader));

  if (std::unique_ptr<MethodCall> call = codec.DecodeMethodCall(data, size)) {
    const std::unique_ptr<std::vector<uint8_t>> encoded = codec.EncodeMethodCall(*call);
    const std::unique_ptr<MethodCall> again =
        codec.DecodeMethodCall(encoded->data(), encoded->size());
    Check(again != nullptr && again->MethodName() == call->MethodName());
    Check(*codec.EncodeMethodCall(*again) == *encoded || HasNanKey(*call->Arguments()));
  }

  ReencodingResult result;
  bool answered = false;
  try {
    answered = codec.DecodeAndProcessResponseEnvelope(data, size, &result);
  } catch (const std::bad_variant_access&) {
    // An error envelope whose code or message has the wrong type.
    Check(size > 0 && data[0] == 1);
    Check(result.envelope.empty());
  }
  if (answered) {
    ReencodingResult again;
    Check(codec.DecodeAndProcessResponseEnvelope(result.envelope.data(), result.envelope.size(),
                                                 &again));
    Check(again.envelope == result.envelope || result.nan_key);
  }
  return 0;
}
