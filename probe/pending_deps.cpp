// STAND-INS, WAITING FOR THE MESSAGE FILES.
//
// Minimal versions of what the health interface calls in the message-file
// service and in the error manager's text service, so that the probe links
// and its tests run before those parts are in the tree. They go, with
// pending_deps.h, when the message files (lmsaicmt, lmsatrm) and the error
// texts (lembem, slemdsp, lsfcln) arrive.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "lsf.h"
#include "pending_deps.h"
#include "psinfo.h"

extern "C" {

lmshnd *lmsaicmt(lmshnd *handle, const char *dir, const char *product, const char *facility,
                 int ignored, lxlangid *lang, lxglo *glo, size_t *msg_cache,
                 size_t *cmt_cache, const char *path, int thread_safe, int *lock_failed) {
  (void)dir, (void)product, (void)facility, (void)ignored, (void)lang, (void)glo;
  (void)path, (void)thread_safe;
  memset(handle, 0, sizeof *handle);
  if (msg_cache) *msg_cache = 0;
  if (cmt_cache) *cmt_cache = 0;
  if (lock_failed) *lock_failed = 0;
  return handle;
}

void lmsatrm(lmshnd *handle) { memset(handle, 0, sizeof *handle); }

void lsfcln(lsf_ctx *ctx) { (void)ctx; }

void slemdsp(lem_ctx *lem, const char *text) {
  (void)lem;
  puts(text);
}

// The text of the calling thread's records, newest first, in the form the
// error manager gives when the facility's message file is missing.
int lembem(lem_ctx *lem, int all, char *buffer, int size) {
  if (size < 1) return size;
  if (!lem || !lem->priv || !lem->priv->store) return -1;
  lwem_ctx *store = lem->priv->store;
  const int n = static_cast<int>(lwemged(store));
  const size_t cap = static_cast<size_t>(size);
  size_t used = 0;
  buffer[0] = '\0';
  auto put = [&](const char *text) {
    size_t len = strlen(text);
    size_t room = cap - 1 - used;
    if (len > room) len = room;
    memcpy(buffer + used, text, len);
    used += len;
    buffer[used] = '\0';
  };
  for (int i = 1; i <= (all ? n : (n > 0 ? 1 : 0)); ++i) {
    lwem_record *r = lwemgne(store, i);
    if (!r) break;
    char line[768];
    if (r->kind == LWEM_KIND_OS) {
      if (slcgems(&r->u.os, line, sizeof line) <= 0) break;
    } else {
      int at = snprintf(line, sizeof line, "%s-%05d: file not found", r->facility,
                        static_cast<int>(r->u.msg.number));
      lsf_arglist *args = r->u.msg.args;
      int count = args ? lwsfdcnt(args) : 0;
      if (count > 0 && at > 0 && static_cast<size_t>(at) < sizeof line)
        at += snprintf(line + at, sizeof line - static_cast<size_t>(at), "; arguments:");
      for (int a = 1; a <= count && at > 0 && static_cast<size_t>(at) < sizeof line; ++a) {
        const lsf_entry &e = args->entries[a - 1];
        char value[64];
        const char *text = value;
        if (e.type == LSFTXTP) {
          text = e.value.ptr ? static_cast<const char *>(e.value.ptr) : "";
        } else {
          int status = LSFST_OK;
          snprintf(value, sizeof value, "%lld",
                   static_cast<long long>(lwsfdval(args->entries, a, &status)));
        }
        at += snprintf(line + at, sizeof line - static_cast<size_t>(at), " [%s]", text);
      }
    }
    if (used + 1 >= cap) break;
    put(line);
    if (all && used > 0 && buffer[used - 1] != '\n' && used + 1 < cap) put("\n");
  }
  return static_cast<int>(used);
}

}  // extern "C"
