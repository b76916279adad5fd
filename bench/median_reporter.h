// The console table, plus each benchmark's median CPU time and counters kept for the ratio
// lines a benchmark binary prints after its run. CPU time, because other work on a shared
// machine inflates the wall-clock figures; a benchmark run once counts as its own median.
#ifndef BENCH_MEDIAN_REPORTER_H_
#define BENCH_MEDIAN_REPORTER_H_

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace bench {

class MedianReporter : public benchmark::ConsoleReporter {
 public:
  MedianReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median") {
        // "BM_Name", or "BM_Name/ARGS" for a benchmark with arguments.
        std::string name = run.run_name.function_name;
        if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
        times[name] = run.GetAdjustedCPUTime();
        for (const auto& counter : run.counters) {
          counters[name + "|" + counter.first] = counter.second.value;
        }
      }
    }
  }

  // The median CPU time of a benchmark; 0 when it did not run.
  double Time(const std::string& benchmark) const {
    const auto found = times.find(benchmark);
    return found != times.end() ? found->second : 0;
  }
  // The median of one of its counters; -1 when there is none.
  double Counter(const std::string& benchmark, const std::string& counter) const {
    const auto found = counters.find(benchmark + "|" + counter);
    return found != counters.end() ? found->second : -1;
  }

  // Runs the benchmarks the command line selects; false on an argument it does not know.
  bool RunAll(int* argc, char** argv) {
    benchmark::Initialize(argc, argv);
    if (benchmark::ReportUnrecognizedArguments(*argc, argv)) return false;
    benchmark::RunSpecifiedBenchmarks(this);
    benchmark::Shutdown();
    return true;
  }

 private:
  std::map<std::string, double> times;
  std::map<std::string, double> counters;
};

}  // namespace bench

#endif  // BENCH_MEDIAN_REPORTER_H_
