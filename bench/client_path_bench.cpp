// The whole client path of one "set" call with the stand-in engine: delivery on
// "veskaro/gamma", messenger, method channel, decode, a handler that answers success, the
// encoded envelope, the reply under the messenger lock, and the engine recording it. The
// codec's decode alone, measured in the same run, is the reference.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/alloc_counter.h"
#include "client/engine_project.h"
#include "client/flutter_engine.h"
#include "client/method_channel.h"
#include "codec/standard_method_codec.h"
#include "testbed/engine/testbed_control.h"

namespace {

constexpr char kChannel[] = "veskaro/gamma";

std::vector<uint8_t> SetCall() {
  std::vector<uint8_t> message = {0x07, 0x03, 's', 'e', 't',  0x0D, 0x01, 0x07, 0x04,
                                  'r',  'a',  'm', 'p', 0x08, 0xFE, 0x00, 0x06};
  for (int i = 0; i < 1536; ++i) {
    message.push_back(static_cast<uint8_t>(i * 7));
  }
  return message;
}

// Heap allocations per iteration, from the process-wide counter.
class AllocationMeter {
 public:
  explicit AllocationMeter(benchmark::State& state)
      : state(state), start(bench::AllocationCount()) {}
  ~AllocationMeter() {
    state.counters["allocs/call"] = benchmark::Counter(
        static_cast<double>(bench::AllocationCount() - start), benchmark::Counter::kAvgIterations);
  }

 private:
  benchmark::State& state;
  size_t start;
};

void BM_DecodeSetCall(benchmark::State& state) {
  const std::vector<uint8_t> message = SetCall();
  const flutter::StandardMethodCodec& codec = flutter::StandardMethodCodec::GetInstance();
  AllocationMeter meter(state);
  for (auto _ : state) {
    std::unique_ptr<flutter::MethodCall> call =
        codec.DecodeMethodCall(message.data(), message.size());
    benchmark::DoNotOptimize(call.get());
  }
}

void BM_ClientPathSetCall(benchmark::State& state) {
  TestbedReset();
  // The engine's call journal would grow with every call; the path is what is measured.
  TestbedSetCallJournal(0);
  const std::vector<uint8_t> message = SetCall();
  {
    flutter::FlutterEngine engine(flutter::EngineProject(L"data"));
    flutter::MethodChannel channel(engine.GetMessenger(), kChannel,
                                   &flutter::StandardMethodCodec::GetInstance());
    channel.SetMethodCallHandler(
        [](const flutter::MethodCall& call, std::unique_ptr<flutter::MethodResult> result) {
          benchmark::DoNotOptimize(call.Arguments());
          result->Success();
        });

    // One call outside the loop: it must be answered with the success envelope 00 00, and it
    // sizes the engine's response buffer, which the loop then reuses.
    const int32_t first = TestbedDeliverMessage(kChannel, message.data(), message.size());
    size_t size = 0;
    const uint8_t* reply = TestbedResponseData(first, &size);
    if (size != 2 || reply[0] != 0 || reply[1] != 0) {
      state.SkipWithError("the set call was not answered with success");
      return;
    }

    AllocationMeter meter(state);
    for (auto _ : state) {
      TestbedRecycleResponses();
      const int32_t ticket = TestbedDeliverMessage(kChannel, message.data(), message.size());
      benchmark::DoNotOptimize(ticket);
    }
  }
  TestbedReset();
}

BENCHMARK(BM_DecodeSetCall)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ClientPathSetCall)->Repetitions(5)->ReportAggregatesOnly(true);

// Prints the usual table, then the path's median against the decode's median.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        times[run.run_name.function_name] = run.GetAdjustedCPUTime();
        const auto allocs = run.counters.find("allocs/call");
        if (allocs != run.counters.end()) {
          allocations[run.run_name.function_name] = allocs->second.value;
        }
      }
    }
  }

  void PrintSummary() const {
    const auto path = times.find("BM_ClientPathSetCall");
    const auto decode = times.find("BM_DecodeSetCall");
    if (path == times.end() || decode == times.end() || decode->second <= 0) {
      return;
    }
    const auto path_allocs = allocations.find("BM_ClientPathSetCall");
    const auto decode_allocs = allocations.find("BM_DecodeSetCall");
    std::printf("\nOne \"set\" call through the client path (medians, CPU time):\n");
    std::printf("  path    %8.0f ns/call  %5.1f allocations/call  (target < 2000 ns, <= 12)\n",
                path->second, path_allocs != allocations.end() ? path_allocs->second : -1.0);
    std::printf("  decode  %8.0f ns/call  %5.1f allocations/call\n", decode->second,
                decode_allocs != allocations.end() ? decode_allocs->second : -1.0);
    std::printf("  ratio   %8.2fx the decode alone\n", path->second / decode->second);
  }

 private:
  std::map<std::string, double> times;
  std::map<std::string, double> allocations;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintSummary();
  benchmark::Shutdown();
  return 0;
}
