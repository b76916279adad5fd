// The gamma channel's 1553-byte "set" call as the user interface sends it, and its decoding:
// shared by the codec and client benchmarks.
#ifndef BENCH_SET_CALL_MESSAGE_H_
#define BENCH_SET_CALL_MESSAGE_H_

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench/allocation_meter.h"
#include "codec/standard_method_codec.h"

namespace bench {

// "set" with {"ramp": 1536 bytes}.
inline std::vector<uint8_t> SetCallMessage() {
  std::vector<uint8_t> message = {0x07, 0x03, 's', 'e', 't',  0x0D, 0x01, 0x07, 0x04,
                                  'r',  'a',  'm', 'p', 0x08, 0xFE, 0x00, 0x06};
  for (int i = 0; i < 1536; ++i) {
    message.push_back(static_cast<uint8_t>(i * 7));
  }
  return message;
}

// Decodes the "set" call with the standard method codec: a figure of its own, and the
// reference the client path is measured against.
inline void DecodeSetCall(benchmark::State& state, const char* counter) {
  const std::vector<uint8_t> message = SetCallMessage();
  const flutter::StandardMethodCodec& codec = flutter::StandardMethodCodec::GetInstance();
  AllocationMeter meter(state, counter);
  for (auto _ : state) {
    auto call = codec.DecodeMethodCall(message.data(), message.size());
    benchmark::DoNotOptimize(call.get());
  }
}

}  // namespace bench

#endif  // BENCH_SET_CALL_MESSAGE_H_
