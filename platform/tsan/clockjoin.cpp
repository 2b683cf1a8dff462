// pthread_clockjoin_np for the ThreadSanitizer tree.
//
// The ThreadSanitizer runtime of the toolchain intercepts pthread_join and
// pthread_timedjoin_np but not pthread_clockjoin_np: a thread joined with the
// latter stays running in its eyes, and everything the joiner reads of it
// afterwards is reported as a race. Linked ahead of the C library into every
// program of that tree, this definition joins through pthread_timedjoin_np,
// the deadline moved from the caller's clock to CLOCK_REALTIME.
#include <errno.h>
#include <pthread.h>
#include <time.h>

#include <cstdint>

namespace {

constexpr int64_t kNsPerSec = 1000000000;

int64_t ns_of(const struct timespec &t) { return int64_t(t.tv_sec) * kNsPerSec + t.tv_nsec; }

}  // namespace

extern "C" int pthread_clockjoin_np(pthread_t thread, void **ret, clockid_t clock,
                                    const struct timespec *abstime) {
  if (abstime == nullptr) return pthread_join(thread, ret);
  if (abstime->tv_nsec < 0 || abstime->tv_nsec >= kNsPerSec) return EINVAL;
  struct timespec now_clock, now_real;
  if (clock_gettime(clock, &now_clock) != 0) return EINVAL;
  if (clock_gettime(CLOCK_REALTIME, &now_real) != 0) return EINVAL;
  int64_t left = ns_of(*abstime) - ns_of(now_clock);
  if (left < 0) left = 0;
  int64_t at = ns_of(now_real) + left;
  struct timespec deadline;
  deadline.tv_sec = static_cast<time_t>(at / kNsPerSec);
  deadline.tv_nsec = static_cast<long>(at % kNsPerSec);
  return pthread_timedjoin_np(thread, ret, &deadline);
}
