// Language handles: building one from a LANGUAGE_TERRITORY.CHARSET text or
// from the environment, reading and changing its items, and installing a
// language or a sort. The top of the NLS components: it includes the headers
// of those below it that a handle's user needs (the handle record and its
// flags are lxl.h's, the character-set look-ups lxlname.h's, the other
// installers lxp.h's, the string operations lxo.h's).
#ifndef QEN_KIT_NLS_LXH_H
#define QEN_KIT_NLS_LXH_H

#include <stddef.h>
#include <stdint.h>

#include "lxc.h"
#include "lxl.h"
#include "lxlname.h"
#include "lxm.h"
#include "lxo.h"
#include "lxp.h"

#ifdef __cplusplus
extern "C" {
#endif

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

// ---- installers (1 on success, 0 with the handle unchanged) ----------------

// The language (with its default sort) and the sort with its options; the
// territory, character-set and display installers are lxp.h's.
int lxplset(uint16_t lang, lxlangid *h, lxglo *glo);
int lxpsset(uint16_t sort, uint16_t options, lxlangid *h, lxglo *glo);

#ifdef __cplusplus
}
#endif

#endif
