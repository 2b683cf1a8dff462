// Typed argument lists: (type code, value) pairs that carry the arguments of
// one formatted message, built from variable arguments, edited and read by
// position.
#ifndef QEN_KIT_CORE_LSF_H
#define QEN_KIT_CORE_LSF_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#include "slts.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct lwem_ctx lwem_ctx;
typedef struct lxlangid lxlangid;
typedef struct lxglo lxglo;
typedef struct lsf_ctx lsf_ctx;

// Type codes. How each is passed in a variable argument list:
//   LSFIVALUE   int64_t by value           LSFFVALUE  double by value
//   LSFDVOID    void * by value            LSFFUNCP   function pointer by value
//   LSFUB1..LSFEWORD, LSFTXT, LSFSBIG_ZUR, LSFUBIG_ZUR, LSFSB8, LSFUB8:
//               a pointer to the value, copied when the list is built
//   LSFSIZET    pointer to a size_t
//   LSFFLTP     pointer to a float        LSFDBLP    pointer to a double
//   LSFTXTP     pointer to NUL-terminated text
//   LSFBUFLN, LSFTXTLN, LSFTXTDP: pointer, then pointer to a uint64_t length
//   LSFBIGBUFLN, LSFBIGTXTLN, LSFBIGDPTXT: pointer, then pointer to an int64_t length
//   LSFORANUM   NUMBER pointer, then its length as an int, both by value
enum {
  LSFEND = 0,
  LSFIVALUE = 1,
  LSFFVALUE = 2,
  LSFUB1 = 3,
  LSFUB2 = 4,
  LSFUB4 = 5,
  LSFSB1 = 6,
  LSFSB2 = 7,
  LSFSB4 = 8,
  LSFEB1 = 9,
  LSFEB2 = 10,
  LSFEB4 = 11,
  LSFUWORD = 12,
  LSFSWORD = 13,
  LSFEWORD = 14,
  LSFSIZET = 15,
  LSFFLOAT = 16,      // kept form of LSFFLTP; not accepted in argument lists
  LSFFLTP = 17,
  LSFDOUBLE = 19,     // kept form of LSFDBLP; not accepted in argument lists
  LSFDBLP = 20,
  LSFTXT = 22,
  LSFDVOID = 23,
  LSFTXTP = 25,
  LSFBUFLN = 27,
  LSFBIGBUFLN = 28,
  LSFTXTLN = 30,
  LSFTXTDP = 31,
  LSFBIGTXTLN = 32,
  LSFBIGDPTXT = 33,
  LSFFUNCP = 35,
  LSFSBIG_ZUR = 36,
  LSFUBIG_ZUR = 37,
  LSFBAD = 38,        // a failed entry, and the error result of the list operations
  LSFSB8 = 39,
  LSFUB8 = 40,
  LSFORANUM = 41
};

#define LSF_MAXARGS 30

// Status values of the list layer; LSFST_OK is what callers preset.
enum {
  LSFST_NOMEM = 0,
  LSFST_ARGZERO = 1,
  LSFST_ENDINSERT = 2,
  LSFST_TOOMANY = 3,
  LSFST_NOEND = 4,
  LSFST_UNSUPPORTED = 5,
  LSFST_NEGLEN = 7,
  LSFST_NOLIST = 8,
  LSFST_BADPOS = 9,
  LSFST_BADTYPE = 10,
  LSFST_OK = 11
};

typedef void (*lsf_func)(void);

// One entry: the type code, the kept value in its leading bytes, and the
// length that belongs to it (owned copies and NUMBERs), else 0.
typedef struct lsf_entry {
  int32_t type;
  union {
    uint8_t bytes[8];
    int64_t i64;
    uint64_t u64;
    double dbl;
    float flt;
    void *ptr;
    lsf_func fn;
  } value;
  uint64_t length;
} lsf_entry;

typedef struct lsf_arglist {
  lsf_entry *entries;  // ends with an LSFEND entry; at most 30 arguments before it
  slts_mutex mutex;    // taken only by lwsfdal / lwsfdrl
} lsf_arglist;

typedef struct lsf_env {
  slts_ctx *thr;
  lxlangid *lang;
  lxglo *glo;
  int32_t utf16;      // nonzero: LSFTXTP texts arrive in UTF-16
  lsf_ctx *fmt;
} lsf_env;

// List layer.
int lwsfdsev(lwem_ctx *errs, lsf_env *env, lsf_entry *buf, int *status, int max,
             int *count, va_list ap);
lsf_arglist *lwsfdlv(lwem_ctx *errs, lsf_env *env, int *status, va_list ap);
lsf_arglist *lwsfdiv(lwem_ctx *errs, lsf_env *env, lsf_arglist *list, int position,
                     int *status, va_list ap);
lsf_arglist *lwsfdi(lwem_ctx *errs, lsf_env *env, lsf_arglist *list, int position,
                    int *status, ...);
int lwsfdrm(lwem_ctx *errs, lsf_env *env, lsf_arglist *list, int *status);
int lwsfder(lwem_ctx *errs, lsf_env *env, lsf_entry *entry, int *status);
int64_t lwsfdval(const lsf_entry *entries, int n, int *status);
int lwsfdcnt(const lsf_arglist *list);
int lwsfdal(slts_ctx *thr, lsf_arglist *list);
int lwsfdrl(slts_ctx *thr, lsf_arglist *list);
int lwsfdg(lwem_ctx *errs, lsf_env *env, void **out1, void **out2, int *status);

#ifdef __cplusplus
}
#endif

#endif
