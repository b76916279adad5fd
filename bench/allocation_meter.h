// Heap allocations per benchmark iteration, from the process-wide counter.
#ifndef BENCH_ALLOCATION_METER_H_
#define BENCH_ALLOCATION_METER_H_

#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>

#include "bench/alloc_counter.h"

namespace bench {

// Reports the allocations made while it lives, per iteration, as the counter `name`.
class AllocationMeter {
 public:
  AllocationMeter(benchmark::State& state, const char* name)
      : state(state), name(name), start(AllocationCount()) {}
  ~AllocationMeter() {
    state.counters[name] = benchmark::Counter(static_cast<double>(AllocationCount() - start),
                                              benchmark::Counter::kAvgIterations);
  }
  AllocationMeter(const AllocationMeter&) = delete;
  AllocationMeter& operator=(const AllocationMeter&) = delete;

 private:
  benchmark::State& state;
  std::string name;
  std::size_t start;
};

}  // namespace bench

#endif  // BENCH_ALLOCATION_METER_H_
