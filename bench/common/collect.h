// A console reporter that also keeps each benchmark's time per iteration
// (adjusted real time, by name), for the ratio lines a benchmark program
// prints after its runs. Runs that reported an error are not kept. A
// benchmark run with repetitions is kept by its median, under its own name.
#ifndef QEN_BENCH_COMMON_COLLECT_H
#define QEN_BENCH_COMMON_COLLECT_H

#include <benchmark/benchmark.h>

#include <stdio.h>

#include <map>
#include <string>
#include <vector>

class Collect : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> ns;
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &r : runs) {
      if (r.error_occurred) continue;
      if (r.run_type == Run::RT_Iteration)
        ns[r.benchmark_name()] = r.GetAdjustedRealTime();
      else if (r.aggregate_name == "median") {
        benchmark::BenchmarkName name = r.run_name;
        name.repetitions.clear();
        ns[name.str()] = r.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

// One ratio line: time(theirs) / time(ours), so that above 1 the kit is
// faster, with the target when there is one (0: none). Nothing when either
// run is missing.
inline void print_speedup(const Collect &c, const std::string &ours, const std::string &theirs,
                          double target = 0) {
  auto a = c.ns.find(ours), b = c.ns.find(theirs);
  if (a == c.ns.end() || b == c.ns.end() || a->second <= 0) return;
  const double x = b->second / a->second;
  printf("  %-28s / %-28s %6.2f", theirs.c_str(), ours.c_str(), x);
  if (target > 0) printf("  (target at least %.2f: %s)", target, x >= target ? "met" : "NOT met");
  printf("\n");
}

#endif
