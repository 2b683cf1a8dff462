// The date library's day arithmetic and date context.
//
// Days are counted from 1 January -4712 (day 1). The calendar is Julian up
// to 4 October 1582 and Gregorian from 15 October 1582; years run from -4712
// to 9999 and the count reserves 366 numbers for a year 0 (1721058 to
// 1721423). The operations are pure integer arithmetic; they take a date
// context only to raise errors through its callback, which must not return.
//
// Callers: the NLS calendar converters (through the routines ldxlxereg
// registers with the calendar layer below, which cannot link this one) and
// the date renderer. The probe registers the routines at start-up
// (gimh_init_proc_ctx); a program or test that converts calendar dates calls
// ldxlxereg once first.
//
// The date context: ldxnbeg here is a narrow beginning that stores the
// callback, its argument, the handle, the table and the status record. The
// dates issue [23] completes it (the default format compiled from the
// handle, the NLS hold, ldxend, ldxsen, ldxrdf).
#ifndef QEN_KIT_NUMBERS_LDX_H
#define QEN_KIT_NUMBERS_LDX_H

#include <stddef.h>
#include <stdint.h>

#include "lxe.h"  // ldx_date, ldx_julian
#include "lxl.h"

#ifdef __cplusplus
extern "C" {
#endif

// Error numbers of the arithmetic.
#define LDX_ERR_DOY 1848      // day 366 of a common year
#define LDX_ERR_DAYNUM 1854   // a day number below 1

#define LDX_FMT_SIZE 48       // a compiled date format

typedef struct ldx_ctx ldx_ctx;
typedef void (*ldx_errf)(void *ctx, int err);

struct ldx_ctx {
  uint8_t compile_state;      // fill-mode flag while a format compiles
  const lxlangid *lang;       // may be NULL
  ldx_errf callback;          // called with (context, error number); never returns
  void *cbarg;                // the callback's argument (callers keep a jmp_buf there)
  uint8_t deffmt[LDX_FMT_SIZE];
  lxglo own;                  // a status record of the context's own
  lxglo *glo;                 // the status record passed to NLS calls
  lxlobj *table;              // the table the status record works on, or NULL
};

// Begins a context (see above: callback and argument, handle, table, status
// record).
void ldxnbeg(ldx_ctx *ctx, const lxlangid *lang, ldx_errf callback, void *cbarg, lxlobj *table,
             lxglo *glo);
// Raises err through the context's callback; does not return.
[[noreturn]] void ldxerr(ldx_ctx *ctx, int err);

// Day number of a date (no range checks; months outside 1 to 12 count as
// the nearest table entry).
int32_t ldxctj(ldx_ctx *ctx, int16_t year, int8_t month, int8_t day);
// Date of a day number, which it returns; 1854 below 1.
int32_t ldxjtc(ldx_ctx *ctx, int32_t day, int16_t *year, int8_t *month, int8_t *mday);
// Month and day of day t of year y; 1848 for day 366 of a common year.
void ldxdyc(ldx_ctx *ctx, int16_t year, int32_t t, int8_t *month, int8_t *mday);
// Date with time to day number and second of the day, and back.
void ldxdtd(ldx_ctx *ctx, const ldx_date *date, ldx_julian *out);
void ldxdfd(ldx_ctx *ctx, const ldx_julian *in, ldx_date *out);

// 1 when the year is a leap year of the date library's calendar.
int ldxleap(int32_t year);

// Registers the routines above with the calendar layer (lxesetdate).
void ldxlxereg(void);

#ifdef __cplusplus
}
static_assert(sizeof(ldx_ctx) <= LXE_DATECTX_MAX, "the calendar layer's date context room");
#endif

#endif
