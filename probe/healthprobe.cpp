// The health probe: reports the state of the Viruze instance named by
// VIRUZE_HOME and VIRUZE_SID from one snapshot of its health file.
//
// Output: a failure line and a verdict line, the single line of an open
// instance, or the health interface's error text. Exit: 98 abnormal
// termination or closed database, 100 proper shutdown, 110 open, 1 error or
// state not identified. Built as healthprobe_64 and, -m32, healthprobe_32.
#include <stdio.h>
#include <stdlib.h>

#include "gimh.h"

namespace {

constexpr int kExitError = 1;
constexpr int kExitDown = 98;
constexpr int kExitShutdown = 100;
constexpr int kExitOpen = 110;
constexpr int kErrorBufferSize = 2000;

// The four events in the order they are tested.
struct verdict_row {
  int event;
  bool failure_line;
  const char *verdict;
  int exit_code;
};
constexpr verdict_row kVerdicts[] = {
    {GIMH_EV_ABNORMAL, true, "Abnormal termination\n", kExitDown},
    {GIMH_EV_CLOSED, true, "Database is in closed state\n", kExitDown},
    {GIMH_EV_SHUTDOWN, true, "Proper Shutdown\n", kExitShutdown},
    {GIMH_EV_OPEN, false, "Instance is Online\n", kExitOpen},
};

int error_exit(gimh_proc_ctx *proc) {
  static char buffer[kErrorBufferSize];
  buffer[0] = '\0';
  gimh_error(proc, buffer, kErrorBufferSize);
  fputs(buffer, stdout);
  return kExitError;
}

}  // namespace

extern "C" const char *class_str(int cls) {
  switch (cls) {
    case GIMH_CLASS_SOFT: return "SOFT";
    case GIMH_CLASS_HARD: return "HARD";
    case GIMH_CLASS_INFO: return "INFO";
    default: return nullptr;
  }
}

int main(int argc, char **argv) {
  (void)argc;
  (void)argv;
  if (!getenv("VIRUZE_HOME")) {
    fputs("VIRUZE_HOME not set or is null. Exiting\n", stdout);
    return kExitError;
  }
  if (!getenv("VIRUZE_SID")) {
    fputs("VIRUZE_SID not set or is null. Exiting\n", stdout);
    return kExitError;
  }
  // Held for the life of the process and never released: the exit reclaims
  // the heap, the mapping and the descriptor. Static, so that they stay
  // reachable to a leak checker until then.
  static gimh_proc_ctx *proc = nullptr;
  static gimh_inst_ctx *inst = nullptr;
  static gimh_query_ctx *query = nullptr;
  if (gimh_init_proc_ctx(&proc, 0) != GIMH_OK) return error_exit(proc);
  if (gimh_init_inst_ctx(&inst, proc, nullptr, nullptr) != GIMH_OK) return error_exit(proc);
  if (gimh_init_query_ctx(&query, inst) != GIMH_OK) return error_exit(proc);
  if (gimh_get(query) != GIMH_OK) return error_exit(proc);
  for (const verdict_row &row : kVerdicts) {
    int set = 0;
    if (gimh_check(query, row.event, GIMH_KIND_SET, &set) != GIMH_OK) return error_exit(proc);
    if (!set) continue;
    if (row.failure_line) {
      const char *cls = class_str(gimh_class(proc, row.event));
      printf("Failure: %s class: %s\n", gimh_name(proc, row.event), cls ? cls : "(null)");
    }
    fputs(row.verdict, stdout);
    return row.exit_code;
  }
  fputs("Unable to identify state!", stdout);
  return kExitError;
}
