// The object through which a method call's handler answers it, exactly once.
#ifndef CODEC_METHOD_RESULT_H_
#define CODEC_METHOD_RESULT_H_

#include <string>

#include "codec/encodable_value.h"

namespace flutter {

// The public operations only forward; implementations override the Handle* operations.
class MethodResult {
 public:
  MethodResult() = default;
  virtual ~MethodResult() = default;

  MethodResult(const MethodResult&) = delete;
  MethodResult& operator=(const MethodResult&) = delete;

  void Success() { HandleSuccess(nullptr); }
  void Success(const EncodableValue& result) { HandleSuccess(&result); }
  void Error(const std::string& error_code, const std::string& error_message) {
    HandleError(error_code, error_message, nullptr);
  }
  void Error(const std::string& error_code, const std::string& error_message,
             const EncodableValue& error_details) {
    HandleError(error_code, error_message, &error_details);
  }
  void NotImplemented() { HandleNotImplemented(); }

 protected:
  // result null: no result value.
  virtual void HandleSuccess(const EncodableValue* result) = 0;
  // error_details null: no details.
  virtual void HandleError(const std::string& error_code, const std::string& error_message,
                           const EncodableValue* error_details) = 0;
  virtual void HandleNotImplemented() = 0;
};

}  // namespace flutter

#endif  // CODEC_METHOD_RESULT_H_
