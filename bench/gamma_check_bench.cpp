// Cost of one periodic gamma check against a fake screen, with the ramp intact and with
// the ramp reset before every check, on the whole screen alone and on one and three
// displays, next to the floor of just reading the ramp.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/allocation_meter.h"
#include "bench/median_reporter.h"
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
// something reset the ramp right after each rewrite. Each of its displays has a ramp of
// its own; with none, the guard falls back to the whole screen.
class BenchScreen : public GammaPlatform {
 public:
  explicit BenchScreen(std::size_t displays = 0) : display_count(displays) {
    for (std::size_t i = 0; i < displays; ++i) ramps[i] = screen;
  }
  void ForEachDisplay(DisplayVisitor& visitor) override {
    for (std::size_t i = 0; i < display_count; ++i) visitor.Visit(&ramps[i]);
  }
  DeviceContext GetDC(WindowHandle) override { return this; }
  void ReleaseDC(WindowHandle, DeviceContext) override {}
  bool GetDeviceGammaRamp(DeviceContext dc, GammaRamp& ramp) override {
    ramp = RampOf(dc);
    return true;
  }
  bool SetDeviceGammaRamp(DeviceContext dc, const GammaRamp& ramp) override {
    ++writes;
    if (sticky) {
      RampOf(dc) = ramp;
    }
    return true;
  }
  void SetTimer(WindowHandle, uintptr_t, uint32_t) override {}
  void KillTimer(WindowHandle, uintptr_t) override {}

  GammaRamp screen = Identity();
  bool sticky = true;
  std::size_t writes = 0;

 private:
  // A display's device context is its ramp; the whole screen's is the screen itself.
  GammaRamp& RampOf(DeviceContext dc) { return dc == this ? screen : *static_cast<GammaRamp*>(dc); }

  std::size_t display_count;
  GammaRamp ramps[3];
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

// What any check must do: take the screen's device context and read the ramp, then release
// it; with compare, also the 21 sample comparisons written out by hand. The platform is
// hidden from the optimiser so its calls stay virtual, as in the guard.
void ReadFloor(benchmark::State& state, bool compare) {
  BenchScreen screen;
  GammaPlatform* platform = &screen;
  benchmark::DoNotOptimize(platform);
  const GammaRamp desired = screen.screen;
  bench::AllocationMeter meter(state, "allocs/check");
  for (auto _ : state) {
    GammaRamp ramp;
    GammaPlatform::DeviceContext dc = platform->GetDC(nullptr);
    const bool read = platform->GetDeviceGammaRamp(dc, ramp);
    platform->ReleaseDC(nullptr, dc);
    bool reset = false;
    for (std::size_t base = 0; compare && base < kRampEntries; base += kRampEntriesPerChannel) {
      for (std::size_t entry = 32; entry <= 224; entry += 32) {
        const int difference = ramp[base + entry] - desired[base + entry];
        reset = reset || difference > 512 || difference < -512;
      }
    }
    benchmark::DoNotOptimize(read);
    benchmark::DoNotOptimize(reset);
    benchmark::DoNotOptimize(ramp.data());
    benchmark::ClobberMemory();
  }
}
void BM_ReadRampFloor(benchmark::State& state) { ReadFloor(state, false); }
void BM_ReadAndCompareFloor(benchmark::State& state) { ReadFloor(state, true); }
BENCHMARK(BM_ReadRampFloor)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ReadAndCompareFloor)->Repetitions(5)->ReportAggregatesOnly(true);

// One guard check per iteration. Intact: the ramp stays after Arm's rewrite, so nothing is
// written. Steadily reset (sticky false): every check rewrites (two writes), and after the
// first logged outcome no further line is written.
void Check(benchmark::State& state, bool sticky) {
  BenchScreen screen(static_cast<std::size_t>(state.range(0)));
  screen.sticky = sticky;
  GammaGuard guard(screen);
  guard.Arm(WarmBytes());
  const std::size_t writes = screen.writes;
  const std::size_t lines = LogLines();
  {
    bench::AllocationMeter meter(state, "allocs/check");
    for (auto _ : state) {
      guard.Reassert();
      benchmark::ClobberMemory();
    }
  }
  state.counters["writes/check"] = benchmark::Counter(static_cast<double>(screen.writes - writes),
                                                      benchmark::Counter::kAvgIterations);
  state.counters["log_lines"] = static_cast<double>(LogLines() - lines);
}
void BM_CheckIntact(benchmark::State& state) { Check(state, true); }
void BM_CheckReset(benchmark::State& state) { Check(state, false); }
// The argument is the number of displays; 0 is the whole screen alone.
BENCHMARK(BM_CheckIntact)->Arg(0)->Arg(1)->Arg(3)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_CheckReset)->Arg(0)->Arg(1)->Arg(3)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  // The log goes to a folder of the benchmark's own, so its lines can be counted.
  char pattern[] = "/tmp/gamma_bench_XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    return 1;
  }
  g_log_directory = pattern;
  setenv("TMPDIR", pattern, 1);

  bench::MedianReporter reporter;
  const bool ran = reporter.RunAll(&argc, argv);
  const double read = reporter.Time("BM_ReadRampFloor");
  const double compare = reporter.Time("BM_ReadAndCompareFloor");
  if (read > 0 && compare > 0) {
    for (const char* displays : {"0", "1", "3"}) {
      const std::string intact = std::string("BM_CheckIntact/") + displays;
      const std::string reset = std::string("BM_CheckReset/") + displays;
      std::printf(
          "%s display(s): intact check / read floor %.2f, / read + 21 compares %.2f; "
          "reset check / read floor %.2f\n",
          displays, reporter.Time(intact) / read, reporter.Time(intact) / compare,
          reporter.Time(reset) / read);
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(g_log_directory, ignored);
  return ran ? 0 : 1;
}
