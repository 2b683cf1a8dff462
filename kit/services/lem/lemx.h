// Error manager: the kit's public error interface over the error store. It
// gives every process block and product an error-manager context, records
// errors, and throws them to try frames that the caller owns.
#ifndef QEN_KIT_CORE_LEMX_H
#define QEN_KIT_CORE_LEMX_H

#include <setjmp.h>
#include <stdarg.h>
#include <stdint.h>

#include "lem.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct lpm_funcs lpm_funcs;
typedef struct lpm_product lpm_product;
typedef struct lem_ctx lem_ctx;
typedef struct lmshnd lmshnd;

// Number of message files the shared cache keeps open.
#define LEM_CACHE_ENTRIES 24
// Machine words of a slot record.
#define LEM_SLOT_WORDS 102

// Messages of the error manager's own facility "VODUDED"/"LEM".
enum {
  LEM_BADARG = 30,
  LEM_CALLEE = 31,
  LEM_MISSING = 32,
  LEM_BADSTATE = 33,
  LEM_INTERNAL = 900,
  LEM_FATAL = 901
};
// Site of the internal error of a throw without a frame, and of an assertion
// of unknown severity.
#define LEM_SITE_NOFRAME 4
#define LEM_SITE_BADSEV 17091

// Flags of a context's private data.
#define LEM_OWN_CALLBACKS 0x1
#define LEM_OWN_CACHE 0x2
#define LEM_CACHE_MODE 0x4
#define LEM_OWN_STORE 0x8
#define LEM_OWN_NLS 0x10   // the context holds a reference to the shared NLS table

// Longest message text the error manager builds, terminator excluded.
#define LEM_TEXT_MAX 767

// One message file of the shared cache, keyed by product, facility,
// language code and message directory.
typedef struct lem_msgentry {
  char *product;
  char *facility;
  char lang[4];
  lmshnd *handle;     // the open message handle
  void *area;         // its cache area, or NULL
  char *dir;          // message directory, or NULL for the installation's
} lem_msgentry;

// The cache of open message files, shared by every context of a block.
typedef struct lem_msgcache {
  lpm_meta *block;
  lpm_funcs *lsf;     // the formatting package's interface, once loaded
  lwem_facility *lemfac;
  uint8_t count;
  lem_msgentry entries[LEM_CACHE_ENTRIES];
  lwem_mutex mx;
} lem_msgcache;

// A try frame, owned by the caller (usually on its stack): exactly the
// previous frame and the jump buffer. Nothing else is written into it; the
// value of a throw travels through the frame root's context (lem_thrown).
typedef struct lem_tryframe {
  struct lem_tryframe *prev;
  jmp_buf jb;
} lem_tryframe;

// A root of try frames: the innermost frame, the frame count and the context.
typedef struct lem_frame {
  lem_tryframe *inner;
  unsigned count;
  lem_ctx *lem;
} lem_frame;

// Private data of a context.
typedef struct lem_priv {
  lpm_meta *block;
  uintptr_t user;
  lwem_ctx *store;
  lsf_ctx *fmt;           // made on first text request
  lxlangid *lang_room;    // a language handle the context made itself
  lxlangid *lang;         // the language handle in use
  lxglo *glo_room;        // an NLS environment the context made itself
  lxglo *glo;             // the NLS environment in use
  size_t cache_area;
  uint8_t flags;
  slts_ctx *thr;
  lwem_mutex mx;
  int thrown;             // value of the last throw that landed in a frame
} lem_priv;

// The error-manager context: six machine words.
struct lem_ctx {
  lem_frame *root;        // the context's own frame root
  void **callbacks;       // four words; word 0: the message-number remap
  lem_priv *priv;
  lem_msgcache *cache;
  void **slot;            // the block's slot record
  const char *msgdir;
};

// Message-number remap of a callback block: (user data, number) -> number or 0.
typedef int (*lem_remapfn)(uintptr_t user, int number);
// Throw callback, slot 3 of a facility's table: (user data, frame count).
typedef void (*lem_throwcb)(uintptr_t user, unsigned count);

// Creation and teardown.
int lemrist(lpm_meta *block, void *slot, int mode);
lem_ctx *lempint(lem_ctx *lem, lpm_meta *block, void **callbacks, uintptr_t user,
                 const char *lang_name, lwem_ctx *store, lxglo *glo);
void lemfre(lem_ctx *lem);
int lemcis(lpm_meta *parent, void **out, lpm_product *product);
int lemcit(lpm_meta *parent, void *ignored, lpm_product *product);
lwem_facility *lemfaa(lem_ctx *lem, void **callbacks, const char *product, const char *facility,
                      int internal, int fatal);
void lemfaf(lem_ctx *lem, lwem_facility *facility);

// Recording. Typed arguments follow the class and end with LSFEND.
void lemrec(lem_ctx *lem, lwem_facility *facility, int number, int cls, ...);
void lemric(lem_ctx *lem, lwem_facility *facility, int site, int cls, ...);
void lemriv(lem_ctx *lem, lwem_facility *facility, int site, int cls, va_list ap);
void lemprc(lem_ctx *lem, lwem_facility *facility, int number, int site, const sl_status *st,
            int *flag, ...);

// Throwing.
void lemtec(lem_frame *root, lwem_facility *facility, int number, int cls, ...);
void lemtev(lem_frame *root, lwem_facility *facility, int number, int cls, va_list ap);
void lemtic(lem_frame *root, lwem_facility *facility, int site, int cls, ...);
void lemtiv(lem_frame *root, lwem_facility *facility, int site, int cls, va_list ap);
void lemtfe(lem_frame *root, lwem_facility *facility, int number);
void lemtfi(lem_frame *root, lwem_facility *facility, int site);
void lemtas(lem_frame *root, lwem_facility *facility, int site, int severity, ...);
void lemtav(lem_frame *root, lwem_facility *facility, int site, int severity, va_list ap);
void lemsec(lem_ctx *lem, lwem_facility *facility, int number, int cls, ...);
void lemsic(lem_ctx *lem, lwem_facility *facility, int site, int cls, ...);
void lemasi(lem_ctx *lem, lwem_facility *facility, int site, int severity, ...);
void lemptpo(lem_frame *root, lwem_facility *facility, int value, int *flag);

// Frames.
void lemfri(lem_ctx *lem, lem_frame *root);
// The value of the last throw that landed in a frame of root: the message
// number, the internal error's site or the fatal number; 0 when root has no
// context.
static inline int lem_thrown(const lem_frame *root) {
  return root && root->lem && root->lem->priv ? root->lem->priv->thrown : 0;
}
void lemptfs(lem_frame *root, lem_tryframe *frame);
void lemptfr(lem_frame *root, lem_tryframe *frame);

// Stack access.
unsigned lemged(lem_ctx *lem);
void lemdec(lem_ctx *lem, int n);
void lemces(lem_ctx *lem);
void lempbas(lem_ctx *lem);
void lempbar(lem_ctx *lem);

// Function addresses.
typedef void (*lem_recfn)(lem_ctx *, lwem_facility *, int, int, ...);
typedef void (*lem_throwfn)(lem_frame *, lwem_facility *, int, int, ...);
lem_recfn lempfrec(void);
lem_recfn lempfric(void);
lem_recfn lempfsec(void);
lem_recfn lempfsic(void);
lem_recfn lempfasi(void);
lem_throwfn lempftas(void);
lem_throwfn lempftec(void);
lem_throwfn lempftic(void);

// NLS set-up.
int lempilx(lem_ctx *lem, int *flag);
int lempsll(lem_ctx *lem, lsf_env *out, int *flag);

// Error message texts. The message cache of a block (lempin) keeps up to 24
// message files open, keyed by product, facility, language and directory.
lem_msgcache *lempin(lem_msgcache *cache, lpm_meta *block);
int lempllp(lem_ctx *lem, int *flag);
lem_msgentry *lempgmh(lem_ctx *lem, const char *facility, int facility_size, const char *product,
                      int product_size);
lem_msgentry *lempgsh(lem_ctx *lem, const char *facility, int facility_size, const char *product,
                      int product_size);
// The prefix "%s-%05d: " and the message text, or the fallback text; the
// length when the message was found, else 0.
int lempgfm(lem_ctx *lem, const char *facility, int facility_size, const char *product,
            int product_size, int number, char *out, int out_size);
// The text of record index (1: newest), cut to size - 1 and terminated; its
// length, or 0.
int lempgem(lem_ctx *lem, int index, char *buffer, int size);
int lemgem(lem_ctx *lem, int n, char *buffer, int size);
// all = 0: the newest record's text; else every record of the calling
// thread, newest first, one a line. Bytes written, terminator excluded.
int lembem(lem_ctx *lem, int all, char *buffer, int size);
// Writes text and a newline to standard output.
void slemdsp(lem_ctx *lem, const char *text);

// A protected region:
//
//   lem_tryframe fr;
//   LEMTRY(&root, &fr) {
//     ... code that may throw ...
//   } LEMCATCH(&root, &fr) {
//     ... lem_thrown(&root) is the thrown value; the frame is already popped ...
//   }
//
// No object with a non-trivial destructor may live in the protected code,
// and locals it changes that the handler reads must be volatile.
#define LEMTRY(root, frame) \
  if (setjmp((frame)->jb) == 0) { \
    lemptfs((root), (frame));
#define LEMCATCH(root, frame) \
    lemptfr((root), (frame)); \
  } else

#ifdef __cplusplus
}
#endif

#endif
