// The own NLS environments and language handles of the error store and of
// the error manager's contexts.
#include <cstdlib>
#include <cstring>

#include "lem_int.h"
#include "lemx.h"
#include "lemx_int.h"
#include "lxh.h"

int lemnls_open(lwem_stack *st) {
  lxglo *g = lxlownenv(lxldini(nullptr, nullptr));
  if (!g) return -1;
  st->table = g->table;
  st->own_glo = g;
  st->glo = g;
  return 0;
}

void lemnls_env(lwem_stack *st) {
  if (st->glo || !st->table) return;
  if (!st->own_glo) {
    st->own_glo = static_cast<lxglo *>(std::calloc(1, sizeof(lxglo)));
    if (!st->own_glo) return;
  }
  lxinitc(st->own_glo, st->table, nullptr, 0);
  st->glo = st->own_glo;
}

void lemnls_close(lwem_stack *st) {
  if (st->own_glo) {
    if (st->own_glo->table) lxlterm(st->own_glo);
    if (st->glo == st->own_glo) st->glo = nullptr;
    std::free(st->own_glo);
  }
  st->own_glo = nullptr;
  st->table = nullptr;
}

int lemnls_langid(lwem_stack *st) {
  lemnls_env(st);
  if (!st->glo) return -1;
  auto h = static_cast<lxlangid *>(std::calloc(1, sizeof(lxlangid)));
  if (!h) return -1;
  lxlangid *r = st->lang_name ? lxhLaToId(st->lang_name, 0, h, 0, st->glo)
                              : lxhLangEnv(h, 0, st->glo);
  if (!r) {
    std::free(h);
    return -1;
  }
  lxhlinfo(h, 61, st->lang_code, sizeof st->lang_code, st->glo);
  st->lang = h;
  return 0;
}

void lemnls_langfree(lwem_stack *st) {
  std::free(st->lang);
  st->lang = nullptr;
}

uint32_t lemnls_lang_flags(const lxlangid *lang) { return lang ? lang->flags : 0; }

// ---------------------------------------------------------------------------
// The error manager's contexts

namespace {

lxglo *glo_room(lem_priv *priv) {
  if (!priv->glo_room) priv->glo_room = static_cast<lxglo *>(std::calloc(1, sizeof(lxglo)));
  return priv->glo_room;
}

lxlangid *lang_room(lem_priv *priv) {
  if (!priv->lang_room)
    priv->lang_room = static_cast<lxlangid *>(std::calloc(1, sizeof(lxlangid)));
  return priv->lang_room;
}

// A newly loaded shared table whose reference the context keeps.
lxlobj *load_table(lem_priv *priv) {
  uint32_t status = 0;
  lxlobj *table = lxlinit(nullptr, 1, &status);
  if (table) priv->flags |= LEM_OWN_NLS;
  return table;
}

}  // namespace

int lem_nls_own(lem_ctx *lem) {
  lem_priv *priv = lem->priv;
  if (!priv->glo) {
    lxglo *g = glo_room(priv);
    if (!g) return -1;
    lxlobj *table = load_table(priv);
    if (!table) return -1;
    lxinitc(g, table, nullptr, 0);
    priv->glo = g;
  }
  if (!priv->lang) {
    lxlangid *h = lang_room(priv);
    if (!h) return -1;
    if (lxhLangEnv(h, 0, priv->glo)) priv->lang = h;
  }
  return 0;
}

void lem_nls_end(lem_ctx *lem) {
  lem_priv *priv = lem->priv;
  if (!priv) return;
  if ((priv->flags & LEM_OWN_NLS) && priv->glo_room && priv->glo_room->table)
    lxlterm(priv->glo_room);
  priv->flags &= static_cast<uint8_t>(~LEM_OWN_NLS);
  if (priv->glo == priv->glo_room) priv->glo = nullptr;
  if (priv->lang == priv->lang_room) priv->lang = nullptr;
  std::free(priv->glo_room);
  std::free(priv->lang_room);
  priv->glo_room = nullptr;
  priv->lang_room = nullptr;
}

int lem_nls_prepare(lem_ctx *lem) {
  lem_priv *priv = lem->priv;
  bool loaded = false;
  if (!priv->glo) {
    lxglo *g = glo_room(priv);
    if (!g) return -1;
    lxlobj *table = lwemglm(priv->store);
    if (!table) {
      table = load_table(priv);
      if (!table) return -1;
      loaded = true;
    }
    lxinitc(g, table, lxldini(nullptr, nullptr), 0);
    priv->glo = g;
    lwemslm(priv->store, table, g);
  }
  if (!priv->lang) {
    lxlangid *h = lang_room(priv);
    if (!h) return -1;
    char *name = static_cast<char *>(std::calloc(1, 50));
    lxlangid *r;
    if (name) {
      lwemgfl(priv->store, name, 50);
      r = lxhLaToId(name, 0, h, 0, priv->glo);
      std::free(name);
    } else {
      r = lxhLangEnv(h, 0, priv->glo);
    }
    if (!r) return 0;  // no handle: texts are shown without one
    char code[4] = {};
    lxhlinfo(h, 61, code, sizeof code, priv->glo);
    if (loaded) lwemcln(priv->store, code);
    priv->lang = h;
  }
  return 0;
}

void lem_nls_env(lem_ctx *lem) {
  lem_priv *priv = lem->priv;
  if (priv->glo) return;
  lxlobj *table = lwemglm(priv->store);
  lxglo *g = table ? glo_room(priv) : nullptr;
  if (!g) return;
  lxinitc(g, table, nullptr, 0);
  priv->glo = g;
}
