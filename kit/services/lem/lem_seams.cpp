// Seams of the error manager. Each stands for a function of later work on the
// kit, named in its comment; until then the message cache holds no open
// message files.
#include <cstring>

#include "lemx_int.h"

extern "C" {

// Stands for lempin(cache, block) of the error message texts: records the
// block, clears the formatter interface, the count and the entries, and
// creates the owner identity and the mutex.
lem_msgcache *lem_seam_lempin(lem_msgcache *cache, lpm_meta *block) {
  if (!cache || !block) return nullptr;
  std::memset(cache, 0, sizeof *cache);
  cache->block = block;
  slts_ctx *thr = sltsini();
  if (!thr) return nullptr;
  int r = lwemmxi(thr, &cache->mx.mutex, &cache->mx.owner);
  sltster(thr);
  return r == 0 ? cache : nullptr;
}

// Stands for the message-cache teardown of lemfre: for every entry from the
// last to the first, lmsatrm on its handle, then freeing its cache area, its
// names and the handle. No entry is ever opened until the message texts
// exist.
void lem_seam_cache_close(lem_ctx *lem, lem_msgcache *cache) {
  (void)lem;
  cache->count = 0;
}

// Stands for lsfcln on the context's formatting context, which the message
// texts make on their first request.
void lem_seam_fmt_free(lem_ctx *lem) { (void)lem; }

}  // extern "C"
