#pragma once
// A console reporter that keeps each benchmark's real time per iteration, so that a program can
// print the ratio of the product's figure to its baseline measured in the same run.

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace qvbench {

// Keeps each benchmark's time per iteration for the closing ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const std::string name = run.run_name.function_name;
      // With repetitions the median stands for the benchmark; otherwise its one run.
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        medians_[name] = run.GetAdjustedRealTime();
      } else if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
        singles_[name] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double time(const std::string& name) const {
    if (auto it = medians_.find(name); it != medians_.end()) return it->second;
    auto it = singles_.find(name);
    return it == singles_.end() ? 0.0 : it->second;
  }

 private:
  std::map<std::string, double> medians_;
  std::map<std::string, double> singles_;
};

// Runs the registered benchmarks (the command line selects as usual) and returns the times per
// iteration of the product's and the baseline's benchmark, 0 for one that did not run.
inline std::pair<double, double> runProductAndBaseline(int* argc, char** argv,
                                                       const std::string& product,
                                                       const std::string& baseline) {
  benchmark::Initialize(argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return {reporter.time(product), reporter.time(baseline)};
}

}  // namespace qvbench
