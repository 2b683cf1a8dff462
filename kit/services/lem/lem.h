// Error store: the process-wide, thread-aware stack of error records that
// every kit service writes into, with facilities, marks and barriers.
#ifndef QEN_KIT_CORE_LEM_H
#define QEN_KIT_CORE_LEM_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#include "los.h"
#include "lsf.h"
#include "slts.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct lpm_meta lpm_meta;
typedef struct lxlobj lxlobj;

// Owner-aware mutex: re-entrant for its owner without a count.
typedef struct lwem_mutex {
  slts_tid owner;
  slts_mutex mutex;
} lwem_mutex;

enum { LWEM_KIND_OS = 1, LWEM_KIND_MSG = 2, LWEM_KIND_NONE = 3 };

// Severity classes the error manager gives records.
enum { LWEM_CLASS_FATAL = 1, LWEM_CLASS_THROWN = 2, LWEM_CLASS_RECORDED = 3 };

// Longest product or facility name a facility accepts (the message-text
// builder reads names into 10-byte buffers).
#define LWEM_NAME_MAX 9

typedef struct lwem_record {
  char *facility;
  char *product;
  size_t facility_size;     // terminator included
  size_t product_size;
  int32_t kind;
  int32_t cls;
  slts_tid thread;
  uint8_t mark;
  uint8_t wide;             // names are UTF-16, with a two-byte terminator
  uint32_t depth;
  uint32_t base;
  uint32_t barrier;
  union {
    struct {
      int32_t number;
      lsf_arglist *args;
    } msg;
    sl_status os;
  } u;
  struct lwem_record *next;
  struct lwem_record *prev;
} lwem_record;

typedef struct lwem_sentinels {
  lwem_record *head;
  lwem_record *tail;
} lwem_sentinels;

typedef struct lwem_stack {
  lwem_sentinels *list;
  int32_t count;            // records of all threads
  lxlobj *table;            // NLS object table
  lxlangid *lang;           // language handle, made on first need
  lxglo *own_glo;           // the store's own NLS environment, when it made one
  lxglo *glo;               // NLS environment in use
  char *lang_name;          // LANGUAGE_TERRITORY.CHARSET given at creation
  char lang_code[4];        // language abbreviation
  lwem_mutex mx;
  uint8_t owns_nls;
} lwem_stack;

struct lwem_ctx {
  lpm_meta *block;          // set when the error manager attaches
  slts_ctx *thr;
  lwem_stack *store;
};

typedef struct lwem_facility {
  void **callbacks;         // slot 3: the error manager's throw callback
  char *facility;
  char *product;
  int32_t internal;
  int32_t fatal;
  lwem_mutex mx;
} lwem_facility;

lwem_ctx *lwemist(const char *lang_name, lxglo *glo, int own_nls);
int lwemdst(lwem_ctx *ctx);
lwem_facility *lwemfaa(lwem_ctx *ctx, void **callbacks, const char *product,
                       const char *facility, int internal, int fatal);
void lwemfaf(lwem_ctx *ctx, lwem_facility *fac);

int lwemrec(lwem_ctx *ctx, lwem_facility *fac, int number, const sl_status *st, int site,
            int cls, ...);
int lwemrev(lwem_ctx *ctx, lwem_facility *fac, int number, const sl_status *st, int site,
            int cls, va_list ap);
int lwemade(lwem_ctx *ctx, lwem_facility *fac, int number, const sl_status *st, int site,
            int cls, lsf_arglist *args);

unsigned lwemged(lwem_ctx *ctx);
lwem_record *lwemgne(lwem_ctx *ctx, int n);
int lwemvep(lwem_ctx *ctx, int n);
int lwemget(lwem_ctx *ctx, int n);
int lwemgec(lwem_ctx *ctx, int n);
sl_status *lwemgse(lwem_ctx *ctx, int n);
lsf_arglist *lwemgep(lwem_ctx *ctx, int n);
lsf_arglist *lwemgpa(lwem_ctx *ctx, lwem_record *rec);
int lwemgnp(lwem_ctx *ctx, int n, int i, void **out);
int lwemgef(lwem_ctx *ctx, int n, char *buf, int size);
int lwemgpd(lwem_ctx *ctx, int n, char *buf, int size);
int lwemgie(lwem_ctx *ctx, lwem_facility *fac);
int lwemgfe(lwem_ctx *ctx, lwem_facility *fac);

void lwemdec(lwem_ctx *ctx, int n);
void lwemces(lwem_ctx *ctx);
void lwemmrk(lwem_ctx *ctx);
void lwemnmk(lwem_ctx *ctx, int n);
void lwemcmk(lwem_ctx *ctx);
int lwemimk(lwem_ctx *ctx, int n);
void lwemdtm(lwem_ctx *ctx);
void lwembas(lwem_ctx *ctx);
void lwembar(lwem_ctx *ctx);

int lwemgin(lwem_ctx *ctx, char *buf, int size);
int lwemgfl(lwem_ctx *ctx, char *buf, int size);
lxlobj *lwemglm(lwem_ctx *ctx);
void lwemslm(lwem_ctx *ctx, lxlobj *table, lxglo *glo);
void lwemcln(lwem_ctx *ctx, const char code[4]);
int lwemilx(lwem_ctx *ctx);
int lwemsll(lwem_ctx *ctx, lsf_env *env);

int lwemmxi(slts_ctx *thr, slts_mutex *mutex, slts_tid *owner);
int lwemmxa(slts_ctx *thr, slts_mutex *mutex, slts_tid *owner);
void lwemmxr(slts_ctx *thr, slts_mutex *mutex, slts_tid *owner, int acquired);

#ifdef __cplusplus
}
#endif

#endif
