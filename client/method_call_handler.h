// What a method channel calls with each decoded call and the result that answers it.
#ifndef CLIENT_METHOD_CALL_HANDLER_H_
#define CLIENT_METHOD_CALL_HANDLER_H_

#include <functional>
#include <memory>

#include "codec/method_call.h"
#include "codec/method_result.h"

namespace flutter {

// The handler owns the result and may answer through it later.
using MethodCallHandler =
    std::function<void(const MethodCall& call, std::unique_ptr<MethodResult> result)>;

}  // namespace flutter

#endif  // CLIENT_METHOD_CALL_HANDLER_H_
