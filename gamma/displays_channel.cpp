// The channel "veskaro/displays": the desktop's displays as the guard sees them, and the
// ramps single displays keep instead of the shared one. Decoding and replies only; the
// guard does the work.
#include <string>
#include <vector>

#include "codec/encodable_value.h"
#include "codec/method_call.h"
#include "codec/method_result.h"
#include "gamma/gamma_guard.h"

namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

const char* RampSourceName(GammaGuard::RampSource source) {
  switch (source) {
    case GammaGuard::RampSource::kOwn:
      return "own";
    case GammaGuard::RampSource::kShared:
      return "shared";
    case GammaGuard::RampSource::kNone:
      break;
  }
  return "none";
}

const char* StateName(DisplayState state) {
  switch (state) {
    case DisplayState::kIntact:
      return "intact";
    case DisplayState::kRewritten:
      return "rewritten";
    case DisplayState::kRefused:
      return "refused";
    case DisplayState::kUnreadable:
      return "unreadable";
    case DisplayState::kUnchecked:
      break;
  }
  return "unchecked";
}

EncodableValue Key(const char* name) { return EncodableValue(std::string(name)); }

EncodableValue Encode(const GammaGuard::DisplayReport& display) {
  const GammaPlatform::DisplayFacts& facts = display.facts;
  return EncodableValue(EncodableMap{
      {Key("id"), EncodableValue(display.id)},
      {Key("device"), EncodableValue(display.device)},
      {Key("name"), EncodableValue(facts.name)},
      {Key("bounds"),
       EncodableValue(std::vector<int32_t>{facts.left, facts.top, facts.right, facts.bottom})},
      {Key("primary"), EncodableValue(facts.primary)},
      {Key("ramp"), EncodableValue(std::string(RampSourceName(display.ramp)))},
      {Key("state"), EncodableValue(std::string(StateName(display.state)))},
  });
}

// The arguments of "set" and "clear", or the reason they are bad.
struct DisplayArguments {
  const std::string* id = nullptr;
  const std::vector<uint8_t>* ramp = nullptr;
  std::string error;  // empty when they are good
};

const EncodableValue* Entry(const EncodableMap& map, const char* key) {
  const auto entry = map.find(Key(key));
  return entry != map.end() ? &entry->second : nullptr;
}

DisplayArguments ReadArguments(const EncodableValue* arguments, bool with_ramp) {
  DisplayArguments read;
  const auto* map = arguments != nullptr ? std::get_if<EncodableMap>(arguments) : nullptr;
  if (map == nullptr) {
    read.error = "arguments must be a map";
    return read;
  }
  const EncodableValue* id = Entry(*map, "id");
  read.id = id != nullptr ? std::get_if<std::string>(id) : nullptr;
  if (read.id == nullptr || read.id->empty() || read.id->size() > DisplayRamps::kMaxIdBytes) {
    read.error =
        "id must be a string of 1 to " + std::to_string(DisplayRamps::kMaxIdBytes) + " bytes";
    return read;
  }
  if (with_ramp) {
    const EncodableValue* ramp = Entry(*map, "ramp");
    read.ramp = ramp != nullptr ? std::get_if<std::vector<uint8_t>>(ramp) : nullptr;
    if (read.ramp == nullptr || read.ramp->size() != kRampBytes) {
      read.error = "ramp must be 1536 bytes";
    }
  }
  return read;
}

}  // namespace

void GammaGuard::HandleDisplaysCall(const flutter::MethodCall& call,
                                    std::unique_ptr<flutter::MethodResult> result) {
  // Every path answers once; without a result the call still takes effect.
  const std::string& method = call.MethodName();
  if (method == "list") {
    flutter::EncodableList list;
    for (const DisplayReport& display : ListDisplays()) {
      list.push_back(Encode(display));
    }
    if (result != nullptr) {
      result->Success(EncodableValue(std::move(list)));
    }
    return;
  }
  if (method != "set" && method != "clear") {
    if (result != nullptr) {
      result->NotImplemented();
    }
    return;
  }
  const DisplayArguments arguments = ReadArguments(call.Arguments(), method == "set");
  if (!arguments.error.empty()) {
    if (result != nullptr) {
      result->Error("bad_args", arguments.error);
    }
    return;
  }
  if (method == "clear") {
    ClearOwnRamp(*arguments.id);
  } else if (!SetOwnRamp(*arguments.id, RampFromBytes(arguments.ramp->data()))) {
    if (result != nullptr) {
      result->Error("too_many_displays", "at most " + std::to_string(DisplayRamps::kCapacity) +
                                             " displays keep a ramp of their own");
    }
    return;
  }
  if (result != nullptr) {
    result->Success();
  }
}
