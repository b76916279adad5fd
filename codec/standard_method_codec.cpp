#include "codec/standard_method_codec.h"

#include <iostream>
#include <map>
#include <utility>

#include "codec/byte_buffer_stream_reader.h"
#include "codec/byte_buffer_stream_writer.h"

namespace flutter {

namespace {

// Envelope tags.
constexpr uint8_t kSuccessEnvelope = 0;
constexpr uint8_t kErrorEnvelope = 1;

// Room for the envelopes this program sends without regrowing the vector.
constexpr size_t kInitialCapacity = 64;

std::unique_ptr<std::vector<uint8_t>> NewOutput() {
  auto output = std::make_unique<std::vector<uint8_t>>();
  output->reserve(kInitialCapacity);
  return output;
}

}  // namespace

StandardMethodCodec::StandardMethodCodec(const StandardCodecSerializer* value_serializer)
    : serializer(value_serializer) {}

const StandardMethodCodec& StandardMethodCodec::GetInstance(
    const StandardCodecSerializer* value_serializer) {
  const StandardCodecSerializer* key =
      value_serializer != nullptr ? value_serializer : &StandardCodecSerializer::GetInstance();
  // Never destroyed: codecs handed out stay valid until the process ends.
  using Registry = std::map<const StandardCodecSerializer*, std::unique_ptr<StandardMethodCodec>>;
  static Registry* const registry = new Registry();
  auto entry = registry->find(key);
  if (entry == registry->end()) {
    entry =
        registry->emplace(key, std::unique_ptr<StandardMethodCodec>(new StandardMethodCodec(key)))
            .first;
  }
  return *entry->second;
}

std::unique_ptr<MethodCall> StandardMethodCodec::DecodeMethodCall(const uint8_t* message,
                                                                  size_t message_size) const {
  ByteBufferStreamReader stream(message, message_size);
  EncodableValue method_name = serializer->ReadValue(&stream);
  const std::string* name = std::get_if<std::string>(&method_name);
  if (name == nullptr) {
    std::cerr << "Invalid method call; method name is not a string." << std::endl;
    return nullptr;
  }
  auto arguments = std::make_unique<EncodableValue>(serializer->ReadValue(&stream));
  return std::make_unique<MethodCall>(*name, std::move(arguments));
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeMethodCall(
    const MethodCall& method_call) const {
  auto output = NewOutput();
  ByteBufferStreamWriter stream(output.get());
  serializer->WriteValue(EncodableValue(method_call.MethodName()), &stream);
  if (const EncodableValue* arguments = method_call.Arguments()) {
    serializer->WriteValue(*arguments, &stream);
  } else {
    serializer->WriteValue(EncodableValue(), &stream);
  }
  return output;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeSuccessEnvelope(
    const EncodableValue* result) const {
  auto output = NewOutput();
  ByteBufferStreamWriter stream(output.get());
  stream.WriteByte(kSuccessEnvelope);
  if (result != nullptr) {
    serializer->WriteValue(*result, &stream);
  } else {
    serializer->WriteValue(EncodableValue(), &stream);
  }
  return output;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeErrorEnvelope(
    const std::string& error_code, const std::string& error_message,
    const EncodableValue* error_details) const {
  auto output = NewOutput();
  ByteBufferStreamWriter stream(output.get());
  stream.WriteByte(kErrorEnvelope);
  serializer->WriteValue(EncodableValue(error_code), &stream);
  if (error_message.empty()) {
    serializer->WriteValue(EncodableValue(), &stream);
  } else {
    serializer->WriteValue(EncodableValue(error_message), &stream);
  }
  if (error_details != nullptr) {
    serializer->WriteValue(*error_details, &stream);
  } else {
    serializer->WriteValue(EncodableValue(), &stream);
  }
  return output;
}

bool StandardMethodCodec::DecodeAndProcessResponseEnvelope(const uint8_t* response,
                                                           size_t response_size,
                                                           MethodResult* result) const {
  ByteBufferStreamReader stream(response, response_size);
  const uint8_t tag = stream.ReadByte();
  switch (tag) {
    case kSuccessEnvelope: {
      const EncodableValue value = serializer->ReadValue(&stream);
      if (value.IsNull()) {
        result->Success();
      } else {
        result->Success(value);
      }
      return true;
    }
    case kErrorEnvelope: {
      const EncodableValue code = serializer->ReadValue(&stream);
      const EncodableValue message = serializer->ReadValue(&stream);
      const EncodableValue details = serializer->ReadValue(&stream);
      // Checked access: a malformed envelope raises before the result is touched.
      const std::string& error_code = code.Get<std::string>();
      const std::string& error_message =
          message.IsNull() ? std::string() : message.Get<std::string>();
      if (details.IsNull()) {
        result->Error(error_code, error_message);
      } else {
        result->Error(error_code, error_message, details);
      }
      return true;
    }
    default:
      return false;
  }
}

}  // namespace flutter
