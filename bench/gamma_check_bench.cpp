// Cost of one periodic gamma check against a fake screen, with the ramp intact and with
// the ramp reset before every check, on the whole screen alone and on one and three
// displays, next to the floor of just reading the ramp; and on three displays of which 0,
// 1 or 3 keep a ramp of their own beside the shared one.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
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

// Channel c of the ramp scaled by first + step * c percent, as the channels carry it.
std::vector<uint8_t> ScaledBytes(int first, int step) {
  std::vector<uint8_t> bytes;
  for (std::size_t i = 0; i < kRampEntries; ++i) {
    const int percent = first + step * static_cast<int>(i / kRampEntriesPerChannel);
    const int level = static_cast<int>(i % kRampEntriesPerChannel) * 257;
    const auto entry = static_cast<uint16_t>(level * percent / 100);
    bytes.push_back(static_cast<uint8_t>(entry & 0xFF));
    bytes.push_back(static_cast<uint8_t>(entry >> 8));
  }
  return bytes;
}
std::vector<uint8_t> WarmBytes() { return ScaledBytes(100, -20); }
// The ramp displays keep of their own.
GammaRamp CoolRamp() { return RampFromBytes(ScaledBytes(60, 20).data()); }

// Monitor paths of the length Windows gives; the table of own ramps compares whole ids.
constexpr std::string_view kIds[] = {
    "\\\\?\\DISPLAY#DEL4321#5&1a2b3c4d&0&UID4353#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}",
    "\\\\?\\DISPLAY#DEL4321#5&1a2b3c4d&0&UID4354#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}",
    "\\\\?\\DISPLAY#GSM5B7F#5&1a2b3c4d&0&UID4355#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}",
};
constexpr std::string_view kDevices[] = {"\\\\.\\DISPLAY1", "\\\\.\\DISPLAY2", "\\\\.\\DISPLAY3"};

// A screen that records nothing and allocates nothing. With sticky false every write is
// lost at once, as if something reset the ramp right after each rewrite. Each of its
// displays carries a ramp of its own, and its device context is that ramp; with none, the
// guard falls back to the whole screen. Ids come from fixed storage, so the figures are the
// guard's own: on Windows the first lookup of a visit costs far more (id_lookups/check).
class BenchScreen : public GammaPlatform {
 public:
  explicit BenchScreen(std::size_t displays = 0) : display_count(displays) {
    for (std::size_t i = 0; i < displays; ++i) {
      this->displays[i].ramp = screen;
      this->displays[i].index = i;
      this->displays[i].screen = this;
    }
  }
  void ForEachDisplay(DisplayVisitor& visitor) override {
    for (std::size_t i = 0; i < display_count; ++i) visitor.Visit(displays[i]);
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
  std::size_t id_lookups = 0;

 private:
  class BenchDisplay final : public GammaPlatform::Display {
   public:
    DeviceContext Context() override { return &ramp; }
    std::string_view DeviceName() override { return kDevices[index]; }
    std::string_view Id() override {
      ++screen->id_lookups;
      return kIds[index];
    }
    DisplayFacts Facts() override { return {}; }

    GammaRamp ramp;
    std::size_t index = 0;
    BenchScreen* screen = nullptr;
  };

  // A display's device context is its ramp; the whole screen's is the screen itself.
  GammaRamp& RampOf(DeviceContext dc) { return dc == this ? screen : *static_cast<GammaRamp*>(dc); }

  std::size_t display_count;
  BenchDisplay displays[3];
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

// One guard check per iteration, with the shared ramp and, on the first own displays, a
// ramp of their own. Intact: the ramps stay after the first check's rewrite, so nothing is
// written. Steadily reset (sticky false): every check rewrites (two writes per display), and
// after the first logged outcome no further line is written.
void Check(benchmark::State& state, std::size_t displays, std::size_t own, bool sticky) {
  BenchScreen screen(displays);
  screen.sticky = sticky;
  GammaGuard guard(screen);
  guard.Arm(WarmBytes());
  for (std::size_t i = 0; i < own; ++i) {
    guard.SetOwnRamp(kIds[i], CoolRamp());
  }
  const std::size_t writes = screen.writes;
  const std::size_t id_lookups = screen.id_lookups;
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
  state.counters["id_lookups/check"] = benchmark::Counter(
      static_cast<double>(screen.id_lookups - id_lookups), benchmark::Counter::kAvgIterations);
  state.counters["log_lines"] = static_cast<double>(LogLines() - lines);
}
// The argument is the number of displays, none with a ramp of its own; 0 is the whole
// screen alone.
void BM_CheckIntact(benchmark::State& state) {
  Check(state, static_cast<std::size_t>(state.range(0)), 0, true);
}
void BM_CheckReset(benchmark::State& state) {
  Check(state, static_cast<std::size_t>(state.range(0)), 0, false);
}
BENCHMARK(BM_CheckIntact)->Arg(0)->Arg(1)->Arg(3)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_CheckReset)->Arg(0)->Arg(1)->Arg(3)->Repetitions(5)->ReportAggregatesOnly(true);
// Three displays; the argument is how many of them keep a ramp of their own.
void BM_CheckOwnIntact(benchmark::State& state) {
  Check(state, 3, static_cast<std::size_t>(state.range(0)), true);
}
void BM_CheckOwnReset(benchmark::State& state) {
  Check(state, 3, static_cast<std::size_t>(state.range(0)), false);
}
BENCHMARK(BM_CheckOwnIntact)->Arg(0)->Arg(1)->Arg(3)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_CheckOwnReset)->Arg(0)->Arg(1)->Arg(3)->Repetitions(5)->ReportAggregatesOnly(true);

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
  const double intact = reporter.Time("BM_CheckIntact/3");
  const double reset = reporter.Time("BM_CheckReset/3");
  if (intact > 0 && reset > 0) {
    for (const char* own : {"0", "1", "3"}) {
      std::printf(
          "3 displays, %s with a ramp of their own: intact check / without own ramps %.2f; "
          "reset check / without own ramps %.2f\n",
          own, reporter.Time(std::string("BM_CheckOwnIntact/") + own) / intact,
          reporter.Time(std::string("BM_CheckOwnReset/") + own) / reset);
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(g_log_directory, ignored);
  return ran ? 0 : 1;
}
