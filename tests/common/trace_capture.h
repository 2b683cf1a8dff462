// A trace routine for tests: it appends every formatted line to g_trace, so
// a test can check what a component traced.
#ifndef QEN_TESTS_COMMON_TRACE_CAPTURE_H
#define QEN_TESTS_COMMON_TRACE_CAPTURE_H

#include <stdarg.h>
#include <stdio.h>

#include <string>

inline std::string g_trace;

inline void trace(void *, const char *fmt, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  g_trace += buf;
}

#endif  // QEN_TESTS_COMMON_TRACE_CAPTURE_H
