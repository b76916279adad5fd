// Cost of one periodic gamma check against a fake screen, with the ramp intact and with
// the ramp reset before every check, next to the floor of just reading the ramp.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench/alloc_counter.h"
#include "gamma/gamma_guard.h"
#include "gamma/gamma_platform.h"
#include "gamma/guard_log.h"

namespace {

GammaRamp Identity() {
  GammaRamp ramp;
  for (std::size_t i = 0; i < kRampEntries; ++i) {
    ramp[i] = static_cast<uint16_t>((i % kRampEntriesPerChannel) * 257);
  }
  return ramp;
}

std::vector<uint8_t> WarmBytes() {
  std::vector<uint8_t> bytes;
  for (std::size_t i = 0; i < kRampEntries; ++i) {
    const std::size_t percent = 100 - 20 * (i / kRampEntriesPerChannel);
    const auto entry = static_cast<uint16_t>((i % kRampEntriesPerChannel) * 257 * percent / 100);
    bytes.push_back(static_cast<uint8_t>(entry & 0xFF));
    bytes.push_back(static_cast<uint8_t>(entry >> 8));
  }
  return bytes;
}

// A screen that records nothing. With sticky false every write is lost at once, as if
// something reset the ramp right after each rewrite.
class BenchScreen : public GammaPlatform {
 public:
  DeviceContext GetDC(WindowHandle) override { return this; }
  void ReleaseDC(WindowHandle, DeviceContext) override {}
  bool GetDeviceGammaRamp(DeviceContext, GammaRamp& ramp) override {
    ramp = screen;
    return true;
  }
  bool SetDeviceGammaRamp(DeviceContext, const GammaRamp& ramp) override {
    ++writes;
    if (sticky) {
      screen = ramp;
    }
    return true;
  }
  void SetTimer(WindowHandle, uintptr_t, uint32_t) override {}
  void KillTimer(WindowHandle, uintptr_t) override {}

  GammaRamp screen = Identity();
  bool sticky = true;
  std::size_t writes = 0;
};

std::filesystem::path g_log_directory;

std::size_t LogLines() {
  std::ifstream in(g_log_directory / kGuardLogFileName);
  std::size_t lines = 0;
  for (std::string line; std::getline(in, line);) {
    ++lines;
  }
  return lines;
}

void ReportAllocations(benchmark::State& state, std::size_t before) {
  state.counters["allocs/check"] =
      benchmark::Counter(static_cast<double>(bench::AllocationCount() - before) /
                         static_cast<double>(state.iterations()));
}

// What any check must do: take the screen's device context, read the ramp, release it.
// The platform is hidden from the optimiser so its calls stay virtual, as in the guard.
void BM_ReadRampFloor(benchmark::State& state) {
  BenchScreen screen;
  GammaPlatform* platform = &screen;
  benchmark::DoNotOptimize(platform);
  const std::size_t before = bench::AllocationCount();
  for (auto _ : state) {
    GammaRamp ramp;
    GammaPlatform::DeviceContext dc = platform->GetDC(nullptr);
    const bool read = platform->GetDeviceGammaRamp(dc, ramp);
    platform->ReleaseDC(nullptr, dc);
    benchmark::DoNotOptimize(read);
    benchmark::DoNotOptimize(ramp.data());
    benchmark::ClobberMemory();
  }
  ReportAllocations(state, before);
}
BENCHMARK(BM_ReadRampFloor)->Repetitions(5)->ReportAggregatesOnly(true);

// The floor plus the 21 sample comparisons, written out by hand.
void BM_ReadAndCompareFloor(benchmark::State& state) {
  BenchScreen screen;
  GammaPlatform* platform = &screen;
  benchmark::DoNotOptimize(platform);
  const GammaRamp desired = screen.screen;
  const std::size_t before = bench::AllocationCount();
  for (auto _ : state) {
    GammaRamp ramp;
    GammaPlatform::DeviceContext dc = platform->GetDC(nullptr);
    const bool read = platform->GetDeviceGammaRamp(dc, ramp);
    platform->ReleaseDC(nullptr, dc);
    bool reset = false;
    for (std::size_t base = 0; base < kRampEntries; base += kRampEntriesPerChannel) {
      for (std::size_t entry = 32; entry <= 224; entry += 32) {
        const int difference = ramp[base + entry] - desired[base + entry];
        reset = reset || difference > 512 || difference < -512;
      }
    }
    benchmark::DoNotOptimize(read);
    benchmark::DoNotOptimize(reset);
    benchmark::ClobberMemory();
  }
  ReportAllocations(state, before);
}
BENCHMARK(BM_ReadAndCompareFloor)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_CheckIntact(benchmark::State& state) {
  BenchScreen screen;
  GammaGuard guard(screen);
  guard.Arm(WarmBytes());  // rewrites once, and the ramp stays
  const std::size_t writes = screen.writes;
  const std::size_t lines = LogLines();
  const std::size_t before = bench::AllocationCount();
  for (auto _ : state) {
    guard.Reassert();
    benchmark::ClobberMemory();
  }
  ReportAllocations(state, before);
  state.counters["writes"] = static_cast<double>(screen.writes - writes);
  state.counters["log_lines"] = static_cast<double>(LogLines() - lines);
}
BENCHMARK(BM_CheckIntact)->Repetitions(5)->ReportAggregatesOnly(true);

// Steadily reset: every check rewrites (two writes), and after the first logged outcome
// no further line is written.
void BM_CheckReset(benchmark::State& state) {
  BenchScreen screen;
  screen.sticky = false;
  GammaGuard guard(screen);
  guard.Arm(WarmBytes());
  const std::size_t writes = screen.writes;
  const std::size_t lines = LogLines();
  const std::size_t before = bench::AllocationCount();
  for (auto _ : state) {
    guard.Reassert();
    benchmark::ClobberMemory();
  }
  ReportAllocations(state, before);
  state.counters["writes/check"] = benchmark::Counter(static_cast<double>(screen.writes - writes) /
                                                      static_cast<double>(state.iterations()));
  state.counters["log_lines"] = static_cast<double>(LogLines() - lines);
}
BENCHMARK(BM_CheckReset)->Repetitions(5)->ReportAggregatesOnly(true);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& reports) override {
    for (const Run& run : reports) {
      if (run.aggregate_name == "median") {
        ns[run.run_name.function_name] = run.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(reports);
  }
  std::map<std::string, double> ns;
};

}  // namespace

int main(int argc, char** argv) {
  // The log goes to a folder of the benchmark's own, so its lines can be counted.
  char pattern[] = "/tmp/gamma_bench_XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    return 1;
  }
  g_log_directory = pattern;
  setenv("TMPDIR", pattern, 1);

  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  // Medians of CPU time: the machine is shared, so wall time drifts more.
  const double read = reporter.ns["BM_ReadRampFloor"];
  const double compare = reporter.ns["BM_ReadAndCompareFloor"];
  if (read > 0 && compare > 0) {
    std::printf("intact check / read floor:             %.2f\n",
                reporter.ns["BM_CheckIntact"] / read);
    std::printf("intact check / read + 21 compares:     %.2f\n",
                reporter.ns["BM_CheckIntact"] / compare);
    std::printf("reset check / read floor:              %.2f\n",
                reporter.ns["BM_CheckReset"] / read);
  }
  std::error_code ignored;
  std::filesystem::remove_all(g_log_directory, ignored);
  return 0;
}
