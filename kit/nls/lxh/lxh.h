// Language handles: the handle record, building one from a
// LANGUAGE_TERRITORY.CHARSET text or from the environment, reading and
// changing its items, and character-set look-ups by id and name.
#ifndef QEN_KIT_NLS_LXH_H
#define QEN_KIT_NLS_LXH_H

#include <stddef.h>
#include <stdint.h>

#include "lxc.h"
#include "lxl.h"

#ifdef __cplusplus
extern "C" {
#endif


// Sizes of the handle's text parameters.
#define LXH_CURRENCY_SIZE 11
#define LXH_UNION_SIZE 11
#define LXH_DEBIT_SIZE 10
#define LXH_CREDIT_SIZE 10
#define LXH_DATEFMT_SIZE 60
#define LXH_TIMEFMT_SIZE 48
#define LXH_TSFMT_SIZE 80
#define LXH_TIMETZFMT_SIZE 68
#define LXH_TSTZFMT_SIZE 100
#define LXH_TEXTS_SIZE 398  // the nine texts together
#define LXH_DISPNAME_SIZE 40

// Indexes of par_len.
enum {
  LXH_PAR_CURRENCY,
  LXH_PAR_UNION,
  LXH_PAR_DEBIT,
  LXH_PAR_CREDIT,
  LXH_PAR_DATEFMT,
  LXH_PAR_TIMEFMT,
  LXH_PAR_TSFMT,
  LXH_PAR_TIMETZFMT,
  LXH_PAR_TSTZFMT,
  LXH_PAR_COUNT
};

// Handle flags (flags).
#define LXH_F_RTL 0x1u               // right-to-left (language or NLS_DISPLAY)
#define LXH_F_LANGFLAG4 0x2u         // the language object's flag 0x4
#define LXH_F_SINGLE 0x10u           // single-byte character set
#define LXH_F_DATEFMT 0x20u          // a date or time format has been set
#define LXH_F_AMERICAN 0x40u         // the language is AMERICAN
#define LXH_F_DISPLAY 0x80u          // single-byte / display set usable for display
#define LXH_F_LINGSORT 0x100u        // a linguistic sort is in force
#define LXH_F_BYTEWISE 0x200u        // single-byte set and no linguistic sort
#define LXH_F_CSFLAG8 0x400u         // charset flag 0x8
#define LXH_F_KEEP_DATELANG 0x800u   // date language set explicitly
#define LXH_F_KEEP_SORT 0x1000u      // sort set explicitly
#define LXH_F_KEEP_CURRENCY 0x2000u
#define LXH_F_KEEP_ISOTER 0x4000u
#define LXH_F_KEEP_NUMCHARS 0x8000u
#define LXH_F_KEEP_FORMATS 0x10000u
#define LXH_F_DATE_AMERICAN 0x20000u  // the date language is AMERICAN
#define LXH_F_SHIFT 0x40000u          // shift-sensitive character set
#define LXH_F_KEEP_MONCHARS 0x80000u
#define LXH_F_KEEP_LISTSEP 0x100000u
#define LXH_F_KEEP_DEBIT 0x200000u
#define LXH_F_KEEP_CREDIT 0x400000u
#define LXH_F_FIXED 0x800000u         // charset flag 0x2000 (fixed width)
#define LXH_F_KEEP_UNION 0x1000000u
#define LXH_F_ASCII 0x2000000u        // ASCII-based character set
#define LXH_F_WIDE 0x4000000u         // wide-unit (UTF-16) character set
#define LXH_F_AL16UTF16 0x8000000u    // the character set is AL16UTF16

// Option flags (opts).
#define LXH_O_ANSI 0x1u        // NLS_COMP ANSI
#define LXH_O_CHAR 0x2u        // NLS_LENGTH_SEMANTICS CHAR
#define LXH_O_CONVEXCP 0x4u    // NCHAR_CONV_EXCP TRUE
#define LXH_O_IMPCONV 0x8u     // NCHAR_IMP_CONV TRUE
#define LXH_O_VISUAL 0x10u     // NLS_STORAGE_ORDER VISUAL
#define LXH_O_CI 0x100u        // case-insensitive sort
#define LXH_O_AI 0x400u        // accent-insensitive sort
#define LXH_O_SORTOPTS 0x0F00u // the options a sort sets (LXH_O_CI, LXH_O_AI and their kin)
#define LXH_O_MASK 0xFFFFu     // the options a handle keeps

// Words of the handle's csoff: offsets of tables inside the charset objects.
enum {
  LXH_OFF_CLASS = 0,    // byte-class table of the handle's charset
  LXH_OFF_UPPER = 1,    // upper-case table
  LXH_OFF_LOWER = 2,    // lower-case table
  LXH_OFF_DISPTAB = 4,  // address of the display charset's display table
  LXH_OFF_DISPVAL = 5   // the display charset's value table
};

// ---- process-wide state of the environment handle ----------------------

extern lxlangid slxphdl;    // the saved handle built from the environment
extern int slxphsave;       // 1 once slxphdl holds a handle
extern char slxpenv[1024];  // the value of NLS_LANG
extern size_t slxpelen;     // its length plus 1; 0 until read
extern int slxpnotset;      // 1 when NLS_LANG was found unset
extern int slxpvalid;       // mode 2: 0 not checked, 1 valid, 2 invalid
extern uint32_t slxperr;    // the status NLS_LANG was found invalid with

// ---- building handles ----------------------------------------------------

// Statuses of a strict (mode 2) handle build.
#define LXH_ST_BADLANG 18   // unknown language
#define LXH_ST_BADTER 19    // unknown territory
#define LXH_ST_BADCS 20     // unknown character set

// Builds a handle from a LANGUAGE_TERRITORY.CHARSET text. Mode 0: text
// NUL-terminated (NULL is empty), defaults for unknown parts; mode 2: strict
// (LXH_ST_BADLANG, LXH_ST_BADTER, LXH_ST_BADCS for an unknown part); other
// modes: counted text with defaults. NULL with the handle zeroed on failure.
lxlangid *lxhLaToId(const char *text, size_t length, lxlangid *h, int mode, lxglo *glo);

// A handle from the environment (NLS_LANG and the NLS_* variables, read once
// per process), under the NLS global lock. Once a handle is saved for the
// process, every mode that gives one hands out a copy of it.
//   mode 0  always a handle: NLS_LANG with defaults for what it leaves out
//           or gets wrong (all defaults when it is unset or too long).
//   mode 1  as mode 0, but NULL while NLS_LANG is unset.
//   mode 2  strict: NULL while NLS_LANG is unset; NULL with the status of a
//           strict lxhLaToId when it names an unknown part (remembered: every
//           later mode 2 call gives the same status without reading again).
//   other   the caller's handle h as it stands, with the NLS_* variables
//           applied over it (nothing while NLS_LANG is known to be unset).
// A non-NULL result is marked built.
lxlangid *lxhLangEnv(lxlangid *h, int mode, lxglo *glo);

// Reads the environment into a handle and saves it as the process's handle;
// lxhLangEnv calls it before a handle is saved. Mode 1: h is already built,
// only the NLS_* variables and NLS_DISPLAY are applied over it. Modes 0 and
// 2: h is built from NLS_LANG (at most 255 bytes; unset or longer: all
// defaults), then the variables are applied. Mode 3: as mode 2, but NULL when
// NLS_LANG is unset. NULL as well when the build fails (nothing is saved).
lxlangid *lxhenvquery(lxlangid *h, int mode, lxglo *glo);

// Applies an NLS_DISPLAY value; 1 when a display charset was installed.
int lxhdisp(const char *value, size_t length, lxlangid *h, lxglo *glo);

// ---- items -----------------------------------------------------------------

// Text item in the handle's charset, NUL-terminated, cut to size.
char *lxhlinfo(const lxlangid *h, int item, char *buf, size_t size, lxglo *glo);
// Sets a text item; 1 when set.
int lxhlmod(lxlangid *h, const char *text, size_t length, int item, int parse, int reset,
            lxglo *glo);
// Writes text item item of the cursor's language handle at the cursor, in
// its character set, using at most size bytes, and advances the cursor.
// glo's nbytes2 receives the bytes written, nbytes the bytes of the text
// taken; status 6 when the text was cut (at a character boundary), 9 for an
// unknown item.
void lxlinfo(lxmcur *cur, size_t size, int item, lxglo *glo);
// Text item of the cursor's handle written at the cursor (the reader behind
// lxlinfo, whose contract it has).
void lxhcurinfo(lxmcur *cur, size_t size, int item, lxglo *glo);
// Numeric item, -1 with status 9 when unknown.
int32_t lxhninfo(const lxlangid *h, int item, lxglo *glo);
// Sets item 79, 108, 119, 130, 131 or 132 from a number.
int lxhnmod(lxlangid *h, uint32_t value, int item, int reset_invalid, lxglo *glo);

// ---- character sets ------------------------------------------------------

size_t lxhnsize(const lxcsobj *cs);
const lxcsobj *lxhci2h(uint16_t id, lxglo *glo);
const lxcsobj *lxhchtoid(const char *name, size_t length, lxglo *glo);
int lxhasc(const lxlangid *h, lxglo *glo);
uint16_t lxhcsn(const lxlangid *h, lxglo *glo);
uint16_t lxhh2ci(const lxcsobj *cs, lxglo *glo);
void *lxhmcnv(void *buf, const void *text, size_t length, const lxcsobj *target,
              const lxcsobj *source, lxglo *glo);

#ifdef __cplusplus
}
#endif

#endif
