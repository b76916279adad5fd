// Codec speed: the gamma channel's "set" call and its reply, and whole typed lists against
// the copy floor (one allocation and one memcpy of the same bytes) measured in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/alloc_counter.h"
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

// Reports heap allocations per iteration from the process-wide counter.
class AllocationMeter {
 public:
  explicit AllocationMeter(benchmark::State& state)
      : state(state), start(bench::AllocationCount()) {}
  ~AllocationMeter() {
    state.counters["allocs/op"] = benchmark::Counter(
        static_cast<double>(bench::AllocationCount() - start), benchmark::Counter::kAvgIterations);
  }

 private:
  benchmark::State& state;
  size_t start;
};

std::vector<uint8_t> Encode(const EncodableValue& value) {
  std::vector<uint8_t> bytes;
  ByteBufferStreamWriter writer(&bytes);
  StandardCodecSerializer::GetInstance().WriteValue(value, &writer);
  return bytes;
}

std::vector<uint8_t> SetCall() {
  std::vector<uint8_t> message = {0x07, 0x03, 's', 'e', 't',  0x0D, 0x01, 0x07, 0x04,
                                  'r',  'a',  'm', 'p', 0x08, 0xFE, 0x00, 0x06};
  for (int i = 0; i < 1536; ++i) {
    message.push_back(static_cast<uint8_t>(i * 7));
  }
  return message;
}

void BM_DecodeSetCall(benchmark::State& state) {
  const std::vector<uint8_t> message = SetCall();
  const StandardMethodCodec& codec = StandardMethodCodec::GetInstance();
  AllocationMeter meter(state);
  for (auto _ : state) {
    auto call = codec.DecodeMethodCall(message.data(), message.size());
    benchmark::DoNotOptimize(call.get());
  }
}
BENCHMARK(BM_DecodeSetCall);

void BM_EncodeSuccessEnvelope(benchmark::State& state) {
  const StandardMethodCodec& codec = StandardMethodCodec::GetInstance();
  AllocationMeter meter(state);
  for (auto _ : state) {
    auto bytes = codec.EncodeSuccessEnvelope();
    benchmark::DoNotOptimize(bytes->data());
  }
}
BENCHMARK(BM_EncodeSuccessEnvelope);

void BM_EncodeErrorEnvelope(benchmark::State& state) {
  const StandardMethodCodec& codec = StandardMethodCodec::GetInstance();
  AllocationMeter meter(state);
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
  AllocationMeter meter(state);
  for (auto _ : state) {
    std::vector<uint8_t> copy(source.data(), source.data() + source.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
}

void Decode(benchmark::State& state, const EncodableValue& value) {
  const std::vector<uint8_t> message = Encode(value);
  const StandardCodecSerializer& serializer = StandardCodecSerializer::GetInstance();
  AllocationMeter meter(state);
  for (auto _ : state) {
    ByteBufferStreamReader reader(message.data(), message.size());
    EncodableValue decoded = serializer.ReadValue(&reader);
    benchmark::DoNotOptimize(&decoded);
    benchmark::ClobberMemory();
  }
}

void EncodeInto(benchmark::State& state, const EncodableValue& value) {
  const StandardCodecSerializer& serializer = StandardCodecSerializer::GetInstance();
  AllocationMeter meter(state);
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

// Prints the usual table and keeps each run's CPU time for the ratio table (CPU time,
// because other work on a shared machine inflates the wall-clock figures).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration) {
        times[run.run_name.function_name] = run.GetAdjustedCPUTime();
      } else if (run.aggregate_name == "median") {
        times[run.run_name.function_name] = run.GetAdjustedCPUTime();
      }
    }
  }

  void PrintRatios() const {
    const char* pairs[][2] = {
        {"BM_DecodeByteList", "BM_Floor_1MiB"},    {"BM_EncodeByteList", "BM_Floor_1MiB"},
        {"BM_DecodeDoubleList", "BM_Floor_1MiB"},  {"BM_EncodeDoubleList", "BM_Floor_1MiB"},
        {"BM_DecodeFloatList", "BM_Floor_512KiB"}, {"BM_EncodeFloatList", "BM_Floor_512KiB"},
    };
    std::printf("\nRatio of CPU time to the copy floor, medians (target <= 1.25):\n");
    for (const auto& pair : pairs) {
      const auto measured = times.find(pair[0]);
      const auto floor = times.find(pair[1]);
      if (measured != times.end() && floor != times.end() && floor->second > 0) {
        std::printf("  %-22s %5.2fx  (floor %s)\n", pair[0], measured->second / floor->second,
                    pair[1]);
      }
    }
  }

 private:
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
