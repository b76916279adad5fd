#include "codec/byte_buffer_stream_reader.h"

#include <cstring>
#include <iostream>

namespace flutter {

namespace {

void ReportInvalidRead() {
  std::cerr << "Invalid read in StandardCodecByteStreamReader" << std::endl;
}

}  // namespace

ByteBufferStreamReader::ByteBufferStreamReader(const uint8_t* input, size_t input_size)
    : bytes(input), size(input_size) {}

uint8_t ByteBufferStreamReader::ReadByte() {
  if (location >= size) {
    ReportInvalidRead();
    return 0;
  }
  return bytes[location++];
}

void ByteBufferStreamReader::ReadBytes(uint8_t* buffer, size_t length) {
  const uint8_t* source = ReadView(length);
  if (source != nullptr && length != 0) {
    std::memcpy(buffer, source, length);
  }
}

void ByteBufferStreamReader::ReadAlignment(uint8_t alignment) {
  if (alignment == 0) {
    return;
  }
  const uint64_t remainder = location % alignment;
  if (remainder != 0) {
    location += alignment - remainder;
  }
}

const uint8_t* ByteBufferStreamReader::ReadView(size_t length) {
  // Written so that a huge length cannot overflow the sum.
  if (location > size || length > size - location) {
    ReportInvalidRead();
    return nullptr;
  }
  if (bytes == nullptr) {
    // An empty range given as null still has its zero-length reads succeed.
    static const uint8_t kNothing = 0;
    return &kNothing;
  }
  const uint8_t* view = bytes + location;
  location += length;
  return view;
}

size_t ByteBufferStreamReader::Remaining() const {
  return location >= size ? 0 : static_cast<size_t>(size - location);
}

}  // namespace flutter
