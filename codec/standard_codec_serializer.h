// Encodes EncodableValues in the Flutter framework's standard message format.
#ifndef CODEC_STANDARD_CODEC_SERIALIZER_H_
#define CODEC_STANDARD_CODEC_SERIALIZER_H_

#include <cstddef>
#include <cstdint>

#include "codec/byte_streams.h"
#include "codec/encodable_value.h"

namespace flutter {

// Keeps no state of its own (decoding counts its nesting depth per thread), so one instance
// serves every thread. A derived serializer can take further type bytes in ReadValueOfType and
// further value kinds in WriteValue, handing the rest to this one; nested elements go
// through the same virtual operations.
class StandardCodecSerializer {
 public:
  // Lists and maps nested deeper than this decode as null, after one report, so that a
  // hostile message cannot exhaust the stack. Real messages stay far below it.
  static constexpr int kMaxNestingDepth = 256;

  StandardCodecSerializer();
  virtual ~StandardCodecSerializer();

  StandardCodecSerializer(const StandardCodecSerializer&) = delete;
  StandardCodecSerializer& operator=(const StandardCodecSerializer&) = delete;

  // The process-wide default serializer, created on first use.
  static const StandardCodecSerializer& GetInstance();

  // Reads one type byte, then the value it announces.
  EncodableValue ReadValue(ByteStreamReader* stream) const;

  // Appends one complete value.
  virtual void WriteValue(const EncodableValue& value, ByteStreamWriter* stream) const;

  // Reads the payload for a type byte that has already been read.
  virtual EncodableValue ReadValueOfType(uint8_t type, ByteStreamReader* stream) const;

 protected:
  size_t ReadSize(ByteStreamReader* stream) const;
  void WriteSize(size_t size, ByteStreamWriter* stream) const;
};

}  // namespace flutter

#endif  // CODEC_STANDARD_CODEC_SERIALIZER_H_
