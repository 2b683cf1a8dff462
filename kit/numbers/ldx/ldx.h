// The date library's day arithmetic and date context.
//
// Days are counted from 1 January -4712 (day 1). The calendar is Julian up
// to 4 October 1582 and Gregorian from 15 October 1582; years run from -4712
// to 9999 and the count reserves 366 numbers for a year 0 (1721058 to
// 1721423). The operations are pure integer arithmetic; they take a date
// context only to raise errors through its callback, which must not return.
//
// Callers: the NLS calendar converters and the date renderer.
//
// The date context carries the language handle, the error callback, the
// status record and the language's default date format compiled once
// (ldxnbeg ... ldxend). Formats compile into an ldx_format, a byte string of
// (code, flags) pairs that the renderer ldxdts walks for every date.
//
// Library errors never return: ldxerr calls the context's callback, which
// must leave (both users longjmp with the error number).
#ifndef QEN_KIT_NUMBERS_LDX_H
#define QEN_KIT_NUMBERS_LDX_H

#include <stddef.h>
#include <stdint.h>

#include "lxc.h"
#include "lxe.h"  // ldx_date, ldx_julian
#include "lxl.h"

#ifdef __cplusplus
extern "C" {
#endif

// Error numbers (the library holds no message texts).
#define LDX_ERR_NLS 600        // no NLS table; empty default format; code the renderer cannot render
#define LDX_ERR_LITLEN 1800    // a literal over 209 bytes
#define LDX_ERR_ROOM 1801      // compiled format or rendered text does not fit
#define LDX_ERR_TWICE 1810     // an element twice in an input format
#define LDX_ERR_INPUT 1820     // an element an input format does not allow
#define LDX_ERR_UNKNOWN 1821   // an unrecognised format character or element
#define LDX_ERR_NOERA 1822     // an era element with a calendar without eras
#define LDX_ERR_MONTH 1843     // a month outside 1 to 12
#define LDX_ERR_DOY 1848       // a day of year the year does not have (below 1 or past its last day)
#define LDX_ERR_DAYNUM 1854    // a day number outside 1 to 5373484
#define LDX_ERR_NLSFAIL 1890   // any other NLS failure while compiling or rendering
// Failures of the NLS calls of the renderer, by the status they left.
#define LDX_ERR_CALMATCH 1839  // status 82: no lunar year or month matched the day
#define LDX_ERR_CALCYCLE 1841  // status 84: the day lies outside the lunar cycle
#define LDX_ERR_NUMBER 1858    // status 9: an invalid number or item
#define LDX_ERR_CALERA 1863    // status 85: the date lies outside the era
#define LDX_ERR_CALNOERA 1865  // status 89: the era does not exist

#define LDX_FMT_SIZE 48        // the context's compiled default format
#define LDX_JMAX 5373484       // day number of 9999-12-31

// A compiled format: pairs (code, flags) ending with (LDX_END, fill state).
// A literal of n bytes (1..LDX_LITMAX) is (LDX_LIT + n, literal flags) and
// its n bytes.
typedef uint8_t ldx_format;

enum ldx_code {
  LDX_END = 0, LDX_CC = 1, LDX_SCC = 2, LDX_I = 3, LDX_Y = 4, LDX_IY = 5, LDX_YY = 6, LDX_IYY = 7,
  LDX_YYY = 8, LDX_IYYY = 9, LDX_YYYY = 10, LDX_Y_YYY = 11, LDX_SYYYY = 12, LDX_SY_YYY = 13,
  LDX_YEAR = 14, LDX_SYEAR = 15, LDX_Q = 16, LDX_MM = 17, LDX_IW = 18, LDX_WW = 19, LDX_W = 20,
  LDX_D = 21, LDX_DD = 22, LDX_DDD = 23, LDX_HH24 = 24, LDX_HH = 25, LDX_MI = 26, LDX_SS = 27,
  LDX_SSSSS = 28, LDX_J = 29, LDX_MONTH = 30, LDX_MON = 31, LDX_DAY = 32, LDX_DY = 33, LDX_AM = 34,
  LDX_A_M_ = 35, LDX_AD = 36, LDX_A_D_ = 37, LDX_RM = 38, LDX_FM = 39, LDX_RR = 40, LDX_RRRR = 41,
  LDX_FX = 42, LDX_E = 43, LDX_EE = 44, LDX_NYYYY = 45, LDX_LIT = 46, LDX_DL = 47, LDX_DS = 48,
  LDX_TS = 49, LDX_NCODES = 51
};
#define LDX_LITMAX 209

// Flags byte of an element.
#define LDX_F_TH 0x01          // ordinal suffix
#define LDX_F_SP 0x02          // spelled out
#define LDX_F_INITCAP 0x04
#define LDX_F_UPPER 0x08
#define LDX_F_PAD 0x10         // padded: fill mode not in force
// Flags byte of a literal (the renderer ignores them).
#define LDX_L_QUOTED 1
#define LDX_L_SPACES 2
#define LDX_L_PUNCT 4

// A row of the keyword tables (ldxfda/ldxfde, the suffixes ldxfdx/ldxfdy):
// a name padded with NULs, its length, the code. An empty row ends a table.
typedef struct ldx_kwrow {
  char name[6];
  uint16_t len;
  int32_t code;
} ldx_kwrow;

// A row of the field-check table ldxfcd, indexed by code. Only attr is used
// here; the rest describes a date reader this system does not have.
typedef struct ldx_fcdrow {
  uint16_t err;
  int16_t min;
  int32_t max;
  uint8_t attr;
} ldx_fcdrow;
#define LDX_A_TEXT 0x80        // text element: no suffix
#define LDX_A_NOPAD 0x40
#define LDX_A_SIGNED 0x20
#define LDX_A_GROUPS 0x10      // a separator every three digits
#define LDX_A_WIDTH 0x0F       // field width, or a text element's NLS width selector

// One pending DL, DS or TS expansion of a compile.
#define LDX_EXPBUF 100
typedef struct ldx_exp {
  uint8_t resume;              // the saved text is to be taken up again
  const uint8_t *pos;          // the saved position, remaining length and start
  size_t len;
  const uint8_t *start;
  uint8_t buf[LDX_EXPBUF];     // the expansion's text
} ldx_exp;

extern const ldx_kwrow ldxfda[];   // element names, ASCII order, 53 rows + end row
extern const ldx_kwrow ldxfde[];   // the same in EBCDIC (code page 037)
extern const int32_t ldxfdi[26];   // first row per letter A..Z, or INT32_MAX
extern const ldx_kwrow ldxfdx[];   // suffixes SP, SPTH, TH, THSP
extern const ldx_kwrow ldxfdy[];
extern const ldx_fcdrow ldxfcd[LDX_NCODES];
#define LDX_NAMEROWS 53        // rows of ldxfda / ldxfde before the end row
#define LDX_SUFFIXROWS 4       // rows of ldxfdx / ldxfdy before the end row

// A group of input-format elements that exclude each other: the error it
// raises and its codes, ended by 0. The table ends with a row of error 0.
#define LDX_PMXMAX 9
typedef struct ldx_pmxrow {
  uint16_t err;
  uint8_t codes[LDX_PMXMAX];
} ldx_pmxrow;
extern const ldx_pmxrow ldxpmxa[];
extern const int32_t ldxdom[14];   // days before month m of a common year

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
  uint8_t held;               // 1 while table is the one ldxlxi loaded into glo
};

// Begins a context (see above: callback and argument, handle, table, status
// record).
void ldxnbeg(ldx_ctx *ctx, const lxlangid *lang, ldx_errf callback, void *cbarg, lxlobj *table,
             lxglo *glo);
// Raises err through the context's callback; does not return.
[[noreturn]] void ldxerr(ldx_ctx *ctx, int err);
// Ends a context (releases the NLS hold of its own status record).
void ldxend(ldx_ctx *ctx);
// The NLS hold around one call: ldxlxi returns 1 when it loaded the table
// for this call; ldxlxt with that value releases it.
int ldxlxi(ldx_ctx *ctx);
void ldxlxt(ldx_ctx *ctx, int loaded);
// Switches the context to another handle, recompiling the default format
// when the handle differs or its NLS parameters changed.
void ldxsen(ldx_ctx *ctx, lxlangid *lang);
// Recompiles the default format when the handle's parameters changed.
void ldxrdf(ldx_ctx *ctx, lxglo *glo);

// Compiles an output (ldxsto) or input (ldxsti) format of len bytes into
// out, room bytes at most; returns the bytes written, end pair included.
size_t ldxsto(ldx_ctx *ctx, const void *text, uint8_t len, ldx_format *out, uint8_t room);
size_t ldxsti(ldx_ctx *ctx, const void *text, uint8_t len, ldx_format *out, uint8_t room);

// Compiles one element (or one literal run) of a format: advances the text
// position and remaining length past it and the output position past what
// it stored, shrinking the room. Returns the code stored (LDX_LIT for a
// literal), 0 once the end pair is stored. exp carries a pending DL, DS or
// TS expansion from call to call (resume 0 and start set before the first).
int ldxsnf(ldx_ctx *ctx, const uint8_t **pos, size_t *len, ldx_format **out, size_t *room,
           ldx_exp *exp);
// ldxsnf over bytes (bytes 1; ascii 1 for ASCII, 0 for EBCDIC) in the
// character set of h1, or over UTF-16 units, high byte first (bytes 0),
// whose ASCII units take the classes and case of the UTF-8 handle h1;
// literal text is then stored converted to utf8 (NULL: the charset of the
// UTF-8 handle h2).
int ldxsnfcom(ldx_ctx *ctx, const uint8_t **pos, size_t *len, ldx_format **out, size_t *room,
              ldx_exp *exp, const lxlangid *h1, const lxlangid *h2, const lxcsobj *utf8,
              int bytes, int ascii);
// Longest keyword of the rows from first on that the text starts with
// (upper-cased; the comparison stops at a vertical bar and at the end), or
// NULL. ldxmfn reads the text with the context's handle, ldxmfnu reads
// UTF-16 units, ldxmfncom either (bytes 1 or 0) with h's case map, stopping
// at the separator byte sep.
const ldx_kwrow *ldxmfn(ldx_ctx *ctx, const uint8_t *text, size_t len, const ldx_kwrow *first);
const ldx_kwrow *ldxmfnu(ldx_ctx *ctx, const uint8_t *text, size_t len, const ldx_kwrow *first,
                         const lxlangid *h);
const ldx_kwrow *ldxmfncom(ldx_ctx *ctx, const uint8_t *text, size_t len, const ldx_kwrow *first,
                           const lxlangid *h, int sep, int bytes);

// Renders a Gregorian date under a compiled format (NULL: the context's
// default format) into out, len bytes; returns the bytes written, the
// terminator excluded.
size_t ldxdts(ldx_ctx *ctx, void *out, uint16_t len, const ldx_date *date, const ldx_format *fmt);
// The fixed period forms the renderer writes for the date language
// AMERICAN: rows A.D., A.M., B.C., P.M. (flag 1 for the second of each
// pair), then an empty row; ldxpae holds them in EBCDIC (code page 037).
extern const ldx_kwrow ldxpaa[];
extern const ldx_kwrow ldxpae[];
// Builds the UTF-8 twin of the context's handle in *storage, makes it the
// context's handle and returns it.
lxlangid *ldxlid16to8(ldx_ctx *ctx, lxlangid *storage);
// Whole-text conversions between UTF-16 and UTF-8; -1 when a charset object
// is not available.
int ldxutf16to8(ldx_ctx *ctx, const void *src, size_t srclen, void *dst, size_t dstlen);
int ldxutf8to16(ldx_ctx *ctx, const void *src, size_t srclen, void *dst, size_t dstlen);

// Day number of a date; 1843 for a month outside 1 to 12, no other range
// checks.
int32_t ldxctj(ldx_ctx *ctx, int16_t year, int8_t month, int8_t day);
// Date of a day number, which it returns; 1854 outside 1 to 5373484.
int32_t ldxjtc(ldx_ctx *ctx, int32_t day, int16_t *year, int8_t *month, int8_t *mday);
// Month and day of day t of year y; 1848 for a day the year does not have
// (day 366 of a common year, or t outside 1 to 366).
void ldxdyc(ldx_ctx *ctx, int16_t year, int32_t t, int8_t *month, int8_t *mday);
// Date with time to day number and second of the day, and back.
void ldxdtd(ldx_ctx *ctx, const ldx_date *date, ldx_julian *out);
void ldxdfd(ldx_ctx *ctx, const ldx_julian *in, ldx_date *out);

// Day of the week 1 to 7 from the territory's first day.
int ldxdow(ldx_ctx *ctx, int32_t day);
// ISO week (1 to 53) and ISO year of a date.
int ldxisw(ldx_ctx *ctx, const ldx_date *date);
int ldxisy(ldx_ctx *ctx, const ldx_date *date);
// Day count and seconds of a NUMBER of days (len 0: a leading length byte).
void ldxftd(ldx_ctx *ctx, const unsigned char *num, size_t len, ldx_julian *out);
// NUMBER constants of ldxftd, with their length byte: 86400, 0.5, -0.5.
extern const unsigned char ldxsid[], ldxftdp5[], ldxftdn5[];

// 1 when the year is a leap year of the date library's calendar.
int ldxleap(int32_t year);

#ifdef __cplusplus
}
// The tables' rows have one layout in both widths.
static_assert(sizeof(ldx_kwrow) == 12 && offsetof(ldx_kwrow, len) == 6 &&
              offsetof(ldx_kwrow, code) == 8);
static_assert(sizeof(ldx_fcdrow) == 12 && offsetof(ldx_fcdrow, min) == 2 &&
              offsetof(ldx_fcdrow, max) == 4 && offsetof(ldx_fcdrow, attr) == 8);
#endif

#endif
