// A console reporter that also keeps each benchmark's time per iteration
// (adjusted real time, by name), for the ratio lines a benchmark program
// prints after its runs. Runs that reported an error are not kept.
#ifndef QEN_BENCH_COMMON_COLLECT_H
#define QEN_BENCH_COMMON_COLLECT_H

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class Collect : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> ns;
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &r : runs)
      if (r.run_type == Run::RT_Iteration && !r.error_occurred)
        ns[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
};

#endif
