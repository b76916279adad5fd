#include "codec/byte_buffer_stream_writer.h"

namespace flutter {

ByteBufferStreamWriter::ByteBufferStreamWriter(std::vector<uint8_t>* output) : buffer(output) {}

void ByteBufferStreamWriter::WriteByte(uint8_t byte) { buffer->push_back(byte); }

void ByteBufferStreamWriter::WriteBytes(const uint8_t* data, size_t length) {
  if (length != 0) {
    buffer->insert(buffer->end(), data, data + length);
  }
}

void ByteBufferStreamWriter::WriteAlignment(uint8_t alignment) {
  if (alignment == 0) {
    return;
  }
  const size_t remainder = buffer->size() % alignment;
  if (remainder != 0) {
    for (size_t i = remainder; i < alignment; ++i) {
      WriteByte(0);
    }
  }
}

}  // namespace flutter
