// The NLS environment and its object table (the record itself is lxfglo.h),
// the loader callback block, the language handle record and the sort
// sections.
// The layouts of the boot file and the data-object files are those of lxf.h.
#ifndef QEN_KIT_NLS_LXL_H
#define QEN_KIT_NLS_LXL_H

#include <stddef.h>
#include <stdint.h>

#include "lxf.h"
#include "lxfglo.h"

#ifdef __cplusplus
extern "C" {
#endif

// Entry i of a boot block (entry 0 is the unused first entry).
static inline lxbent *lxbootent(const lxboot *boot, unsigned i) {
  return (lxbent *)((char *)boot + LX_BOOTHDR + (size_t)LX_BENTSIZE * i);
}

// ---- Loader callback block ------------------------------------------------

typedef void *(*lxldalcf)(void *ctx, size_t size);
typedef int (*lxldfref)(void *ctx, void *mem);
typedef lxnlsobj *(*lxldlodf)(void *ctx, const char *name, lxlobj *table, unsigned index);
typedef int (*lxldunlf)(void *ctx, lxnlsobj **slot);
typedef lxboot *(*lxldlbbf)(void *ctx, const char *name, int flag);
typedef int (*lxldfbbf)(void *ctx, void *boot);  // same shape as the free callback

struct lxldcb {
  lxldalcf alloc;
  void *alloc_ctx;
  lxldfref free;
  void *free_ctx;
  lxldlodf load;
  void *load_ctx;
  lxldunlf unload;
  void *unload_ctx;
  lxldlbbf loadboot;
  void *loadboot_ctx;
  lxldfbbf freeboot;
  void *freeboot_ctx;
};

// ---- Language handle ------------------------------------------------------

typedef struct lxlangid {
  uintptr_t csoff[6];  // table offsets inside the charset objects
  lxglo *owner;        // environment whose table the boot indexes refer to
  uint32_t flags;      // charset flags of the handle
  uint32_t opts;       // option flags
  uint16_t cs;
  uint16_t ter;
  uint16_t iso_ter;
  uint16_t lang;
  uint16_t date_lang;
  uint16_t sort;
  uint16_t cal;
  uint16_t sort_key_row;
  uint16_t sort_cmp_row;
  uint16_t cal_cs;
  uint16_t name_cs;
  uint16_t disp_cs;
  uint16_t lang_cs;
  uint16_t lang_ter;
  uint16_t lang_sort;
  int16_t built;
  uint8_t mb_len;
  uint8_t shift_in;
  uint8_t shift_out;
  uint8_t par_len[9];
  uint8_t numchars[4];
  uint8_t monchars[4];
  uint8_t listsep[2];
  char disp_name[40];
  char currency[11];
  char union_currency[11];
  char debit[10];
  char credit[10];
  char date_fmt[60];
  char time_fmt[48];
  char timestamp_fmt[80];
  char time_tz_fmt[68];
  char timestamp_tz_fmt[100];
} lxlangid;

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

// Sets bit in a handle's flags when on, clears it otherwise.
static inline void lxhsetflag(uint32_t *flags, uint32_t bit, int on) {
  if (on)
    *flags |= bit;
  else
    *flags &= ~bit;
}

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

// ---- Linguistic sort sections --------------------------------------------

// A sort's records are read only inside the loaded object (hdr.size): a
// section or block outside it gives the "none" answer.
uint16_t lxligbl(const lxsrtobj *sort, uint16_t ch);
const uint8_t *lxligss(const lxsrtobj *sort, uint16_t ch);
const uint8_t *lxligcs(const lxsrtobj *sort, uint16_t first, uint16_t second);
const uint8_t *lxligsu(const lxsrtobj *sort, uint16_t first, uint16_t second);
const uint8_t *lxligsl(const lxsrtobj *sort, uint16_t first, uint16_t second);
const uint8_t *lxligsbl(const lxsrtobj *sort, uint16_t first, uint16_t second);
// The record for (first, second) among count 12-byte records sorted by
// their first character, or NULL.
const uint8_t *lxligsp(const uint8_t *records, uint16_t count, uint16_t first, uint16_t second);
// The key byte of ch in a two-level key table of count entries, 0 for none.
// The caller vouches for the table's blocks.
uint8_t lxligkey(const uint8_t *table, uint16_t count, uint16_t ch);

// ---- Environment and object table ----------------------------------------

lxglo *lxinitc(lxglo *glo, lxlobj *table, lxldcb *block, int share);
lxlobj *lxlinit(lxldcb *block, int share, uint32_t *status);
lxlobj *lxlinid(lxldcb *block);
int lxlterm(lxglo *glo);
int lxlfterm(lxglo *glo);
// An NLS environment of its own for a kit service: loads (or shares) the
// process's object table and initialises a newly allocated environment on it
// with the loader callback block (NULL: the shared or default one). The
// caller ends it with lxlterm and frees it. NULL, with nothing held, when the
// table cannot be loaded or the memory not had.
lxglo *lxlownenv(lxldcb *block);
lxglo *lxGetGloPtr(const lxlangid *handle, lxglo *out);
lxnlsobj *lxdgetobj(unsigned index, unsigned type, lxglo *glo);
int lxdlobj(unsigned index, unsigned type, lxglo *glo);
uint32_t lxdunld(lxldcb *block, lxlobj *table);
int slxmxinit(void);

// ---- Loader callbacks and files -------------------------------------------

lxldcb *lxldini(lxldcb *block, void *product);
int lxldfcb(lxldcb *block);
void *lxldalc(void *ctx, size_t size);
int lxldfre(void *ctx, void *mem);
lxnlsobj *lxldlod(void *ctx, const char *name, lxlobj *table, unsigned index);
int lxldunl(void *ctx, lxnlsobj **slot);
lxboot *lxldlbb(void *ctx, const char *name, int flag);

typedef struct slxfh slxfh;
slxfh *lxlfopn(lxldcb *block, const char *name, int profile);
uint32_t lxlgsz(lxldcb *block, const char *name, lxlobj *table);
int lxlfrd(lxldcb *block, slxfh *fh, void *buffer, lxlobj *table, unsigned index, uint32_t size);
int lxfgnb(unsigned digit, char *buf, size_t size);
int lxfgno(unsigned type, unsigned id, char *buf, size_t size);
void slxdfsync(const lxboot *boot);

extern lxldcb lxldcbk;

// ---- Built-in objects -----------------------------------------------------

extern const lxboot *const lxdlbot;
extern const lxnlsobj *const lxdllan;
extern const lxnlsobj *const lxdlter;
extern const lxnlsobj *const lxdlchr;
extern const lxnlsobj *const lxdlucs;
extern const lxnlsobj *const lxdlutf16le;
extern const lxnlsobj *const lxdlwkb;
extern const lxnlsobj *const lxd2022arr[4];  // ids 9999, 9998, 9997, 9996
extern const uint32_t lxdlbotsz, lxdllansz, lxdltersz, lxdlchrsz;

// ---- Fix-ups --------------------------------------------------------------

void lxladjobj(lxnlsobj *obj);
void lxlswap(void *addr, size_t records, unsigned fields, ...);
void lxlfrdQsort(void *records, size_t size, size_t keylen, long first, long last);
int lxdnip_name_cmp(const void *a, const void *b);

// 0x10 on a big-endian host, 0 on a little-endian one.
static inline uint8_t lxlhostorder(void) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  return 0x10;
#else
  return 0;
#endif
}

#ifdef __cplusplus
}
#endif

#endif
