// The guard's registration and its channel "veskaro/gamma": the shared ramp.
#include <string>
#include <utility>

#include "client/method_channel.h"
#include "codec/encodable_value.h"
#include "codec/method_call.h"
#include "codec/method_result.h"
#include "codec/standard_method_codec.h"
#include "gamma/gamma_guard.h"
#include "gamma/guard_log.h"

namespace {

constexpr char kGammaChannelName[] = "veskaro/gamma";
constexpr char kDisplaysChannelName[] = "veskaro/displays";

// The ramp of a "set" call's arguments, or null when they are not {"ramp": 1536 bytes}.
const std::vector<uint8_t>* RampArgument(const flutter::EncodableValue* arguments) {
  const auto* map = arguments != nullptr ? std::get_if<flutter::EncodableMap>(arguments) : nullptr;
  if (map == nullptr) {
    return nullptr;
  }
  const auto entry = map->find(flutter::EncodableValue(std::string("ramp")));
  if (entry == map->end()) {
    return nullptr;
  }
  const auto* ramp = std::get_if<std::vector<uint8_t>>(&entry->second);
  return ramp != nullptr && ramp->size() == kRampBytes ? ramp : nullptr;
}

}  // namespace

void GammaGuard::Init(flutter::BinaryMessenger* messenger,
                      GammaPlatform::WindowHandle timer_owner) {
  window = timer_owner;
  if (messenger == nullptr) {
    return;
  }
  const flutter::StandardMethodCodec& codec = flutter::StandardMethodCodec::GetInstance();
  channel = std::make_unique<flutter::MethodChannel>(messenger, kGammaChannelName, &codec);
  channel->SetMethodCallHandler(
      [this](const flutter::MethodCall& call, std::unique_ptr<flutter::MethodResult> result) {
        HandleMethodCall(call, std::move(result));
      });
  displays_channel =
      std::make_unique<flutter::MethodChannel>(messenger, kDisplaysChannelName, &codec);
  displays_channel->SetMethodCallHandler(
      [this](const flutter::MethodCall& call, std::unique_ptr<flutter::MethodResult> result) {
        HandleDisplaysCall(call, std::move(result));
      });
  GuardLog("init: channel registered");
}

void GammaGuard::HandleMethodCall(const flutter::MethodCall& call,
                                  std::unique_ptr<flutter::MethodResult> result) {
  // Without a result the call still takes effect; there is just nobody to answer.
  const std::string& method = call.MethodName();
  if (method == "set") {
    const std::vector<uint8_t>* ramp = RampArgument(call.Arguments());
    if (ramp == nullptr) {
      if (result != nullptr) {
        result->Error("bad_args", "ramp must be 1536 bytes");
      }
      return;
    }
    Arm(*ramp);
    // Success even when the driver rejected the ramp: it is accepted and guarded, and
    // the guard keeps retrying; the log records the rejection.
    if (result != nullptr) {
      result->Success();
    }
  } else if (method == "clear") {
    Disarm();
    if (result != nullptr) {
      result->Success();
    }
  } else if (result != nullptr) {
    result->NotImplemented();
  }
}
