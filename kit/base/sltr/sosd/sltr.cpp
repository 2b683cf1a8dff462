// Centisecond clock and sleeping.
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

#include <poll.h>
#include <time.h>

#include "sltr.h"

namespace {

// Centiseconds of the monotonic clock, modulo 2^32; false when it cannot be read.
bool read_cs(uint32_t &cs) {
  timespec ts;
  if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return false;
  cs = static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 100u +
                             static_cast<uint64_t>(ts.tv_nsec) / 10000000u);
  return true;
}

// read_cs with the outcome in st: a clock that cannot be read is
// SL_STATUS_CLOCK with the OS error.
bool read_cs(uint32_t &cs, sl_status *st) {
  if (!read_cs(cs)) {
    int e = errno;
    memset(st, 0, sizeof *st);
    st->code = SL_STATUS_CLOCK;
    st->oserr = e;
    return false;
  }
  st->code = 0;
  return true;
}

std::atomic<bool> base_set{false};
uint32_t base_cs;
std::mutex base_mutex;

}  // namespace

extern "C" uint32_t sltrgcs(sl_status *st) {
  uint32_t c;
  if (!base_set.load(std::memory_order_acquire)) {
    // The first reading becomes the base; later first-time callers read
    // after it was stored, so they never see a time before it.
    std::lock_guard<std::mutex> hold(base_mutex);
    if (!base_set.load(std::memory_order_relaxed)) {
      if (!read_cs(c, st)) return 0;
      base_cs = c;
      base_set.store(true, std::memory_order_release);
      return 0;
    }
  }
  if (!read_cs(c, st)) return 0;
  return c - base_cs;
}

extern "C" int32_t sltrusleep(sl_status *st, uint32_t usec, uint32_t *slept) {
  memset(st, 0, sizeof *st);
  int ms = static_cast<int>(usec / 1000u);
  if (slept == nullptr) {
    poll(nullptr, 0, ms);
    return 0;
  }
  uint32_t before = sltrgcs(st);
  if (st->code != 0) return st->code;
  poll(nullptr, 0, ms);
  uint32_t after = sltrgcs(st);
  if (st->code != 0) {
    *slept = after;
    return st->code;
  }
  *slept = (after - before) * 10000u;
  return 0;
}
