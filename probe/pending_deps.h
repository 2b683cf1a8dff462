// Interfaces the health interface calls in the message-file service and the
// error manager's text service.
//
// WAITING FOR THE MESSAGE FILES: these declarations stand here until the
// message-file service (lmsaicmt, lmsatrm, lmshnd) and the error texts
// (lembem, slemdsp, lsfcln) are in the tree; then this file goes and their
// own headers are included instead. pending_deps.cpp holds the stand-ins.
#ifndef QEN_PROBE_PENDING_DEPS_H
#define QEN_PROBE_PENDING_DEPS_H

#include <stddef.h>
#include <stdint.h>

#include "lem.h"
#include "lemx.h"
#include "los.h"
#include "lsf.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct lxlangid lxlangid;
typedef struct lxglo lxglo;

// ---- Message files and error texts ---------------------------------------

// A message-file handle, caller-allocated (stand-in size).
typedef struct lmshnd {
  void *words[64];
} lmshnd;

lmshnd *lmsaicmt(lmshnd *handle, const char *dir, const char *product, const char *facility,
                 int ignored, lxlangid *lang, lxglo *glo, size_t *msg_cache,
                 size_t *cmt_cache, const char *path, int thread_safe, int *lock_failed);
void lmsatrm(lmshnd *handle);

int lembem(lem_ctx *lem, int all, char *buffer, int size);
void slemdsp(lem_ctx *lem, const char *text);
void lsfcln(lsf_ctx *ctx);

#ifdef __cplusplus
}
#endif

#endif
