// Error message texts: the message cache of a process block, the text of one
// error record ("%s-%05d: " and the formatted message, or the fallback texts)
// and of the calling thread's whole stack.
//
// Invariants of the message cache (lem_msgcache), under its mutex:
// - entries[0 .. count) are in use; each has a handle opened on a message
//   file (never one that found no file), its own copies of the names and,
//   for a context with a message directory, of the directory; the slots from
//   count on are zero.
// - count <= LEM_CACHE_ENTRIES; when all are in use the last slot is reused.
// - entries are keyed by product, facility, the store's language code and
//   the directory: two products with one facility name never share one.
#include <cassert>
#include <cstdlib>
#include <cstring>

#include "lem_fmt.h"
#include "lem_int.h"
#include "lemx.h"
#include "lemx_int.h"
#include "lms.h"
#include "lpm.h"
#include "lpmpkg.h"
#include "lxh.h"
#include "lxm.h"
#include "lxo.h"

namespace {

constexpr int kWork = LEM_TEXT_MAX + 1;  // work buffers of the text operations
constexpr int kNameRoom = 10;            // names are copied into buffers of this size
constexpr char kNoFile[] = "file not found";
constexpr char kArgs[] = "; arguments:";
constexpr char kOneArg[] = " [%s]";

lem_msgcache *cache_of(lem_ctx *lem) { return lem->cache; }

// The name's bytes: up to size or its NUL.
size_t name_len(const char *name, int size) {
  return size > 0 ? strnlen(name, static_cast<size_t>(size)) : std::strlen(name);
}

char *copy_name(const char *name, size_t len) {
  auto c = static_cast<char *>(std::malloc(len + 1));
  if (c) {
    std::memcpy(c, name, len);
    c[len] = 0;
  }
  return c;
}

bool same(const char *kept, const char *name, size_t len) {
  return kept && std::strlen(kept) == len && std::memcmp(kept, name, len) == 0;
}

void free_entry(lem_msgentry *e) {
  if (e->handle) {
    lmsatrm(e->handle);
    std::free(e->handle);
  }
  std::free(e->area);
  std::free(e->product);
  std::free(e->facility);
  std::free(e->dir);
  std::memset(e, 0, sizeof *e);
}

// Appends text to the NUL-terminated out (size bytes), cutting it to fit.
void append(char *out, size_t size, const char *text) {
  size_t have = strnlen(out, size);
  if (have + 1 >= size) return;
  size_t n = std::strlen(text);
  if (n > size - 1 - have) n = size - 1 - have;
  std::memcpy(out + have, text, n);
  out[have + n] = 0;
}

bool utf16(const lem_ctx *lem) { return (lemnls_lang_flags(lem->priv->lang) & LEM_LANG_UTF16) != 0; }

size_t text_len(const lem_ctx *lem, const char *text) {
  return utf16(lem) ? lxsulen(text) : std::strlen(text);
}

// The context's NLS environment on the store's table; false when there is
// no table.
bool have_env(lem_ctx *lem) {
  lem_nls_env(lem);
  return lem->priv->glo != nullptr;
}

// lempgmh and lempgsh: the entry of facility and product under dir.
lem_msgentry *lookup(LemCall &c, const char *who, const char *dir, const char *facility,
                     int facility_size, const char *product, int product_size) {
  lem_ctx *lem = c.lem;
  if (!facility || !product) {
    lem_own(c, LEM_BADARG, facility ? "prod" : "fac", who);
    return nullptr;
  }
  if (!have_env(lem)) {
    lem_own(c, LEM_MISSING, "lxmeta", who);
    return nullptr;
  }
  char code[4] = {};
  lwemgin(lem->priv->store, code, sizeof code);
  const size_t flen = name_len(facility, facility_size), plen = name_len(product, product_size);
  lem_msgcache *cache = cache_of(lem);
  assert(cache->count <= LEM_CACHE_ENTRIES);
  for (unsigned i = 0; i < cache->count && cache->entries[i].handle; ++i) {
    lem_msgentry &e = cache->entries[i];
    if (same(e.facility, facility, flen) && same(e.product, product, plen) &&
        std::memcmp(e.lang, code, sizeof code) == 0 &&
        (dir ? same(e.dir, dir, std::strlen(dir)) : e.dir == nullptr))
      return &e;
  }
  // a new entry: the next slot, or the last one once all are in use
  unsigned slot = cache->count < LEM_CACHE_ENTRIES ? cache->count++ : LEM_CACHE_ENTRIES - 1;
  lem_msgentry &e = cache->entries[slot];
  free_entry(&e);
  std::memcpy(e.lang, code, sizeof code);
  e.facility = copy_name(facility, flen);
  e.product = copy_name(product, plen);
  e.dir = dir ? copy_name(dir, std::strlen(dir)) : nullptr;
  e.handle = static_cast<lmshnd *>(std::calloc(1, sizeof(lmshnd)));
  if (!e.facility || !e.product || (dir && !e.dir) || !e.handle) {
    free_entry(&e);
    --cache->count;
    lem_own(c, LEM_CALLEE, who, "malloc");
    return nullptr;
  }
  size_t msgcache = 0;
  lmsaicmt(e.handle, e.dir, e.product, e.facility, 0, lem->priv->lang, lem->priv->glo, &msgcache,
           nullptr, nullptr, 0, nullptr);
  if (e.handle->msg_state == LMS_PNOFILE) {
    free_entry(&e);
    --cache->count;
    lem_own(c, LEM_CALLEE, who, "lmserr");
    return nullptr;
  }
  if (size_t size = lem->priv->cache_area) {
    e.area = std::malloc(size);
    if (e.area && lmsacin(e.area, size, 1) == 0)
      lmsacbn(e.handle, e.area, (lem->priv->flags & LEM_CACHE_MODE) != 0);
  }
  return &e;
}

int pgfm(LemCall &c, const char *facility, int facility_size, const char *product,
         int product_size, int number, char *out, int out_size) {
  lem_ctx *lem = c.lem;
  static constexpr char kWho[] = "lempgfm";
  if (out_size <= 0) {
    lem_own(c, LEM_BADARG, "length", kWho);
    return 0;
  }
  if (number == 0 || !facility || !product) {
    lem_own(c, LEM_BADARG, number == 0 ? "ec" : !facility ? "fac" : "prod", kWho);
    return 0;
  }
  if (!have_env(lem)) {
    lem_own(c, LEM_MISSING, "lxmeta", kWho);
    return 0;
  }
  char fac[kNameRoom + 1] = {};
  std::memcpy(fac, facility, name_len(facility, facility_size) < kNameRoom
                                 ? name_len(facility, facility_size)
                                 : kNameRoom);
  int pre = lem_fmtp(lem, out, out_size, fac, number);
  if (pre < 0) pre = static_cast<int>(strnlen(out, static_cast<size_t>(out_size)));
  if (pre > out_size - 1) pre = out_size - 1;
  out[pre] = 0;
  lem_msgentry *e = lem->msgdir ? lookup(c, "lempgsh", lem->msgdir, facility, facility_size,
                                         product, product_size)
                                : lookup(c, "lempgmh", nullptr, facility, facility_size, product,
                                         product_size);
  if (!e) {
    append(out, static_cast<size_t>(out_size), kNoFile);
    lem_own(c, LEM_BADSTATE, kWho, "Couldn't open message file");
    return 0;
  }
  char *text = out + pre;
  const size_t room = static_cast<size_t>(out_size - pre);
  lmsagbf(e->handle, number, text, room);
  if (e->handle->status == LMS_NOTFOUND) {
    auto remap = lem->callbacks ? reinterpret_cast<lem_remapfn>(lem->callbacks[0]) : nullptr;
    int other = remap ? remap(lem->priv->user, number) : 0;
    if (other != 0) lmsagbf(e->handle, other, text, room);
    if (other == 0 || e->handle->status == LMS_NOTFOUND) {
      lmsagbf(e->handle, number, text, room);
      lem_own(c, LEM_BADARG, kWho, "lmserr");
      return 0;
    }
  }
  return static_cast<int>(text_len(lem, out));
}

int pgem(LemCall &c, int index, char *buffer, int size) {
  lem_ctx *lem = c.lem;
  static constexpr char kWho[] = "lempgem";
  if (size < 1) {
    lem_own(c, LEM_BADARG, "length", kWho);
    return 0;
  }
  if (lempilx(lem, c.flag) != 0) {
    lem_own(c, LEM_CALLEE, kWho, "lempilx");
    return 0;
  }
  have_env(lem);
  if (lempllp(lem, c.flag) != 0 || !lem->priv->fmt) return 0;
  lwem_ctx *store = lem->priv->store;
  const int kind = lwemget(store, index);
  if (kind == LWEM_KIND_OS) {
    int n = slcgems(lwemgse(store, index), buffer, static_cast<size_t>(size));
    return n > 0 ? n : 0;
  }
  if (kind != LWEM_KIND_MSG) {
    lem_own(c, LEM_BADSTATE, kWho, "Unknown exception type");
    return 0;
  }
  lsf_arglist *args = lwemgep(store, index);
  int nargs = 0;
  if (args) {
    lwsfdal(lem->priv->thr, args);
    nargs = lwsfdcnt(args);
    lwsfdrl(lem->priv->thr, args);
  }
  char fac[kNameRoom], prod[kNameRoom];
  if (lwemgef(store, index, fac, sizeof fac) <= 0) {
    lem_own(c, LEM_BADSTATE, kWho, "NULL facility name");
    return 0;
  }
  if (lwemgpd(store, index, prod, sizeof prod) <= 0) {
    lem_own(c, LEM_BADSTATE, kWho, "NULL product name");
    return 0;
  }
  const int number = lwemgec(store, index);
  char text[kWork] = {};
  int len = pgfm(c, fac, static_cast<int>(std::strlen(fac)), prod,
                 static_cast<int>(std::strlen(prod)), number, text, kWork);
  if (len > 0) {
    text[len < LEM_TEXT_MAX ? len : LEM_TEXT_MAX] = 0;
  } else {
    len = static_cast<int>(std::strlen(text));
    if (nargs > 0) {
      if (len > 0 && text[len - 1] == '\n') text[len - 1] = 0;
      append(text, sizeof text, kArgs);
      for (int i = 0; i < nargs; ++i) append(text, sizeof text, kOneArg);
    }
  }
  int out_len = 0;
  const char *result = text;
  char work[kWork] = {};
  if (len > 0 && nargs > 0) {
    // formatted into 767 bytes: a longer text is cut there, never lost
    int r = lem_fmtpd(lem, work, LEM_TEXT_MAX, text, args);
    work[LEM_TEXT_MAX] = 0;
    if (r == LEM_FMT_FULL) r = static_cast<int>(text_len(lem, work));
    out_len = r > 0 ? r : 0;
    result = work;
  } else {
    out_len = static_cast<int>(text_len(lem, text));
  }
  if (out_len <= 0) return 0;
  if (out_len > size - 1) out_len = size - 1;
  std::memcpy(buffer, result, static_cast<size_t>(out_len));
  buffer[out_len] = 0;
  return out_len;
}

// Ends an output cursor: the shift-in a shifted cursor needs, then one NUL,
// or two for a UTF-16 language; never past the buffer.
void terminate(lxmcur *cur, char *buffer, int size, const lxlangid *lang) {
  const bool wide = lang && (lang->flags & LXH_F_WIDE);
  const bool shift = cur->shift_sensitive && cur->shifted && lang;
  const size_t need = (shift ? 1u : 0u) + (wide ? 2u : 1u);
  size_t at = static_cast<size_t>(reinterpret_cast<char *>(cur->pos) - buffer);
  if (at + need > static_cast<size_t>(size)) at = static_cast<size_t>(size) - need;
  if (shift) buffer[at++] = static_cast<char>(lang->shift_in);
  buffer[at] = 0;
  if (wide) buffer[at + 1] = 0;
}

// Writes one byte at the cursor (after the shift-in a shifted cursor needs).
void put_byte(lxmcur *cur, char byte) {
  if (cur->shift_sensitive && cur->shifted && cur->langid) {
    *cur->pos++ = cur->langid->shift_in;
    cur->shifted = 0;
  }
  *cur->pos++ = static_cast<unsigned char>(byte);
}

}  // namespace

void lem_cache_close(lem_msgcache *cache) {
  for (unsigned i = cache->count; i-- > 0;) free_entry(&cache->entries[i]);
  cache->count = 0;
}

extern "C" {

lem_msgcache *lempin(lem_msgcache *cache, lpm_meta *block) {
  if (!cache || !block) return nullptr;
  std::memset(cache, 0, sizeof *cache);
  cache->block = block;
  slts_ctx *thr = sltsini();
  if (!thr) return nullptr;
  int r = lwemmxi(thr, &cache->mx.mutex, &cache->mx.owner);
  sltster(thr);
  return r == 0 ? cache : nullptr;
}

int lempllp(lem_ctx *lem, int *flag) {
  if (!lem || !lem->priv || !lem->cache) return -1;
  LemCall c(lem, flag);
  BothLocks locks(lem);
  int r = 0;
  if (!lem->cache->lsf) {
    lem->cache->lsf = lpmloadpkg(lem->cache->block, "lsf");
    if (!lem->cache->lsf) {
      lem_own(c, LEM_CALLEE, "lempllp", "lpmloadpkg");
      r = -1;
    }
  }
  if (r == 0 && !lem->priv->fmt) {
    lem->priv->fmt = lem_fmtini(lem);
    if (!lem->priv->fmt) {
      lem_own(c, LEM_MISSING, "LSF context", "lempllp");
      r = -1;
    }
  }
  locks.release();
  c.finish();
  return r;
}

lem_msgentry *lempgmh(lem_ctx *lem, const char *facility, int facility_size, const char *product,
                      int product_size) {
  if (!lem || !lem->priv || !lem->cache) return nullptr;
  LemCall c(lem);
  BothLocks locks(lem);
  lem_msgentry *e = lookup(c, "lempgmh", nullptr, facility, facility_size, product, product_size);
  locks.release();
  c.finish();
  return e;
}

lem_msgentry *lempgsh(lem_ctx *lem, const char *facility, int facility_size, const char *product,
                      int product_size) {
  if (!lem || !lem->priv || !lem->cache) return nullptr;
  LemCall c(lem);
  BothLocks locks(lem);
  lem_msgentry *e =
      lookup(c, "lempgsh", lem->msgdir, facility, facility_size, product, product_size);
  locks.release();
  c.finish();
  return e;
}

int lempgfm(lem_ctx *lem, const char *facility, int facility_size, const char *product,
            int product_size, int number, char *out, int out_size) {
  if (!lem || !lem->priv || !lem->cache || !out) return 0;
  LemCall c(lem);
  BothLocks locks(lem);
  int r = pgfm(c, facility, facility_size, product, product_size, number, out, out_size);
  locks.release();
  c.finish();
  return r;
}

int lempgem(lem_ctx *lem, int index, char *buffer, int size) {
  if (!lem || !lem->priv || !lem->cache || !buffer) return 0;
  LemCall c(lem);
  BothLocks locks(lem);
  int r = pgem(c, index, buffer, size);
  locks.release();
  c.finish();
  return r;
}

int lemgem(lem_ctx *lem, int n, char *buffer, int size) {
  return n > 0 ? lempgem(lem, n, buffer, size) : 0;
}

int lembem(lem_ctx *lem, int all, char *buffer, int size) {
  if (!lem || !lem->priv || !lem->cache || !buffer) return 0;
  LemCall c(lem);
  BothLocks locks(lem);
  int result = 0;
  if (size < 1) {
    lem_own(c, LEM_BADARG, "length", "lembem");
    result = size;
  } else if (lempilx(lem, c.flag) != 0) {
    lem_own(c, LEM_CALLEE, "lembem", "lempilx");
  } else if (!all) {
    result = lemgem(lem, 1, buffer, size);
  } else {
    have_env(lem);
    lwem_ctx *store = lem->priv->store;
    const lxlangid *lang = lem->priv->lang;
    lxglo *glo = lem->priv->glo;
    const unsigned n = lemged(lem);
    lxmcur cur{};
    if (lang && glo) {
      lxmopen(buffer, static_cast<size_t>(size), &cur, lang, glo, 1);
    } else {
      cur.pos = cur.start = reinterpret_cast<unsigned char *>(buffer);
      cur.len = static_cast<size_t>(size);
    }
    // copies whole characters of text, at most max bytes
    auto copy = [&](const char *text, size_t max) {
      if (lang && glo) return lxoCpToOp(&cur, max, text, max, LXO_NULTERM, glo);
      std::memcpy(cur.pos, text, max);
      cur.pos += max;
      return max;
    };
    auto room = [&] {
      return static_cast<size_t>(size) - 1 - static_cast<size_t>(cur.pos - cur.start);
    };
    char work[kWork];
    for (unsigned k = 1; k <= n && room() > 0; ++k) {
      // records the lookups push meanwhile are newer: the walk skips them
      const int index = static_cast<int>(k + (lemged(lem) - n));
      int len = 0;
      if (lwemget(store, index) == LWEM_KIND_OS) {
        len = slcgems(lwemgse(store, index), work, room() < sizeof work ? room() : sizeof work);
      } else {
        len = lempgem(lem, index, work, kWork);
      }
      if (len <= 0) {
        lem_own(c, LEM_CALLEE, "lembem", "lemgem/slgems");
        break;
      }
      if (static_cast<size_t>(len) > room()) {
        copy(work, room());
        break;
      }
      copy(work, static_cast<size_t>(len));
      if (room() > 0 && work[len - 1] != '\n') put_byte(&cur, '\n');
    }
    result = static_cast<int>(cur.pos - cur.start);
    terminate(&cur, buffer, size, lang);
  }
  locks.release();
  c.finish();
  return result;
}

}  // extern "C"
