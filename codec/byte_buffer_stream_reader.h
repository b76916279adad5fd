// A ByteStreamReader over a range of bytes that the caller owns.
#ifndef CODEC_BYTE_BUFFER_STREAM_READER_H_
#define CODEC_BYTE_BUFFER_STREAM_READER_H_

#include <cstddef>
#include <cstdint>

#include "codec/byte_streams.h"

namespace flutter {

// Failed reads report "Invalid read in StandardCodecByteStreamReader" and never move the
// location, so a later, shorter read can still take the bytes that remain.
class ByteBufferStreamReader : public ByteStreamReader {
 public:
  // The range must outlive the reader; it is never copied.
  ByteBufferStreamReader(const uint8_t* input, size_t input_size);
  ~ByteBufferStreamReader() override = default;

  uint8_t ReadByte() override;
  void ReadBytes(uint8_t* buffer, size_t length) override;
  // No bound check: the location may pass the end, and the next read then fails.
  void ReadAlignment(uint8_t alignment) override;

  // The next length bytes in place, consumed as ReadBytes would consume them; null after
  // the same invalid-read report when fewer remain. Lets the serializer build a string or
  // typed list straight from the input without zero-filling it first.
  const uint8_t* ReadView(size_t length);

  // Bytes left after the location; 0 once it has reached or passed the end.
  size_t Remaining() const;
  bool Exhausted() const { return location >= size; }

 private:
  const uint8_t* bytes;
  uint64_t size;
  uint64_t location = 0;
};

}  // namespace flutter

#endif  // CODEC_BYTE_BUFFER_STREAM_READER_H_
