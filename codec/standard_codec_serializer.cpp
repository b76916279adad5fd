#include "codec/standard_codec_serializer.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <limits>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "codec/byte_buffer_stream_reader.h"

namespace flutter {

namespace {

// Wire type bytes.
enum : uint8_t {
  kNull = 0,
  kTrue = 1,
  kFalse = 2,
  kInt32 = 3,
  kInt64 = 4,
  kLargeInt = 5,  // read as a string, never written
  kFloat64 = 6,
  kString = 7,
  kUInt8List = 8,
  kInt32List = 9,
  kInt64List = 10,
  kFloat64List = 11,
  kList = 12,
  kMap = 13,
  kFloat32List = 14,
};

// Lists and maps currently being decoded on this thread. Kept here rather than passed
// down because ReadValueOfType's signature is shared with derived serializers.
thread_local int g_nesting_depth = 0;
// Whether the outermost decode under way has reported the limit: after the cut, the rest
// of the message is read from inside the deep part and may hit the limit again and again.
thread_local bool g_nesting_limit_reported = false;

class NestingScope {
 public:
  NestingScope() { ++g_nesting_depth; }
  ~NestingScope() {
    if (--g_nesting_depth == 0) {
      g_nesting_limit_reported = false;
    }
  }
  NestingScope(const NestingScope&) = delete;
  NestingScope& operator=(const NestingScope&) = delete;
};

// The buffer reader knows how much input is left, which bounds what a malformed count can
// make the decoder allocate or loop over. Readers of other kinds (including classes
// derived from it, which may override ReadBytes) go through the virtual interface alone.
ByteBufferStreamReader* AsBufferReader(ByteStreamReader* stream) {
  if (typeid(*stream) == typeid(ByteBufferStreamReader)) {
    return static_cast<ByteBufferStreamReader*>(stream);
  }
  return nullptr;
}

// Reads count elements of T as one block. From a buffer reader the content is copied
// once straight from the input; when fewer bytes remain than announced, the reader
// reports the invalid read once and the result is empty rather than count zero elements,
// so a few bytes can never make the decoder allocate gigabytes.
template <typename T>
std::vector<T> ReadBlock(ByteStreamReader* stream, size_t count) {
  if (ByteBufferStreamReader* buffer = AsBufferReader(stream)) {
    constexpr size_t kLimit = std::numeric_limits<size_t>::max() / sizeof(T);
    const uint8_t* view =
        buffer->ReadView(count > kLimit ? std::numeric_limits<size_t>::max() : count * sizeof(T));
    if (view == nullptr || count == 0) {
      return std::vector<T>();
    }
    if (reinterpret_cast<uintptr_t>(view) % alignof(T) == 0) {
      const T* first = reinterpret_cast<const T*>(view);
      return std::vector<T>(first, first + count);
    }
    std::vector<T> unaligned(count);
    std::memcpy(unaligned.data(), view, count * sizeof(T));
    return unaligned;
  }
  std::vector<T> elements(count);
  stream->ReadBytes(reinterpret_cast<uint8_t*>(elements.data()), count * sizeof(T));
  return elements;
}

std::string ReadString(ByteStreamReader* stream, size_t length) {
  if (ByteBufferStreamReader* buffer = AsBufferReader(stream)) {
    const uint8_t* view = buffer->ReadView(length);
    return view == nullptr ? std::string()
                           : std::string(reinterpret_cast<const char*>(view), length);
  }
  std::string string(length, '\0');
  stream->ReadBytes(reinterpret_cast<uint8_t*>(&string[0]), length);
  return string;
}

// True when the next element of a list or map cannot be there: its read is then made
// once, for the report and the null it yields, and the container ends.
bool InputExhausted(ByteBufferStreamReader* buffer) {
  return buffer != nullptr && buffer->Exhausted();
}

template <typename T>
void WriteBlock(const std::vector<T>& elements, ByteStreamWriter* stream) {
  if (!elements.empty()) {
    stream->WriteBytes(reinterpret_cast<const uint8_t*>(elements.data()),
                       elements.size() * sizeof(T));
  }
}

template <typename T>
void WriteNumber(T number, ByteStreamWriter* stream) {
  stream->WriteBytes(reinterpret_cast<const uint8_t*>(&number), sizeof(T));
}

template <typename T>
T ReadNumber(ByteStreamReader* stream) {
  T number = 0;
  stream->ReadBytes(reinterpret_cast<uint8_t*>(&number), sizeof(T));
  return number;
}

}  // namespace

StandardCodecSerializer::StandardCodecSerializer() = default;

StandardCodecSerializer::~StandardCodecSerializer() = default;

const StandardCodecSerializer& StandardCodecSerializer::GetInstance() {
  static const StandardCodecSerializer instance;
  return instance;
}

EncodableValue StandardCodecSerializer::ReadValue(ByteStreamReader* stream) const {
  const uint8_t type = stream->ReadByte();
  return ReadValueOfType(type, stream);
}

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  switch (value.index()) {
    case 0:
      stream->WriteByte(kNull);
      return;
    case 1:
      stream->WriteByte(std::get<bool>(value) ? kTrue : kFalse);
      return;
    case 2:
      stream->WriteByte(kInt32);
      WriteNumber(std::get<int32_t>(value), stream);
      return;
    case 3:
      stream->WriteByte(kInt64);
      WriteNumber(std::get<int64_t>(value), stream);
      return;
    case 4:
      stream->WriteByte(kFloat64);
      stream->WriteAlignment(8);
      WriteNumber(std::get<double>(value), stream);
      return;
    case 5: {
      const std::string& string = std::get<std::string>(value);
      stream->WriteByte(kString);
      WriteSize(string.size(), stream);
      if (!string.empty()) {
        stream->WriteBytes(reinterpret_cast<const uint8_t*>(string.data()), string.size());
      }
      return;
    }
    case 6: {
      const auto& bytes = std::get<std::vector<uint8_t>>(value);
      stream->WriteByte(kUInt8List);
      WriteSize(bytes.size(), stream);
      WriteBlock(bytes, stream);
      return;
    }
    case 7: {
      const auto& elements = std::get<std::vector<int32_t>>(value);
      stream->WriteByte(kInt32List);
      WriteSize(elements.size(), stream);
      stream->WriteAlignment(4);
      WriteBlock(elements, stream);
      return;
    }
    case 8: {
      const auto& elements = std::get<std::vector<int64_t>>(value);
      stream->WriteByte(kInt64List);
      WriteSize(elements.size(), stream);
      stream->WriteAlignment(8);
      WriteBlock(elements, stream);
      return;
    }
    case 9: {
      const auto& elements = std::get<std::vector<double>>(value);
      stream->WriteByte(kFloat64List);
      WriteSize(elements.size(), stream);
      stream->WriteAlignment(8);
      WriteBlock(elements, stream);
      return;
    }
    case 10: {
      const auto& list = std::get<EncodableList>(value);
      stream->WriteByte(kList);
      WriteSize(list.size(), stream);
      for (const EncodableValue& element : list) {
        WriteValue(element, stream);
      }
      return;
    }
    case 11: {
      const auto& map = std::get<EncodableMap>(value);
      stream->WriteByte(kMap);
      WriteSize(map.size(), stream);
      for (const auto& entry : map) {
        WriteValue(entry.first, stream);
        WriteValue(entry.second, stream);
      }
      return;
    }
    case 12:
      // The peer receives null.
      stream->WriteByte(kNull);
      std::cerr << "Unhandled custom type in StandardCodecSerializer::WriteValue. "
                << "Custom types require codec extensions." << std::endl;
      return;
    case 13: {
      const auto& elements = std::get<std::vector<float>>(value);
      stream->WriteByte(kFloat32List);
      WriteSize(elements.size(), stream);
      stream->WriteAlignment(4);
      WriteBlock(elements, stream);
      return;
    }
    default:
      // Valueless after a failed assignment: nothing to send but null.
      stream->WriteByte(kNull);
      return;
  }
}

EncodableValue StandardCodecSerializer::ReadValueOfType(uint8_t type,
                                                        ByteStreamReader* stream) const {
  switch (type) {
    case kNull:
      return EncodableValue();
    case kTrue:
      return EncodableValue(true);
    case kFalse:
      return EncodableValue(false);
    case kInt32:
      return EncodableValue(ReadNumber<int32_t>(stream));
    case kInt64:
      return EncodableValue(ReadNumber<int64_t>(stream));
    case kFloat64:
      stream->ReadAlignment(8);
      return EncodableValue(ReadNumber<double>(stream));
    case kLargeInt:
    case kString: {
      const size_t length = ReadSize(stream);
      return EncodableValue(ReadString(stream, length));
    }
    case kUInt8List: {
      const size_t count = ReadSize(stream);
      return EncodableValue(ReadBlock<uint8_t>(stream, count));
    }
    case kInt32List: {
      const size_t count = ReadSize(stream);
      stream->ReadAlignment(4);
      return EncodableValue(ReadBlock<int32_t>(stream, count));
    }
    case kFloat32List: {
      const size_t count = ReadSize(stream);
      stream->ReadAlignment(4);
      return EncodableValue(ReadBlock<float>(stream, count));
    }
    case kInt64List: {
      const size_t count = ReadSize(stream);
      stream->ReadAlignment(8);
      return EncodableValue(ReadBlock<int64_t>(stream, count));
    }
    case kFloat64List: {
      const size_t count = ReadSize(stream);
      stream->ReadAlignment(8);
      return EncodableValue(ReadBlock<double>(stream, count));
    }
    case kList:
    case kMap:
      break;
    default:
      std::cerr << "Unknown type in StandardCodecSerializer::ReadValueOfType: "
                << static_cast<int>(type) << std::endl;
      return EncodableValue();
  }

  if (g_nesting_depth >= kMaxNestingDepth) {
    if (!g_nesting_limit_reported) {
      g_nesting_limit_reported = true;
      std::cerr << "Nesting too deep in StandardCodecSerializer::ReadValueOfType; decoding as null"
                << std::endl;
    }
    return EncodableValue();
  }
  NestingScope scope;
  ByteBufferStreamReader* buffer = AsBufferReader(stream);
  const size_t count = ReadSize(stream);

  if (type == kList) {
    EncodableList list;
    if (buffer != nullptr) {
      // Every element takes at least its type byte.
      list.reserve(std::min(count, buffer->Remaining()));
    }
    for (size_t i = 0; i < count; ++i) {
      const bool missing = InputExhausted(buffer);
      list.push_back(ReadValue(stream));
      if (missing) {
        break;
      }
    }
    return EncodableValue(std::move(list));
  }

  EncodableMap map;
  for (size_t i = 0; i < count; ++i) {
    const bool key_missing = InputExhausted(buffer);
    EncodableValue key = ReadValue(stream);
    if (key_missing) {
      map.emplace(std::move(key), EncodableValue());
      break;
    }
    const bool value_missing = InputExhausted(buffer);
    EncodableValue value = ReadValue(stream);
    // A repeated key keeps its first value.
    map.emplace(std::move(key), std::move(value));
    if (value_missing) {
      break;
    }
  }
  return EncodableValue(std::move(map));
}

size_t StandardCodecSerializer::ReadSize(ByteStreamReader* stream) const {
  const uint8_t first = stream->ReadByte();
  if (first < 254) {
    return first;
  }
  if (first == 254) {
    return ReadNumber<uint16_t>(stream);
  }
  return ReadNumber<uint32_t>(stream);
}

void StandardCodecSerializer::WriteSize(size_t size, ByteStreamWriter* stream) const {
  if (size < 254) {
    stream->WriteByte(static_cast<uint8_t>(size));
  } else if (size <= 0xffff) {
    stream->WriteByte(254);
    WriteNumber(static_cast<uint16_t>(size), stream);
  } else {
    stream->WriteByte(255);
    WriteNumber(static_cast<uint32_t>(size), stream);
  }
}

}  // namespace flutter
