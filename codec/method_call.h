// A decoded request from the user interface: a method name and its arguments.
#ifndef CODEC_METHOD_CALL_H_
#define CODEC_METHOD_CALL_H_

#include <memory>
#include <string>
#include <utility>

#include "codec/encodable_value.h"

namespace flutter {

class MethodCall {
 public:
  MethodCall(const std::string& name, std::unique_ptr<EncodableValue> call_arguments)
      : method_name(name), arguments(std::move(call_arguments)) {}
  virtual ~MethodCall() = default;

  MethodCall(const MethodCall&) = delete;
  MethodCall& operator=(const MethodCall&) = delete;

  const std::string& MethodName() const { return method_name; }
  // Null when absent; the standard method codec always supplies a value.
  const EncodableValue* Arguments() const { return arguments.get(); }

 private:
  std::string method_name;
  std::unique_ptr<EncodableValue> arguments;
};

}  // namespace flutter

#endif  // CODEC_METHOD_CALL_H_
