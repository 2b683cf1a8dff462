// NLS environment records, the object table, the loader callback block and
// the layouts of the NLS boot file and data-object files.
#ifndef QEN_KIT_NLS_LXL_H
#define QEN_KIT_NLS_LXL_H

#include <stddef.h>
#include <stdint.h>

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

// ---- Object types ---------------------------------------------------------

#define LX_TLANG 0
#define LX_TTERR 1
#define LX_TCS 2
#define LX_TSORT 3
#define LX_TMAP 4

// ---- File formats ---------------------------------------------------------

#define LX_BOOTMAGIC 0xA5
#define LX_OBJMAGIC 0x5A
#define LX_MINVERSION 0x02100000u      // oldest version a file may carry
#define LX_BUILTINVERSION 0x01100000u  // version of the built-in blocks
#define LX_RELEASE 0x0A000000u         // release word of the built-in blocks
#define LX_FMT_BIGENDIAN 0x10          // numbers are big-endian
#define LX_FMT_ASCII 0x01              // names are ASCII (clear: EBCDIC)
#define LX_BOOT_BUILTIN 0x1u           // boot flags: built-in block

// Boot block header (48 bytes); entries of 40 bytes follow, entry 0 unused.
typedef struct lxboot {
  uint32_t version;
  uint32_t release;
  uint32_t size;      // header and all entries
  uint32_t size2;     // not interpreted
  uint32_t flags;     // LX_BOOT_BUILTIN
  uint16_t first[10]; // first entry of each object type 0 to 9
  uint16_t count;     // entries, entry 0 included; length of the object table
  uint16_t reserved;
  uint8_t magic;      // LX_BOOTMAGIC
  uint8_t fmtflags;   // LX_FMT_*
  uint16_t reserved2;
} lxboot;

// Boot entry (40 bytes).
typedef struct lxbent {
  uint32_t size;      // size of the object (its file's length)
  uint16_t type;
  uint16_t id;
  uint8_t namelen;    // including the terminating NUL
  char name[31];      // NUL-terminated; territory names end before byte 29
} lxbent;

// Territory entries: the language key of the variant (entry byte 38) and the
// group byte (39: position within the group high, the group's last low).
static inline uint8_t lxbentlangkey(const lxbent *e) { return (uint8_t)e->name[29]; }
static inline uint8_t lxbentgroup(const lxbent *e) { return (uint8_t)e->name[30]; }

#define LX_BOOTHDR 48
#define LX_BENTSIZE 40
#define LX_BOOTNAME 31  // longest name room from offset 9 of an entry

// Common header of every NLS data object (92 bytes).
typedef struct lxnlsobj {
  uint32_t version;
  uint32_t release;
  uint32_t size;      // must not exceed the boot entry's size
  uint32_t word3;
  uint32_t word4;
  uint16_t type;
  uint16_t reserved;
  uint8_t reserved1;
  uint8_t magic;      // LX_OBJMAGIC, not checked
  uint8_t fmtflags;   // LX_FMT_*
  uint8_t reserved2[65];
} lxnlsobj;

#define LX_OBJHDR 92

// Offset of element i of the array field F of record R: with offsetof, how
// readers, writers and the built-in objects place the records' fields.
#define LX_ELEM(R, F, i) (offsetof(R, F) + sizeof(((R *)0)->F[0]) * (size_t)(i))

// The fixed part of a language object (type 0); its string pool follows at
// LXLAN_POOL. Texts are UTF-16, each at a 16-bit pool offset.
typedef struct lxlanobj {
  lxnlsobj hdr;         // 0
  uint32_t flags;       // 92
  uint16_t id;          // 96
  uint16_t ter;         // 98 default territory
  uint16_t cs;          // 100 default character set
  uint16_t h102;        // 102
  uint16_t sort;        // 104 default sort
  uint16_t text[94];    // 106 pool offsets of the texts (field 106 + 2k)
  uint16_t name;        // 294 pool offset of the ASCII name
  uint16_t h296[2];     // 296
  uint16_t width[2];    // 300 widths the information call reports
  uint16_t longest[4];  // 304 longest month, day, short month, short day name
  uint16_t h312[6];     // 312
} lxlanobj;
#define LXLAN_POOL 324

// The fixed part of a territory object (type 1); its string pool follows at
// LXTER_POOL.
typedef struct lxterobj {
  lxnlsobj hdr;         // 0
  uint32_t flags;       // 92
  uint16_t id;          // 96
  uint16_t num[17];     // 98 numeric settings (field 98 + 2k)
  uint16_t text[46];    // 132 pool offsets of the texts (field 132 + 2k)
  uint16_t name;        // 224 pool offset of the ASCII name
  uint16_t h226;        // 226
} lxterobj;
#define LXTER_POOL 228

// The fixed part of a linguistic sort object (type 3); its name follows at
// LXSRT_NAME.
typedef struct lxsrtobj {
  lxnlsobj hdr;         // 0
  uint16_t id;          // 92
  uint16_t opt[4];      // 94 option values, each valid under its flag bit
  uint16_t flags;       // 102
  uint16_t cmp_fn;      // 104 function number of the comparison
  uint16_t key_fn;      // 106 function number of the key builder
  uint16_t h108[22];    // 108
  uint32_t sect[49];    // 152 section offsets
  uint32_t h348;        // 348
} lxsrtobj;
#define LXSRT_NAME 352

// Field offsets of the object records as the files carry them, in both widths.
#ifdef __cplusplus
static_assert(sizeof(lxboot) == LX_BOOTHDR && sizeof(lxbent) == LX_BENTSIZE);
static_assert(offsetof(lxboot, first) == 20 && offsetof(lxboot, count) == 40);
static_assert(offsetof(lxboot, magic) == 44 && offsetof(lxboot, fmtflags) == 45);
static_assert(offsetof(lxbent, type) == 4 && offsetof(lxbent, id) == 6);
static_assert(offsetof(lxbent, namelen) == 8 && offsetof(lxbent, name) == 9);
static_assert(offsetof(lxbent, name) + 29 == 38 && offsetof(lxbent, name) + 30 == 39);
static_assert(sizeof(lxnlsobj) == LX_OBJHDR && offsetof(lxnlsobj, size) == 8);
static_assert(offsetof(lxnlsobj, type) == 20 && offsetof(lxnlsobj, magic) == 25);
static_assert(offsetof(lxnlsobj, fmtflags) == 26);
static_assert(sizeof(lxlanobj) == LXLAN_POOL && offsetof(lxlanobj, flags) == 92);
static_assert(offsetof(lxlanobj, id) == 96 && offsetof(lxlanobj, ter) == 98);
static_assert(offsetof(lxlanobj, cs) == 100 && offsetof(lxlanobj, sort) == 104);
static_assert(offsetof(lxlanobj, text) == 106 && offsetof(lxlanobj, name) == 294);
static_assert(offsetof(lxlanobj, width) == 300 && offsetof(lxlanobj, longest) == 304);
static_assert(sizeof(lxterobj) == LXTER_POOL && offsetof(lxterobj, flags) == 92);
static_assert(offsetof(lxterobj, id) == 96 && offsetof(lxterobj, num) == 98);
static_assert(offsetof(lxterobj, text) == 132 && offsetof(lxterobj, name) == 224);
static_assert(sizeof(lxsrtobj) == LXSRT_NAME && offsetof(lxsrtobj, id) == 92);
static_assert(offsetof(lxsrtobj, opt) == 94 && offsetof(lxsrtobj, flags) == 102);
static_assert(offsetof(lxsrtobj, cmp_fn) == 104 && offsetof(lxsrtobj, key_fn) == 106);
static_assert(offsetof(lxsrtobj, sect) == 152);
#endif

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

// ---- Locale texts at a cursor -----------------------------------------------

typedef struct lxmcur lxmcur;  // the character cursor (lxm.h)

// Writes text item item of the cursor's language handle at the cursor, in
// its character set, using at most size bytes, and advances the cursor.
// glo's nbytes2 receives the bytes written, nbytes the bytes of the text
// taken; status 6 when the text was cut (at a character boundary), 9 for an
// unknown item.
void lxlinfo(lxmcur *cur, size_t size, int item, lxglo *glo);

// ---- Linguistic sort sections, base letters, byte-string compare ----------

// Sections of a sort object: each lies in the data area at LXSRT_NAME, at
// the offset held in sect[k]; its 16-bit count is h108[k - 1].
enum {
  LXSRT_SPECIAL = 1,     // special letters: 8-byte records {char, value, 4 bytes}
  LXSRT_CONTRACT = 2,    // contracting pairs: 8-byte records {char, char, 4 bytes}
  LXSRT_SUPPER = 3,      // special upper case: 12-byte records (below)
  LXSRT_SLOWER = 4,      // special lower case
  LXSRT_SBASE = 5,       // special base letters
  LXSRT_MAJOR = 6,       // major keys: two-level table of key bytes
  LXSRT_MINOR = 7,       // minor keys
  LXSRT_BASE = 8         // base letters: two-level table of 16-bit values
};
#define LXSRT_REC8 8
#define LXSRT_REC12 12     // {char, second char, values...}, byte 10: any second
#define LXSRT_ANYSECOND 10
#define LXSRT_MULTI 4096   // sort ids from here on are multilingual
#define LXSRT_SPECIALSORT 0x20u  // sort flags: compared through the special sort table

// The named mapping BINARY_AI (type 4, id 16).
#define LXMAP_BINARY_AI 16

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
