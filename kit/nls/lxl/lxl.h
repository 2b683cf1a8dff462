// NLS environment records, the object table and the loader callback block.
// The layouts of the boot file and the data-object files are those of lxf.h.
#ifndef QEN_KIT_NLS_LXL_H
#define QEN_KIT_NLS_LXL_H

#include <stddef.h>
#include <stdint.h>

#include "lxf.h"

#ifdef __cplusplus
extern "C" {
#endif

// ---- Status codes ---------------------------------------------------------

#define LXS_OK 0u
#define LXS_NOMEM 5u        // memory exhausted
#define LXS_SMALL 6u        // output too small
#define LXS_NOCS 7u         // character-set object missing
#define LXS_BUILTIN 22u     // no usable boot file: the built-in table is in use
#define LXS_NOLOAD 23u      // a data object could not be loaded
#define LXS_FREEFAIL 24u    // a free callback failed

#define LX_REPMARK 1000     // replacement mark after a lossy conversion

// Entry i of a boot block (entry 0 is the unused first entry).
static inline lxbent *lxbootent(const lxboot *boot, unsigned i) {
  return (lxbent *)((char *)boot + LX_BOOTHDR + (size_t)LX_BENTSIZE * i);
}

// ---- Object table ---------------------------------------------------------

// The object table: an array of object pointers indexed by boot index, slot 0
// holding the boot block. The type is never completed: reach the slots
// through the functions below.
typedef struct lxlobj lxlobj;

static inline lxnlsobj **lxlslots(lxlobj *table) { return (lxnlsobj **)(void *)table; }

// Reads slot i; slots are published under the global NLS lock and may be read
// by other threads at any time.
static inline lxnlsobj *lxlslot(lxlobj *table, unsigned i) {
  return __atomic_load_n(&lxlslots(table)[i], __ATOMIC_ACQUIRE);
}
static inline void lxlsetslot(lxlobj *table, unsigned i, lxnlsobj *obj) {
  __atomic_store_n(&lxlslots(table)[i], obj, __ATOMIC_RELEASE);
}

// ---- Loader callback block ------------------------------------------------

typedef struct lxldcb lxldcb;
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

// ---- NLS environment record -----------------------------------------------

// Carry-over of the resumable conversions (the last fields of lxglo).
typedef struct lxgcarry {
  uint8_t src_shift;   // source in multibyte mode
  uint8_t dst_shift;   // destination has an open multibyte run
  uint8_t ncarried;    // source bytes held in carried
  uint8_t npending;    // output bytes held in pending
  uint8_t state[2];    // stateful engine: current and designated set
  uint8_t carried[6];
  uint8_t pending[4];
} lxgcarry;

typedef struct lxglo {
  lxlobj **objtab;     // where readers find the table (normally &table)
  lxldcb *ldcb;        // loader callback block
  lxlobj *table;       // the table in use
  uintptr_t nbytes;    // bytes consumed
  uintptr_t nbytes2;   // second count
  uintptr_t ncount;    // characters consumed
  uintptr_t ncount2;   // characters produced
  uint32_t status;
  int16_t repmark;     // LX_REPMARK after a lossy conversion
  uint16_t csid[2];    // charset cache: ids
  uint16_t csidx[2];   //   and their boot indexes
  uint8_t csnext;      //   entry the next miss replaces
  lxgcarry carry;
} lxglo;

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

// ---- Linguistic sort sections, base letters, byte-string compare ----------

typedef struct lxmcur lxmcur;  // the character cursor (lxm.h)

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

// Writes the base letters (BINARY_AI) of the text at in, len bytes, at out,
// within size bytes; returns the bytes written and advances both cursors.
// Flag LXLIB_COUNTED: a NUL byte does not end the text. Status 6 when the
// output is too small; glo's counts receive the bytes consumed and written
// and the characters read and written.
#define LXLIB_COUNTED 0x20000000u
size_t lxlibbletter(const lxnlsobj *mapping, lxmcur *out, size_t size, lxmcur *in, size_t len,
                    uint32_t flags, lxglo *glo);

// Compares two byte strings in the handle's character set: negative, zero or
// positive. Flags LXCMP_LING (use the handle's sort) and LXCMP_CI (ignore
// case); a left length of LXCMP_NUL means both strings are NUL-terminated.
#define LXCMP_LING 0x2u
#define LXCMP_CI 0x10u
#define LXCMP_NUL 0xFFFFFFFFu
int lxCmpStr(const void *left, const void *right, uint32_t llen, uint32_t rlen, uint32_t flags,
             const lxlangid *h, lxglo *glo);

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
