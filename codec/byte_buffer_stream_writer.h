// A ByteStreamWriter appending to a byte vector that the caller owns.
#ifndef CODEC_BYTE_BUFFER_STREAM_WRITER_H_
#define CODEC_BYTE_BUFFER_STREAM_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/byte_streams.h"

namespace flutter {

class ByteBufferStreamWriter : public ByteStreamWriter {
 public:
  // The vector must outlive the writer; padding counts from its current length.
  explicit ByteBufferStreamWriter(std::vector<uint8_t>* output);
  ~ByteBufferStreamWriter() override = default;

  void WriteByte(uint8_t byte) override;
  void WriteBytes(const uint8_t* data, size_t length) override;
  void WriteAlignment(uint8_t alignment) override;

 private:
  std::vector<uint8_t>* buffer;
};

}  // namespace flutter

#endif  // CODEC_BYTE_BUFFER_STREAM_WRITER_H_
