// Calendars: the seven static calendar records (Gregorian, Japanese
// Imperial, ROC Official, Thai Buddha, Persian, Arabic Hijrah, English
// Hijrah), conversion of Gregorian dates into a language handle's calendar
// and back, calendar information for the date renderer (names, formats,
// month and era texts, matching of month and era names in input text), the
// calendar lookup by name behind NLS_CALENDAR, and the calendar files of the
// installation that add eras and lunar deviations to the built-in data.
//
// Callers: the language-handle items (NLS_CALENDAR and the calendar's name
// and month widths) and the date library's renderer. Nothing here keeps
// state: the records are constants and every lookup past the built-in eras
// opens, reads and closes the calendar file.
//
// Dates and day numbers. The converters work on the date library's records
// (ldx_date, ldx_julian, declared here and used by the date library, ldx.h)
// and compute through the date library's arithmetic (ldxnbeg, ldxdtd,
// ldxdfd).
//
// Errors of the date library reach lxecerr, which long-jumps back into the
// converter that began the date context; the converter then returns 0 with
// status 88.
#ifndef QEN_KIT_NLS_LXE_H
#define QEN_KIT_NLS_LXE_H

#include <stddef.h>
#include <stdint.h>

#include "lxl.h"
#include "lxm.h"

#ifdef __cplusplus
extern "C" {
#endif

// ---- The date library's records -------------------------------------------

// A broken-down date: year -4712 to 9999 (no year 0), month, day, time.
typedef struct ldx_date {
  int16_t year;
  int8_t month;
  int8_t day;
  int8_t hour;
  int8_t minute;
  int8_t second;
  int8_t pad;
} ldx_date;

// A day number (1 is 1 January -4712) and the second of the day.
typedef struct ldx_julian {
  int32_t day;
  int32_t seconds;
} ldx_julian;

#ifdef __cplusplus
static_assert(sizeof(ldx_date) == 8 && offsetof(ldx_date, month) == 2);
static_assert(offsetof(ldx_date, second) == 6 && sizeof(ldx_julian) == 8);
#endif

// ---- Status codes -----------------------------------------------------------

#define LXE_ST_NOCAL 80      // the handle's calendar has no record
#define LXE_ST_GREG 81       // a converter was called for calendar 0
#define LXE_ST_NOMATCH 82    // no lunar year or no month matched the day
#define LXE_ST_NOSTART 83    // the Persian month-start text is empty
#define LXE_ST_EPOCH 84      // the day lies outside the lunar cycle
#define LXE_ST_ERA 85        // the date lies outside the era
#define LXE_ST_DIR 87        // direction other than 0 or 1
#define LXE_ST_DATE 88       // the date library reported an error
#define LXE_ST_NOERA 89      // the era does not exist

// ---- Calendar records ----------------------------------------------------------

#define LXE_NCAL 7           // calendars 0 to 6
#define LXE_MONTHS 12
#define LXE_CYCLE_YEARS 30   // the lunar calendars' cycle
#define LXE_CYCLE_DAYS 10631
#define LXE_EPOCH 1948440    // day 1 of lunar year 1 (16 July 622, Julian)
#define LXE_PCYCLE 33        // the Persian leap cycle

// A month: number, name and abbreviation (with their byte lengths), first
// and last day within a common year, Gregorian start and end ("MM-DD", or
// empty), and the days a leap year adds.
typedef struct lxemon {
  uint8_t num;
  const char *name;
  const char *abbr;
  uint8_t name_len;
  uint8_t abbr_len;
  uint16_t first;
  uint16_t last;
  const char *greg_start;
  const char *greg_end;
  int16_t leap;
} lxemon;

// A built-in era: name, abbreviation, second name and second abbreviation,
// their lengths, first and last day (0: still running).
typedef struct lxeerow {
  const char *text[4];
  uint8_t len[4];
  int32_t first;
  int32_t last;
} lxeerow;

// A year of the 30-year lunar cycle: first and last day within the cycle.
typedef struct lxeyrow {
  uint8_t year;
  uint8_t reserved;
  uint16_t first;
  uint16_t last;
  uint8_t leap;
  uint8_t reserved2;
} lxeyrow;

// A lunar deviation, as the calendar file stores it (12 bytes): from the
// day jday on, the tabular calendar is shifted.
typedef struct lxedev {
  int32_t jday;
  int32_t word;        // carried, never read
  int16_t shift;
  uint8_t reserved[2];
} lxedev;

typedef struct lxecal lxecal;
// Converter: (handle, out date, in date, direction, era in/out, environment).
typedef int (*lxecnvf)(const lxlangid *h, ldx_date *out, const ldx_date *in, int dir,
                       int32_t *era, lxglo *glo);

struct lxecal {
  const char *name;
  const char *shortname;       // two letters; names the calendar file
  uint16_t csid;               // character set of the calendar's texts
  const char *desc;
  const char *datefmt;         // default date format, calendar charset
  uint8_t neras;               // built-in eras
  uint8_t nyears;              // year-table rows (30 for the lunar calendars)
  uint8_t nmonths;             // 12
  uint16_t ndevs;              // built-in deviations (none)
  const lxeerow *eras;
  const lxeyrow *years;
  const lxemon *months;
  uint16_t longest_name;       // longest month name, bytes
  uint16_t longest_abbr;       // longest month abbreviation, bytes
  const lxedev *devs;
  lxecnvf convert;             // NULL for calendar 0
};

// The calendar table: seven records by calendar number, then NULL.
extern const lxecal *const lxetbn[LXE_NCAL + 1];
extern const lxecal lxetnul, lxeji, lxeco, lxetb, lxepg, lxeah, lxeeh;

// Persian leap positions of the 33-year cycle, and the leap positions
// before each position.
extern const uint8_t lxeLeapYrPr[LXE_PCYCLE];
extern const uint8_t lxeNumLeapDaysPr[LXE_PCYCLE];

// ---- Calendar files -----------------------------------------------------------
// <VIRUZE_HOME>/nls/lxecal<short name>.nlb, numbers in host byte order: a
// header, E era records, V deviation records (lxedev). A file of the other
// byte order fails the magic check and adds nothing.

#define LXE_FILE_MAGIC 12345678
#define LXE_PATH_MAX 512     // the whole path stays below this

typedef struct lxecfhdr {
  int32_t magic;
  uint16_t neras;
  uint16_t ndevs;
} lxecfhdr;

#define LXE_NAME_FIELD 31
#define LXE_ABBR_FIELD 16
typedef struct lxecfera {
  char name[LXE_NAME_FIELD];
  char abbr[LXE_ABBR_FIELD];
  char name2[LXE_NAME_FIELD];
  char abbr2[LXE_ABBR_FIELD];
  uint8_t len[4];              // name, abbreviation, second name, second abbreviation
  uint8_t reserved[2];
  int32_t first;
  int32_t last;                // 0: still running
} lxecfera;

#ifdef __cplusplus
static_assert(sizeof(lxecfhdr) == 8 && offsetof(lxecfhdr, neras) == 4);
static_assert(sizeof(lxecfera) == 108 && offsetof(lxecfera, abbr) == 31);
static_assert(offsetof(lxecfera, name2) == 47 && offsetof(lxecfera, abbr2) == 78);
static_assert(offsetof(lxecfera, len) == 94 && offsetof(lxecfera, first) == 100);
static_assert(offsetof(lxecfera, last) == 104 && sizeof(lxedev) == 12);
static_assert(offsetof(lxedev, shift) == 8);
#endif

// The era record lxegera fills: four caller buffers (NULL ones are skipped;
// a name buffer holds 31 bytes, an abbreviation buffer 16), their lengths,
// first and last day.
typedef struct lxeera {
  char *text[4];
  uint8_t len[4];
  int32_t first;
  int32_t last;
} lxeera;
#define LXE_T_NAME 0
#define LXE_T_ABBR 1
#define LXE_T_NAME2 2
#define LXE_T_ABBR2 3

typedef struct slxfh slxfh;
// Opens <VIRUZE_HOME>/nls/lxecal<shortname><ext> read-only, through the
// virtual-file layer when it is active; NULL when VIRUZE_HOME is unset or
// empty, the path would reach LXE_PATH_MAX bytes, or the file cannot open.
slxfh *slxefop(const char *shortname, const char *mode, const char *ext);

// Era n (0-based) of the calendar: built-in rows first, then the file's.
// Texts are copied from within their field only and always terminated; a
// length byte that reaches its field is cut to the field less its NUL.
int lxegera(const lxecal *cal, int n, lxeera *era);
// Deviation n of the calendar (only the file has them).
int lxegdev(const lxecal *cal, int n, lxedev *dev);

// ---- Conversion ---------------------------------------------------------------

// Gregorian date in into the handle's calendar (out may be in); era
// receives the era number, -1 for calendars without eras. 1, or 0 with the
// status set. The status is cleared on entry.
int lxeg2u(const lxlangid *h, ldx_date *out, const ldx_date *in, int32_t *era, lxglo *glo);

// The converters: direction 0 Gregorian to the calendar, 1 back.
int lxecg2i(const lxlangid *h, ldx_date *out, const ldx_date *in, int dir, int32_t *era,
            lxglo *glo);
int lxecg2e(const lxlangid *h, ldx_date *out, const ldx_date *in, int dir, int32_t *era,
            lxglo *glo);
int lxecg2l(const lxlangid *h, ldx_date *out, const ldx_date *in, int dir, int32_t *era,
            lxglo *glo);

// Day number to lunar date (year may be NULL).
int lxecj2l(const lxecal *cal, int32_t jday, int32_t adjust, int32_t *month, int32_t *day,
            int32_t *year, lxglo *glo);

// The error callback handed to the date library: long-jumps to the jump
// buffer the converter gave with the date context. Never returns.
void lxecerr(void *ctx, int err);

// ---- Information -------------------------------------------------------------

// A calendar information request. len: the output buffer's size on input;
// the text or matched length on output.
typedef struct lxeireq {
  uint16_t len;
  lxglo *glo;
  union {
    int32_t n;                 // month or era number
    lxmcur *cur;               // matching kinds: the input text
  } in;
  union {
    char *text;
    int32_t num;
  } out;
} lxeireq;

enum {
  LXE_I_NAME = 0, LXE_I_DESC, LXE_I_FORMAT,
  LXE_I_MONABBR, LXE_I_MONNAME, LXE_I_MATCH_MONABBR, LXE_I_MATCH_MONNAME,
  LXE_I_ERAABBR, LXE_I_ERANAME, LXE_I_ERAFIRST, LXE_I_ERALAST,
  LXE_I_MATCH_ERAABBR, LXE_I_MATCH_ERANAME,
  LXE_I_ERAABBR2, LXE_I_ERANAME2, LXE_I_ERAFIRST2, LXE_I_ERALAST2,
  LXE_I_MATCH_ERAABBR2, LXE_I_MATCH_ERANAME2,
  LXE_I_LAST = LXE_I_MATCH_ERANAME2
};

// Calendar information of the handle's calendar (kinds above). 1 found; 0
// not found or an error (kind above 18, calendar 0). Never writes past the
// request's length; a length of 0 only reports the needed length; every
// text result is NUL-terminated.
int lxeifnd(const lxlangid *h, lxeireq *req, int kind);

// The calendar number of a name (any case); found (may be NULL) receives 1
// when the name is known. "GREGORIAN" is calendar 0.
int lxedget(const char *name, size_t length, int *found);

#ifdef __cplusplus
}
#endif

#endif
