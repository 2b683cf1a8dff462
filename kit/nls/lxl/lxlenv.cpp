// The NLS environment record, the process-wide object table and the loading
// of objects on first use.
#include <cstdlib>
#include <cstring>

#include "lxf.h"
#include "lxl.h"
#include "lxlint.h"

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(lxglo) == 60 && offsetof(lxglo, status) == 28 && offsetof(lxglo, carry) == 43);
#else
static_assert(sizeof(lxglo) == 88 && offsetof(lxglo, status) == 56 && offsetof(lxglo, carry) == 71);
#endif
static_assert(offsetof(lxglo, repmark) == offsetof(lxglo, status) + 4);
static_assert(offsetof(lxglo, csnext) == offsetof(lxglo, status) + 14);
static_assert(sizeof(lxgcarry) == 16);

extern "C" {
lxlobj *slxlobj = nullptr;
lxldcb *slxlcbk = nullptr;
uintptr_t slxlobc = 0;
}

namespace {

void clear_results(lxglo *glo) {
  glo->nbytes = 0;
  glo->nbytes2 = 0;
  glo->status = 0;
  glo->repmark = 0;
  glo->csid[0] = glo->csid[1] = 0;
  glo->csidx[0] = glo->csidx[1] = 0;
  glo->csnext = 0;
  glo->carry.src_shift = glo->carry.dst_shift = 0;
  glo->carry.ncarried = glo->carry.npending = 0;
}

void make_shared(lxldcb *block, lxlobj *table) {
  slxlcbk = block;
  slxlobj = table;
  ++slxlobc;
}

bool is_static(const lxnlsobj *obj) {
  for (const lxnlsobj *s : lxd2022arr)
    if (obj == s) return true;
  return false;
}

lxlobj *fallback(lxldcb *block, int share, uint32_t *status) {
  *status = LXS_BUILTIN;
  lxlobj *t = lxlinid(block ? block : &lxldcbk);
  if (!t) {
    *status = LXS_NOMEM;
    return nullptr;
  }
  if (share) make_shared(block ? block : &lxldcbk, t);
  return t;
}

}  // namespace

extern "C" {

lxglo *lxinitc(lxglo *glo, lxlobj *table, lxldcb *block, int share) {
  clear_results(glo);
  lxlglock();
  bool chosen = true;  // given or defaulted, not taken from the shared state
  if (!block && slxlcbk) {
    block = slxlcbk;
    chosen = false;
  } else if (!block) {
    block = lxldini(nullptr, nullptr);
  }
  if (chosen && share) slxlcbk = block;
  glo->ldcb = block;
  if (table) {
    glo->table = table;
    // A table handed in for sharing becomes the shared one only when no
    // other shared table is live.
    if (share && (slxlobc == 0 || slxlobj == table)) {
      slxlobj = table;
      if (slxlobc == 0) slxlobc = 1;
    }
  } else if (slxlobj) {
    glo->table = slxlobj;
  } else {
    glo->table = lxlinit(glo->ldcb, 1, &glo->status);
  }
  glo->objtab = &glo->table;
  lxlgunlock();
  return glo;
}

lxlobj *lxlinit(lxldcb *block, int share, uint32_t *status) {
  lxlglock();
  *status = 0;
  lxlobj *result = nullptr;
  do {
    if (slxlfvinit() != 0) {
      result = fallback(block, share, status);
      break;
    }
    if (share && slxlobc) {
      ++slxlobc;
      result = slxlobj;
      break;
    }
    lxldcb *b = block ? block : &lxldcbk;
    b->loadboot_ctx = b;
    char name[512];
    lxfgnb(2, name, sizeof name);
    lxboot *boot = b->loadboot(b->loadboot_ctx, name, 0);
    if (!boot) {
      lxfgnb(1, name, sizeof name);
      boot = b->loadboot(b->loadboot_ctx, name, 1);
    }
    if (!boot) {
      result = fallback(block, share, status);
      break;
    }
    if (boot->magic != LX_BOOTMAGIC || boot->version < LX_MINVERSION) {
      if (b->freeboot) b->freeboot(b->freeboot_ctx, boot);
      result = fallback(block, share, status);
      break;
    }
    lxlobj *t = (lxlobj *)b->alloc(b->alloc_ctx, sizeof(lxnlsobj *) * boot->count);
    if (!t) {
      if (b->freeboot) b->freeboot(b->freeboot_ctx, boot);
      *status = LXS_NOMEM;
      break;
    }
    std::memset((void *)t, 0, sizeof(lxnlsobj *) * boot->count);
    lxlsetslot(t, 0, (lxnlsobj *)boot);
    for (unsigned i = 0; i < 4; ++i) {
      unsigned at = lxlcsbyid(boot, (uint16_t)(9999 - i));
      if (at) lxlsetslot(t, at, (lxnlsobj *)lxd2022arr[i]);
    }
    bool ok = true;
    for (unsigned ty = LX_TLANG; ty <= LX_TCS && ok; ++ty)
      ok = boot->first[ty] < boot->first[ty + 1] && lxbootent(boot, boot->first[ty])->id == 1;
    if (!ok) {
      lxdunld(b, t);
      result = fallback(block, share, status);
      break;
    }
    if (share) make_shared(b, t);
    slxdfsync(boot);
    result = t;
  } while (false);
  lxlgunlock();
  return result;
}

lxlobj *lxlinid(lxldcb *block) {
  const lxboot *src = lxdlbot;
  lxboot *boot = (lxboot *)block->alloc(block->alloc_ctx, lxdlbotsz);
  if (!boot) return nullptr;
  std::memcpy(boot, src, lxdlbotsz);
  boot->flags |= LX_BOOT_BUILTIN;
  lxlobj *t = (lxlobj *)block->alloc(block->alloc_ctx, sizeof(lxnlsobj *) * boot->count);
  if (!t) {
    if (block->free) block->free(block->free_ctx, boot);
    return nullptr;
  }
  std::memset((void *)t, 0, sizeof(lxnlsobj *) * boot->count);
  lxlsetslot(t, 0, (lxnlsobj *)boot);
  struct {
    unsigned type;
    const lxnlsobj *obj;
    uint32_t size;
  } const objs[] = {{LX_TLANG, lxdllan, lxdllansz}, {LX_TTERR, lxdlter, lxdltersz},
                    {LX_TCS, lxdlchr, lxdlchrsz}};
  for (auto &o : objs) {
    void *copy = block->alloc(block->alloc_ctx, o.size);
    if (!copy) {
      lxdunld(block, t);
      return nullptr;
    }
    std::memcpy(copy, o.obj, o.size);
    lxlsetslot(t, boot->first[o.type], (lxnlsobj *)copy);
  }
  return t;
}

uint32_t lxdunld(lxldcb *block, lxlobj *table) {
  if (!table) return 0;
  lxboot *boot = (lxboot *)lxlslot(table, 0);
  unsigned count = boot ? boot->count : 1;
  bool failed = false;
  if (boot && (boot->flags & LX_BOOT_BUILTIN)) {
    if (!block->free) return 0;
    for (unsigned i = count - 1; i >= 1; --i) {
      lxnlsobj *obj = lxlslot(table, i);
      if (obj && !is_static(obj)) {
        lxlsetslot(table, i, nullptr);
        if (!block->free(block->free_ctx, obj)) failed = true;
      }
    }
    if (!block->free(block->free_ctx, table)) failed = true;
    if (!block->free(block->free_ctx, boot)) failed = true;
    return failed ? LXS_FREEFAIL : 0;
  }
  if (count > 1 && block->unload) {
    block->unload_ctx = block;
    for (unsigned i = count - 1; i >= 1; --i) {
      lxnlsobj *obj = lxlslot(table, i);
      if (obj && !is_static(obj) && !block->unload(block->unload_ctx, &lxlslots(table)[i]))
        failed = true;
    }
  }
  if (block->free && !block->free(block->free_ctx, table)) failed = true;
  if (boot && block->freeboot && !block->freeboot(block->freeboot_ctx, boot)) failed = true;
  return failed ? LXS_FREEFAIL : 0;
}

int lxlfterm(lxglo *glo) {
  if (!glo) {
    slxlobj = nullptr;
    slxlobc = 0;
    slxlcbk = nullptr;
    return 1;
  }
  glo->status = 0;
  lxlobj *t = glo->table;
  if (!t) return 1;
  uint32_t r = lxdunld(glo->ldcb ? glo->ldcb : &lxldcbk, t);
  if (r) glo->status = r;
  if (t == slxlobj) {
    slxlobj = nullptr;
    slxlobc = 0;
    slxlcbk = nullptr;
  }
  glo->table = nullptr;
  return 1;
}

lxglo *lxlownenv(lxldcb *block) {
  uint32_t status = 0;
  lxlobj *table = lxlinit(nullptr, 1, &status);
  if (!table) return nullptr;
  auto g = static_cast<lxglo *>(std::calloc(1, sizeof(lxglo)));
  if (!g) {
    // The table's reference goes back through a transient environment.
    lxglo tmp{};
    lxinitc(&tmp, table, nullptr, 0);
    lxlterm(&tmp);
    return nullptr;
  }
  return lxinitc(g, table, block, 0);
}

int lxlterm(lxglo *glo) {
  lxlglock();
  bool freed = false;
  if (slxlobc != 0) {
    if (glo->table == slxlobj) {
      if (--slxlobc == 0) {
        lxlfterm(glo);
        freed = true;
      }
    } else {
      lxlfterm(glo);
      freed = true;
    }
  }
  if (!freed) glo->status = 0;
  lxlgunlock();
  return 1;
}

lxglo *lxGetGloPtr(const lxlangid *handle, lxglo *out) {
  lxglo *owner = handle->owner;
  if (!out) return owner;
  out->ldcb = owner->ldcb;
  out->table = owner->objtab ? *owner->objtab : owner->table;
  out->objtab = &out->table;
  clear_results(out);
  return out;
}

lxnlsobj *lxdgetobj(unsigned index, unsigned type, lxglo *glo) {
  index &= 0xFFFF;
  lxlobj *t = glo->objtab ? *glo->objtab : nullptr;
  const lxboot *boot = t ? (const lxboot *)lxlslot(t, 0) : nullptr;
  if (!boot || index == 0 || index >= boot->count) {
    glo->status = LXS_NOLOAD;
    return nullptr;
  }
  lxnlsobj *obj = lxlslot(t, index);
  if (obj) return obj;
  lxlglock();
  obj = lxlslot(t, index);
  if (!obj && lxdlobj(index, type, glo)) obj = lxlslot(t, index);
  lxlgunlock();
  return obj;
}

int lxdlobj(unsigned index, unsigned type, lxglo *glo) {
  lxlobj *t = *glo->objtab;
  const lxboot *boot = (const lxboot *)lxlslot(t, 0);
  char name[512];
  lxfgno(type, lxbootent(boot, index)->id, name, sizeof name);
  lxldcb *b = glo->ldcb ? glo->ldcb : &lxldcbk;
  b->load_ctx = b;
  b->unload_ctx = b;
  if (!b->load(b->load_ctx, name, t, index)) {
    glo->status = LXS_NOLOAD;
    return 0;
  }
  return 1;
}

}  // extern "C"
