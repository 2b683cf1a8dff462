// The formatting context and the context layer of the typed argument lists.
//
// A formatting context (lsf_ctx) fixes what every formatting call needs
// besides its format and arguments: the language and NLS environment, the
// facility "VODUDED"/"LSF" under which the service records its own errors,
// whether calls are serialised by the context's lock, whether the service's
// errors stay on the error stack, and whether the caller's texts are UTF-16.
//
// The context-layer calls (lsfd*) work on argument lists under a context:
// they take the context's lock, turn a failing list status into an LSF error
// record, and hand lists out through a handle, the address of a cell that
// holds the list pointer.
#ifndef QEN_KIT_CORE_LSF_CTX_H
#define QEN_KIT_CORE_LSF_CTX_H

#include <stdarg.h>
#include <stdint.h>

#include "los.h"
#include "lsf.h"
#include "lxl.h"
#include "slts.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct lpm_product lpm_product;
typedef struct lpm_funcs lpm_funcs;
typedef struct lwem_facility lwem_facility;
typedef struct lxlobj lxlobj;
typedef struct lxnlsobj lxnlsobj;
typedef struct lxu_ctx lxu_ctx;

// The private area of package "lsf": its entry routine stores the product and
// the registered interface there.
typedef struct lsf_pkgarea {
  lpm_product *product;
  lpm_funcs *iface;
} lsf_pkgarea;

// The private part of a context. The language handle and the context's own
// NLS environment are held by value.
typedef struct lsf_priv {
  lsf_pkgarea *area;        // from the package handle; leads to the product
  lwem_facility *fac;       // "VODUDED"/"LSF", 500, 501
  lxlobj *nls_table;        // own NLS object table when the context loaded NLS
  const void *codes;        // format code table in use, set by each print
  lxlangid lang;            // language handle
  slts_ctx *thr;
  slts_mutex mutex;         // the context lock
  int32_t lock;             // 1: calls are serialised (creation flag 4 absent)
  slts_tid owner;           // thread that holds the lock, or none
  int32_t record;           // 1: errors stay on the stack (creation flag 2)
  int32_t utf16;            // 1: caller's texts are UTF-16 (creation flag 1)
  // UTF-16 mode only:
  lxu_ctx *cvt;             // conversion context of the client library
  uint32_t ratio;           // conversion ratio, handle's charset and UTF-16
  int32_t unit;             // 2, bytes per UTF-16 unit
  lxnlsobj *csobj;          // character-set object of the handle's charset
  lxglo own_glo;            // own NLS environment, when the context made one
  lxglo *glo;               // NLS environment in use: own_glo or the caller's
} lsf_priv;

struct lsf_ctx {
  lpm_funcs *pkg;           // package handle of "lsf"
  lsf_priv *priv;
};

// Creation flags of a formatting context.
enum { LSF_FLAG_UTF16 = 1, LSF_FLAG_RECORD = 2, LSF_FLAG_NOLOCK = 4 };

// Messages of facility LSF.
enum {
  LSF_NOMEM = 1,
  LSF_ARGZERO = 2,
  LSF_ENDINSERT = 3,
  LSF_NOPOSARG = 4,
  LSF_BADTYPE = 5,
  LSF_BUFFULL = 6,
  LSF_NONEXT = 7,
  LSF_TOOMANY = 8,
  LSF_FLAGTWICE = 9,
  LSF_BADCONV = 10,
  LSF_POSBELOW1 = 11,
  LSF_NOARGLIST = 12,
  LSF_NLSFAIL = 13,
  LSF_NOPAREN = 14,
  LSF_NEGLEN = 15,
  LSF_NOHANDLE = 16,
  LSF_BADPOSNUM = 17,
  LSF_BADWIDTH = 18,
  LSF_BADINSPOS = 19,
  LSF_BADPREC = 20,
  LSF_THREADS = 21,
  LSF_NOTACCEPTED = 22,
  LSF_DISPWIDTH = 23,
  LSF_INTERNAL = 500,
  LSF_FATAL = 501
};

// Status of the print engine when it is given no argument list; the status
// map turns it into LSF 12 like the list layer's statuses.
#define LSFST_NOARGLIST 6

// Site of the internal error that the argument lists report.
#define LSF_SITE_ARGLIST 304

// An argument handle: a cell that holds a list pointer.
typedef lsf_arglist *lsf_handle;

// Context layer of the typed argument lists.
lsf_handle *lsfdl(lsf_ctx *ctx, ...);
lsf_handle *lsfdlv(lsf_ctx *ctx, va_list ap);
lsf_handle *lsfdi(lsf_ctx *ctx, lsf_handle *handle, int position, ...);
lsf_handle *lsfdiv(lsf_ctx *ctx, lsf_handle *handle, int position, va_list ap);
int lsfdrm(lsf_ctx *ctx, lsf_handle *handle);
int64_t lsfdval(lsf_ctx *ctx, const lsf_entry *entries, int n);
int lsfdcnt(lsf_ctx *ctx, lsf_handle *handle);
int lsfdal(lsf_ctx *ctx, lsf_handle *handle);
int lsfdrl(lsf_ctx *ctx, lsf_handle *handle);

// Creating, changing and ending contexts. flags: LSF_FLAG_*.
lsf_ctx *lsfiniu(lpm_funcs *pkg, const lxlangid *lang, lxglo *glo, int flags);
lsf_ctx *lsfxtsi(lpm_funcs *pkg, const lxlangid *lang, int thread_safe, int record);
lsf_ctx *lsfini(lpm_funcs *pkg, const lxlangid *lang);
void lsfsli(lsf_ctx *ctx, const lxlangid *lang);
void lsfcln(lsf_ctx *ctx);
void lsfcln2(lsf_ctx *ctx, int end_nls);
void lsfcal(lsf_ctx *ctx);
void lsfcrl(lsf_ctx *ctx);
int lsfognp(lsf_ctx *ctx, int n, int k, void **value);
const char *lsfotptext(int code);
const char *lsfofgtext(int flag);
int lsfmai(lpm_product *prod, void *priv, int mode, int r1, int r2);

// The context's error bookkeeping.
void lsforec(lsf_ctx *ctx, int number, int site, const sl_status *status, ...);
void lsfohwf(lsf_ctx *ctx, int status, void *arg);
void lsfocdtm(lsf_ctx *ctx, unsigned depth);

#ifdef __cplusplus
}
#endif

#endif
