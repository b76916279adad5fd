// The byte streams the standard serializer reads from and writes to.
#ifndef CODEC_BYTE_STREAMS_H_
#define CODEC_BYTE_STREAMS_H_

#include <cstddef>
#include <cstdint>

namespace flutter {

class ByteStreamReader {
 public:
  virtual ~ByteStreamReader() = default;

  // The next byte; 0 (after a report) when none is left.
  virtual uint8_t ReadByte() = 0;
  // Copies the next length bytes into buffer; on failure leaves buffer as it was.
  virtual void ReadBytes(uint8_t* buffer, size_t length) = 0;
  // Skips to the next offset that is a multiple of alignment.
  virtual void ReadAlignment(uint8_t alignment) = 0;
};

class ByteStreamWriter {
 public:
  virtual ~ByteStreamWriter() = default;

  virtual void WriteByte(uint8_t byte) = 0;
  virtual void WriteBytes(const uint8_t* data, size_t length) = 0;
  // Appends zero bytes up to the next multiple of alignment.
  virtual void WriteAlignment(uint8_t alignment) = 0;
};

}  // namespace flutter

#endif  // CODEC_BYTE_STREAMS_H_
