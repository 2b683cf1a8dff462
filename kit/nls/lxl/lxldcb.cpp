// The loader callback block and its default callbacks, which read the NLS
// boot file and the data-object files of the installation.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lxc.h"
#include "lxl.h"
#include "lxlint.h"
#include "vzclient.h"


namespace {

constexpr size_t kNameBuf = 512;
constexpr uint32_t kMaxEntries = 0xFFFF;

inline uint16_t bswap16(uint16_t v) { return (uint16_t)((v >> 8) | (v << 8)); }
inline uint32_t bswap32(uint32_t v) { return __builtin_bswap32(v); }

lxldcb *blk(void *ctx) { return (lxldcb *)ctx; }

// The directory of lx1boot.nlb and the object files: ZUR_NLS10, else
// VIRUZE_HOME with "nls/data". 0 when neither is set.
bool data_dir(char *buf) {
  if (slxldgnv("ZUR_NLS10", buf, kNameBuf) > 0) return true;
  int n = slxldgnv("VIRUZE_HOME", buf, 504);
  if (n <= 0) return false;
  std::memcpy(buf + n, "nls/data", 9);
  return true;
}

bool profile_dir(char *buf) { return slxldgnv("ZUR_NLS_PROFILE33", buf, kNameBuf) > 0; }

// A boot block whose entries and type ranges lie inside it, with every name
// terminated within its room.
bool boot_sane(const lxboot *b, uint32_t size) {
  if (b->count < 1 || size < LX_BOOTHDR + (uint32_t)LX_BENTSIZE * b->count) return false;
  uint16_t prev = 1;
  for (unsigned t = 0; t < 10; ++t) {
    if (b->first[t] < prev || b->first[t] > b->count) return false;
    prev = b->first[t];
  }
  for (unsigned i = 1; i < b->count; ++i) {
    const lxbent *e = lxbootent(b, i);
    size_t room = e->type == LX_TTERR ? 29 : LX_BOOTNAME;
    if (strnlen(e->name, room) == room) return false;
  }
  return true;
}

// A block of 256 encoding-row records at at, and the data of every row,
// dense (256 entries) or sparse (a 32-byte bitmap, then one entry per set
// bit), lie within room bytes of the table t.
bool rows_fit(const uint8_t *t, uint64_t at, uint64_t room) {
  if (at + 256 * 8 > room) return false;
  for (unsigned r = 0; r < 256; ++r) {
    const uint8_t *rec = t + at + 8 * r;
    uint8_t rflags = rec[5];
    if (rflags == 0) continue;
    uint32_t off;
    std::memcpy(&off, rec, 4);
    uint64_t data = at + off, width = rflags & 0x0F, need = 256 * width;
    if (rflags & 0x20) {
      if (data + 32 > room) return false;
      unsigned bits = 0;
      for (unsigned k = 0; k < 32; ++k) bits += (unsigned)__builtin_popcount(t[data + k]);
      need = 32 + bits * width;
    }
    if (data + need > room) return false;
  }
  return true;
}

// The encoding rows (table 14) that the charset's encoder reads lie inside
// the object; the directory has been checked already.
bool encoder_rows_fit(const lxcsobj *cs) {
  if (cs->flags & LXCSF_STATEFUL) return true;  // encoded through its base charsets
  uint64_t start = (uint64_t)LXCS_DATA + cs->dir[LXCT_U2M];
  uint64_t room = cs->hdr.size - start;
  const uint8_t *t = lxcstab(cs, LXCT_U2M);
  lxcsu2mf enc = lxcsencoder(cs);
  if (enc == lxcsu2mx || enc == lxcsu2mGB18030) return rows_fit(t, 0, room);
  if (enc != lxcsu2mUTF32) return true;  // the encoder uses no table
  if (room < 1024) return false;
  for (unsigned p = 0; p < 256; ++p) {
    int32_t plane;
    std::memcpy(&plane, t + 4 * p, 4);
    if (plane != -1 && !rows_fit(t, 1024 + (uint64_t)(uint32_t)plane, room)) return false;
  }
  return true;
}

}  // namespace

unsigned lxlcsbyid(const lxboot *boot, uint16_t id) {
  unsigned lo = boot->first[LX_TCS], hi = boot->first[LX_TCS + 1];
  while (lo < hi) {
    unsigned mid = (lo + hi) / 2;
    uint16_t v = lxbootent(boot, mid)->id;
    if (v == id) return mid;
    if (v < id)
      lo = mid + 1;
    else
      hi = mid;
  }
  return 0;
}

size_t lxlobjmin(unsigned type) {
  switch (type) {
    case LX_TLANG: return LXLAN_POOL;
    case LX_TTERR: return LXTER_POOL;
    case LX_TCS: return LXCS_DATA;
    case LX_TSORT: return LXSRT_NAME;
    case LX_TMAP: return LXMAP_DATA;
    default: return LX_OBJHDR + 4;
  }
}

extern "C" {

lxldcb lxldcbk = {lxldalc, &lxldcbk, lxldfre, &lxldcbk, lxldlod, &lxldcbk,
                  lxldunl, &lxldcbk, lxldlbb, &lxldcbk, lxldfre, &lxldcbk};

lxldcb *lxldini(lxldcb *block, void *) {
  if (!block) return &lxldcbk;
  if (!block->alloc) block->alloc = lxldalc, block->alloc_ctx = block;
  if (!block->free) block->free = lxldfre, block->free_ctx = block;
  if (!block->load) block->load = lxldlod, block->load_ctx = block;
  if (!block->unload) block->unload = lxldunl, block->unload_ctx = block;
  if (!block->loadboot) block->loadboot = lxldlbb, block->loadboot_ctx = block;
  if (!block->freeboot) block->freeboot = block->free, block->freeboot_ctx = block->free_ctx;
  return block;
}

int lxldfcb(lxldcb *) { return 1; }

void *lxldalc(void *, size_t size) { return size ? std::malloc(size) : nullptr; }

int lxldfre(void *, void *mem) {
  std::free(mem);
  return 1;
}

int lxfgnb(unsigned digit, char *buf, size_t size) {
  return std::snprintf(buf, size, "%s%.1uboot", "lx", digit);
}

int lxfgno(unsigned type, unsigned id, char *buf, size_t size) {
  return std::snprintf(buf, size, "%s%.1x%.4x", "lx", type, id);
}

lxboot *lxldlbb(void *ctx, const char *name, int flag) {
  lxldcb *b = blk(ctx);
  char dir[kNameBuf];
  if (!(flag == 0 ? profile_dir(dir) : data_dir(dir))) return nullptr;
  slxfh *fh = slxcfot(dir, name, ".nlb", "r");
  if (!fh) return nullptr;
  lxboot hdr;
  if (slxcfread(fh, &hdr, sizeof hdr) != sizeof hdr) {
    slxcfct(fh);
    return nullptr;
  }
  bool swap = (hdr.fmtflags & LX_FMT_BIGENDIAN) != lxlhostorder();
  if (swap) {
    uint32_t *w = &hdr.version;
    for (int i = 0; i < 5; ++i) w[i] = bswap32(w[i]);
    for (int i = 0; i < 10; ++i) hdr.first[i] = bswap16(hdr.first[i]);
    hdr.count = bswap16(hdr.count);
    hdr.reserved = bswap16(hdr.reserved);
  }
  // The header's size must cover the header and its entries, and no more
  // than the most entries a table can have.
  if (hdr.count < 1 || hdr.size < LX_BOOTHDR + (uint32_t)LX_BENTSIZE * hdr.count ||
      hdr.size > LX_BOOTHDR + (uint32_t)LX_BENTSIZE * (kMaxEntries + 1)) {
    slxcfct(fh);
    return nullptr;
  }
  lxboot *boot = (lxboot *)b->alloc(b->alloc_ctx, hdr.size);
  if (!boot) {
    slxcfct(fh);
    return nullptr;
  }
  std::memcpy(boot, &hdr, sizeof hdr);
  size_t body = hdr.size - LX_BOOTHDR;
  bool ok = slxcfread(fh, (char *)boot + LX_BOOTHDR, body) == body;
  slxcfct(fh);
  if (ok) {
    for (unsigned i = 0; i < boot->count; ++i) {
      lxbent *e = lxbootent(boot, i);
      if (swap) {
        e->size = bswap32(e->size);
        e->type = bswap16(e->type);
        e->id = bswap16(e->id);
      }
      if (!(boot->fmtflags & LX_FMT_ASCII))
        slste2a(e->name, e->name, strnlen(e->name, e->type == LX_TTERR ? 29 : LX_BOOTNAME));
    }
    ok = boot_sane(boot, hdr.size);
  }
  if (!ok) {
    if (b->free) b->free(b->free_ctx, boot);
    return nullptr;
  }
  return boot;
}

slxfh *lxlfopn(lxldcb *, const char *name, int profile) {
  char dir[kNameBuf];
  if (!(profile ? profile_dir(dir) : data_dir(dir))) return nullptr;
  return slxcfot(dir, name, ".nlb", "r");
}

uint32_t lxlgsz(lxldcb *, const char *name, lxlobj *table) {
  if (!name || std::strlen(name) < 7 || name[2] < '0' || name[2] > '6') return 0;
  unsigned type = (unsigned)(name[2] - '0');
  int id = 0;
  if (lcvb2w(name + 3, 4, &id, 16) != 0) return 0;
  const lxboot *boot = (const lxboot *)lxlslot(table, 0);
  for (unsigned i = boot->first[type]; i < (type < 9 ? boot->first[type + 1] : boot->count); ++i) {
    const lxbent *e = lxbootent(boot, i);
    if (e->id == id) return e->size;
  }
  return 0;
}

int lxlfrd(lxldcb *, slxfh *fh, void *buffer, lxlobj *table, unsigned index, uint32_t size) {
  lxnlsobj *obj = (lxnlsobj *)buffer;
  bool ok = false;
  do {
    if (size <= LX_OBJHDR) break;
    if (slxcfread(fh, obj, LX_OBJHDR) != LX_OBJHDR) break;
    if ((obj->fmtflags & LX_FMT_BIGENDIAN) != lxlhostorder()) {
      uint32_t *w = &obj->version;
      for (int i = 0; i < 5; ++i) w[i] = bswap32(w[i]);
      obj->type = bswap16(obj->type);
      obj->reserved = bswap16(obj->reserved);
    }
    if (obj->size > size || obj->version < LX_MINVERSION) break;
    // The object must be of its entry's type and at least as long as the
    // fields of that type.
    const lxboot *boot = (const lxboot *)lxlslot(table, 0);
    if (index == 0 || index >= boot->count || obj->type != lxbootent(boot, index)->type) break;
    if (obj->size < lxlobjmin(obj->type)) break;
    size_t body = size - LX_OBJHDR;
    if (slxcfread(fh, (char *)buffer + LX_OBJHDR, body) != body) break;
    if (!lxladjust(obj, obj->size)) break;
    if (obj->type == LX_TCS) {
      // Every table of the directory must lie inside the object.
      const lxcsobj *cs = (const lxcsobj *)obj;
      size_t data = obj->size - LXCS_DATA;
      bool dirok = cs->dir[47] <= data;
      for (int k = 0; k < 47 && dirok; ++k) dirok = cs->dir[k] <= cs->dir[k + 1];
      if (!dirok || !encoder_rows_fit(cs)) break;
    }
    ok = true;
  } while (false);
  slxcfct(fh);
  return ok ? 1 : 0;
}

lxnlsobj *lxldlod(void *ctx, const char *name, lxlobj *table, unsigned index) {
  lxldcb *b = blk(ctx);
  uint32_t size = lxlgsz(b, name, table);
  void *buf = b->alloc(b->alloc_ctx, size);
  if (!buf) return nullptr;
  slxfh *fh = lxlfopn(b, name, 0);
  if (fh && lxlfrd(b, fh, buf, table, index, size)) {
    lxlsetslot(table, index, (lxnlsobj *)buf);
    return (lxnlsobj *)buf;
  }
  if (b->free) b->free(b->free_ctx, buf);
  return nullptr;
}

int lxldunl(void *ctx, lxnlsobj **slot) {
  lxldcb *b = blk(ctx);
  int r = 1;
  lxlglock();
  lxnlsobj *obj = __atomic_load_n(slot, __ATOMIC_ACQUIRE);
  if (obj) {
    __atomic_store_n(slot, (lxnlsobj *)nullptr, __ATOMIC_RELEASE);
    if (b->free) r = b->free(b->free_ctx, obj);
  }
  lxlgunlock();
  return r;
}

// ---- Default boot list ----------------------------------------------------

#define SLXDF_COUNT 459

static struct {
  lxboot hdr;
  lxbent ent[SLXDF_COUNT];
} slxdflbot;
lxnlsobj *slxdfoblt[SLXDF_COUNT];
static bool slxdfready, slxdfdone;

static void slxdfinit(unsigned lang, unsigned ter, unsigned cs, unsigned sort) {
  const lxboot *src = lxdlbot;
  slxdflbot.hdr = *src;
  slxdflbot.hdr.count = SLXDF_COUNT;
  slxdflbot.hdr.size = sizeof slxdflbot;
  slxdflbot.hdr.first[0] = (uint16_t)lang;
  slxdflbot.hdr.first[1] = (uint16_t)ter;
  slxdflbot.hdr.first[2] = (uint16_t)cs;
  for (unsigned t = 3; t < 10; ++t) slxdflbot.hdr.first[t] = (uint16_t)sort;
  std::memset(slxdflbot.ent, 0, sizeof slxdflbot.ent);
  for (unsigned i = 1; i < SLXDF_COUNT; ++i) {
    unsigned k = i < ter ? 1 : i < cs ? 2 : i < sort ? 3 : 0;
    slxdfoblt[i] = nullptr;
    if (!k) continue;
    slxdflbot.ent[i] = *lxbootent(src, k);
    slxdfoblt[i] = (lxnlsobj *)(k == 1 ? lxdllan : k == 2 ? lxdlter : lxdlchr);
  }
}

void slxdfsync(const lxboot *boot) {
  if (!slxdfready) {
    slxdfinit(1, 59, 172, 429);
    slxdfready = true;
  }
  if (slxdfdone || !boot || SLXDF_COUNT < boot->first[3]) return;
  if (boot->first[0] == slxdflbot.hdr.first[0] && boot->first[1] == slxdflbot.hdr.first[1] &&
      boot->first[2] == slxdflbot.hdr.first[2] && boot->first[3] == slxdflbot.hdr.first[3])
    return;
  slxdfinit(boot->first[0], boot->first[1], boot->first[2], boot->first[3]);
  slxdfdone = true;
}

}  // extern "C"
