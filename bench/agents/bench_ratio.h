// Shared pieces of the agent benchmarks: ratios printed after the run, and
// loading an agent's monitor from its module.
#ifndef QEN_BENCH_RATIO_H
#define QEN_BENCH_RATIO_H

#include "qenagfw.h"

// After all benchmarks ran, main prints time(theirs) / time(ours) for every
// registered pair, with the target it should reach.
int bench_add_ratio(const char* ours, const char* theirs, double target);
#define QEN_BENCH_RATIO_CAT2(a, b) a##b
#define QEN_BENCH_RATIO_CAT(a, b) QEN_BENCH_RATIO_CAT2(a, b)
#define QEN_BENCH_RATIO(ours, theirs, target)                                   \
    static const int QEN_BENCH_RATIO_CAT(qen_bench_ratio_, __LINE__) [[maybe_unused]] = \
        bench_add_ratio((ours), (theirs), (target))

// The monitor of an agent module (dlopen, local symbols), or NULL with a
// message on stderr.
QENAgMonitorFn bench_load_monitor(const char* module_path);

#endif
