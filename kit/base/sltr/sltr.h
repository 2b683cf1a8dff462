// Time services of the sl layer: a centisecond clock and sleeping.
#ifndef QEN_KIT_CORE_SLTR_H
#define QEN_KIT_CORE_SLTR_H

#include <stdint.h>

#include "los.h"

#ifdef __cplusplus
extern "C" {
#endif

// Centiseconds since the first call in the process (which returns 0), modulo
// 2^32, read from a clock that never goes back. A clock failure clears the
// status, sets code 52 with the errno and returns 0; otherwise the code is 0.
uint32_t sltrgcs(sl_status *st);

// Clears the status and waits usec / 1000 milliseconds. With a place, stores
// the time slept in microseconds, counted in steps of 10 milliseconds.
// Returns 0, or the status code of a failed clock read.
int32_t sltrusleep(sl_status *st, uint32_t usec, uint32_t *slept);

#ifdef __cplusplus
}
#endif

#endif
