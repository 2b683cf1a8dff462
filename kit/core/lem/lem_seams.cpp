// Seams of the error manager. Each stands for a function of later work on the
// kit, named in its comment; until then a context runs without an NLS
// environment or language handle of its own, and the message cache holds no
// open message files.
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

// Stands for lempint's own NLS set-up under the own-NLS flag:
// lxlinit(NULL, 1, status) and lxinitc on the inline lxglo when there is no
// environment, and lxhLangEnv(inline handle, 0, environment) when there is
// no language handle. 0, or -1 when lxlinit fails.
int lem_seam_nls_own(lem_ctx *lem) {
  (void)lem;
  return 0;
}

// Stands for lxlterm on the context's own NLS environment.
void lem_seam_nls_end(lem_ctx *lem) {
  if (!lem || !lem->priv) return;
  if (lem->priv->glo == lem->priv->glo_room) lem->priv->glo = nullptr;
  if (lem->priv->lang == lem->priv->lang_room) lem->priv->lang = nullptr;
}

// Stands for steps 1 and 2 of lempilx: without an NLS environment the store's
// object table (lwemglm) or a newly loaded one (lxlinit), lxldini on the
// inline lxglo and lwemslm; without a language handle lwemgfl into a 50-byte
// name, lxhLaToId (or lxhLangEnv), lxhlinfo item 61 and, for a new table,
// lwemcln. 0, or -1 when lxlinit fails.
int lem_seam_nls_setup(lem_ctx *lem) {
  (void)lem;
  return 0;
}

// Stands for lempsll's lxinitc of the inline lxglo on the store's object
// table when the context has no environment yet.
void lem_seam_nls_env(lem_ctx *lem) { (void)lem; }

// Stands for lsfcln on the context's formatting context, which the message
// texts make on their first request.
void lem_seam_fmt_free(lem_ctx *lem) { (void)lem; }

}  // extern "C"
