// Codec speed: the gamma channel's "set" call and its reply, and whole typed lists against
// the copy floor (one allocation and one memcpy of the same bytes) measured in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/median_reporter.h"
#include "bench/set_call_message.h"
#include "codec/byte_buffer_stream_reader.h"
#include "codec/byte_buffer_stream_writer.h"
#include "codec/standard_codec_serializer.h"
#include "codec/standard_method_codec.h"

namespace {

using flutter::ByteBufferStreamReader;
using flutter::ByteBufferStreamWriter;
using flutter::EncodableValue;
using flutter::StandardCodecSerializer;
using flutter::StandardMethodCodec;

constexpr size_t kListBytes = 1 << 20;
constexpr size_t kListElements = 131072;

std::vector<uint8_t> Encode(const EncodableValue& value) {
  std::vector<uint8_t> bytes;
  ByteBufferStreamWriter writer(&bytes);
  StandardCodecSerializer::GetInstance().WriteValue(value, &writer);
  return bytes;
}

void BM_DecodeSetCall(benchmark::State& state) { bench::DecodeSetCall(state, "allocs/op"); }
BENCHMARK(BM_DecodeSetCall);

void BM_EncodeSuccessEnvelope(benchmark::State& state) {
  const StandardMethodCodec& codec = StandardMethodCodec::GetInstance();
  bench::AllocationMeter meter(state, "allocs/op");
  for (auto _ : state) {
    auto bytes = codec.EncodeSuccessEnvelope();
    benchmark::DoNotOptimize(bytes->data());
  }
}
BENCHMARK(BM_EncodeSuccessEnvelope);

void BM_EncodeErrorEnvelope(benchmark::State& state) {
  const StandardMethodCodec& codec = StandardMethodCodec::GetInstance();
  bench::AllocationMeter meter(state, "allocs/op");
  for (auto _ : state) {
    auto bytes = codec.EncodeErrorEnvelope("bad_args", "ramp must be 1536 bytes");
    benchmark::DoNotOptimize(bytes->data());
  }
}
BENCHMARK(BM_EncodeErrorEnvelope);

template <typename T>
EncodableValue TypedList(size_t count) {
  std::vector<T> elements(count);
  for (size_t i = 0; i < count; ++i) {
    elements[i] = static_cast<T>(i % 251);
  }
  return EncodableValue(std::move(elements));
}

// The floor: a fresh vector built from the payload's bytes.
void CopyFloor(benchmark::State& state, size_t payload_bytes) {
  const std::vector<uint8_t> source(payload_bytes, 0x5A);
  bench::AllocationMeter meter(state, "allocs/op");
  for (auto _ : state) {
    std::vector<uint8_t> copy(source.data(), source.data() + source.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
}

void Decode(benchmark::State& state, const EncodableValue& value) {
  const std::vector<uint8_t> message = Encode(value);
  const StandardCodecSerializer& serializer = StandardCodecSerializer::GetInstance();
  bench::AllocationMeter meter(state, "allocs/op");
  for (auto _ : state) {
    ByteBufferStreamReader reader(message.data(), message.size());
    EncodableValue decoded = serializer.ReadValue(&reader);
    benchmark::DoNotOptimize(&decoded);
    benchmark::ClobberMemory();
  }
}

void EncodeInto(benchmark::State& state, const EncodableValue& value) {
  const StandardCodecSerializer& serializer = StandardCodecSerializer::GetInstance();
  bench::AllocationMeter meter(state, "allocs/op");
  for (auto _ : state) {
    std::vector<uint8_t> bytes;
    ByteBufferStreamWriter writer(&bytes);
    serializer.WriteValue(value, &writer);
    benchmark::DoNotOptimize(bytes.data());
    benchmark::ClobberMemory();
  }
}

void BM_Floor_1MiB(benchmark::State& state) { CopyFloor(state, kListBytes); }
void BM_Floor_512KiB(benchmark::State& state) { CopyFloor(state, kListElements * 4); }
void BM_DecodeByteList(benchmark::State& state) { Decode(state, TypedList<uint8_t>(kListBytes)); }
void BM_EncodeByteList(benchmark::State& state) {
  EncodeInto(state, TypedList<uint8_t>(kListBytes));
}
void BM_DecodeDoubleList(benchmark::State& state) {
  Decode(state, TypedList<double>(kListElements));
}
void BM_EncodeDoubleList(benchmark::State& state) {
  EncodeInto(state, TypedList<double>(kListElements));
}
void BM_DecodeFloatList(benchmark::State& state) { Decode(state, TypedList<float>(kListElements)); }
void BM_EncodeFloatList(benchmark::State& state) {
  EncodeInto(state, TypedList<float>(kListElements));
}
// Medians of five runs, since the ratios compare separate runs on a shared machine.
#define VESKARO_LIST_BENCHMARK(name) BENCHMARK(name)->Repetitions(5)->ReportAggregatesOnly(true)
VESKARO_LIST_BENCHMARK(BM_Floor_1MiB);
VESKARO_LIST_BENCHMARK(BM_DecodeByteList);
VESKARO_LIST_BENCHMARK(BM_EncodeByteList);
VESKARO_LIST_BENCHMARK(BM_DecodeDoubleList);
VESKARO_LIST_BENCHMARK(BM_EncodeDoubleList);
VESKARO_LIST_BENCHMARK(BM_Floor_512KiB);
VESKARO_LIST_BENCHMARK(BM_DecodeFloatList);
VESKARO_LIST_BENCHMARK(BM_EncodeFloatList);

}  // namespace

int main(int argc, char** argv) {
  bench::MedianReporter reporter;
  if (!reporter.RunAll(&argc, argv)) return 1;
  const char* pairs[][2] = {
      {"BM_DecodeByteList", "BM_Floor_1MiB"},    {"BM_EncodeByteList", "BM_Floor_1MiB"},
      {"BM_DecodeDoubleList", "BM_Floor_1MiB"},  {"BM_EncodeDoubleList", "BM_Floor_1MiB"},
      {"BM_DecodeFloatList", "BM_Floor_512KiB"}, {"BM_EncodeFloatList", "BM_Floor_512KiB"},
  };
  std::printf("\nRatio of CPU time to the copy floor, medians (target <= 1.25):\n");
  for (const auto& pair : pairs) {
    const double measured = reporter.Time(pair[0]);
    const double floor = reporter.Time(pair[1]);
    if (measured > 0 && floor > 0) {
      std::printf("  %-22s %5.2fx  (floor %s)\n", pair[0], measured / floor, pair[1]);
    }
  }
  return 0;
}
