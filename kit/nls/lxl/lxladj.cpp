// Byte-order and character-code fix-ups of NLS data objects, applied in
// place right after an object file has been read. Every access is bounded by
// the object's size: an offset or count that points outside the object is
// skipped and the object is reported as damaged.
#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string_view>
#include <vector>

#include "lxf.h"
#include "lxl.h"
#include "lxlint.h"
#include "vzclient.h"

namespace {

struct Fix {
  uint8_t *b;
  size_t n;
  bool ok = true;

  bool in(uint64_t at, uint64_t len) {
    if (at > n || len > n - at) {
      ok = false;
      return false;
    }
    return true;
  }
  void h(uint64_t at) {
    if (in(at, 2)) std::swap(b[at], b[at + 1]);
  }
  void w(uint64_t at) {
    if (in(at, 4)) {
      std::swap(b[at], b[at + 3]);
      std::swap(b[at + 1], b[at + 2]);
    }
  }
  void hs(uint64_t at, size_t count) {
    for (size_t i = 0; i < count && ok; ++i) h(at + 2 * i);
  }
  void ws(uint64_t at, size_t count) {
    for (size_t i = 0; i < count && ok; ++i) w(at + 4 * i);
  }
  // Every 16-bit (or 32-bit) value from a to e.
  void hrange(uint64_t a, uint64_t e) {
    if (e > a && in(a, e - a)) hs(a, (e - a) / 2);
  }
  void wrange(uint64_t a, uint64_t e) {
    if (e > a && in(a, e - a)) ws(a, (e - a) / 4);
  }
  uint16_t rh(uint64_t at) {
    uint16_t v = 0;
    if (in(at, 2)) std::memcpy(&v, b + at, 2);
    return v;
  }
  uint32_t rw(uint64_t at) {
    uint32_t v = 0;
    if (in(at, 4)) std::memcpy(&v, b + at, 4);
    return v;
  }
  // Converts a NUL-terminated name (at most the rest of the object) to ASCII.
  void name(uint64_t at) {
    if (at >= n) {
      ok = false;
      return;
    }
    size_t len = strnlen((const char *)b + at, n - at);
    slste2a(b + at, b + at, len);
  }
  void bytes(uint64_t at, size_t len) {
    if (in(at, len)) slste2a(b + at, b + at, len);
  }
};

// Trie nodes: one 32-bit offset then four bytes each.
void nodes(Fix &f, size_t at, size_t count) {
  for (size_t i = 0; i < count && f.ok; ++i) f.w(at + 8 * i);
}

void travnd(Fix &f, size_t base, size_t node, unsigned depth, size_t leaflen,
            std::set<size_t> &seen) {
  if (depth > 4 || !f.in(node, 256 * 8)) {
    f.ok = false;
    return;
  }
  for (unsigned s = 0; s < 256 && f.ok; ++s) {
    size_t slot = node + 8 * s;
    uint32_t off = f.rw(slot);
    if (off == 0) continue;
    size_t at = base + off;
    if (f.b[slot + 4] != 1) {
      travnd(f, base, at, depth + 1, leaflen, seen);
    } else if (seen.insert(at).second) {
      if (f.b[slot + 5])
        f.ws(at, leaflen);
      else
        f.hs(at, leaflen);
    }
  }
}

// Trie nodes (8 bytes) and the bytes of a trie's node area.
constexpr size_t kNode = 8;
// Table 0: 256 16-bit display-map values.
constexpr size_t kDisplayBytes = 256 * 2;

void fix_charset(Fix &f) {
  f.h(offsetof(lxcsobj, id));
  f.h(offsetof(lxcsobj, w94));
  f.w(offsetof(lxcsobj, flags));
  for (size_t o : {offsetof(lxcsobj, rowlen), LX_ELEM(lxcsobj, h102, 0), LX_ELEM(lxcsobj, h102, 1),
                   LX_ELEM(lxcsobj, h102, 2), offsetof(lxcsobj, h122)})
    f.h(o);
  for (size_t o : {offsetof(lxcsobj, mb_repl), offsetof(lxcsobj, pad), offsetof(lxcsobj, w132),
                   offsetof(lxcsobj, w136)})
    f.w(o);
  if (!f.ok) return;
  uint16_t id = f.rh(offsetof(lxcsobj, id));
  uint32_t flags = f.rw(offsetof(lxcsobj, flags));
  f.hs(offsetof(lxcsobj, bclass), 256);
  // the AL16UTF16 object keeps 16-bit property values over its case bytes
  if (id == LXCS_AL16UTF16) f.hs(offsetof(lxcsobj, upper), 256);
  f.hs(offsetof(lxcsobj, sbu), 256);
  f.hs(offsetof(lxcsobj, sb799), 256);
  f.hs(offsetof(lxcsobj, counts), LXCT_COUNT);
  f.ws(offsetof(lxcsobj, dir), LXCT_COUNT);
  if (!f.ok) return;
  auto cnt = [&](unsigned k) { return (size_t)f.rh(LX_ELEM(lxcsobj, counts, k)); };
  auto dir = [&](unsigned k) { return (size_t)f.rw(LX_ELEM(lxcsobj, dir, k)); };
  const size_t d = LXCS_DATA;
  for (unsigned k = 0; k < LXCT_COUNT - 1 && f.ok; ++k) {
    size_t s = d + dir(k), e = d + dir(k + 1);
    if (e <= s) continue;
    if (!f.in(s, e - s)) return;
    switch (k) {
      case LXCT_DISPLAY:
        f.hrange(s, std::min(e, s + kDisplayBytes));
        break;
      case LXCT_CLASS:
        nodes(f, s, cnt(LXCN_CLASSNODES) / kNode);
        f.hrange(s + cnt(LXCN_CLASSNODES), e);
        break;
      case LXCT_EQUIV:
      case 5:
      case LXCT_COMBINING:
      case LXCT_UPPER:
      case LXCT_LOWER:
      case 10:
      case 11:
      case 16:
      case LXCT_NUMERIC:
        f.wrange(s, e);
        break;
      case LXCT_M2U:
        nodes(f, s, cnt(LXCN_M2UNODES));
        if (flags & LXCSF_LEAF32) {
          std::set<size_t> seen;
          uint8_t hi = f.b[offsetof(lxcsobj, lead_lo)], lo = f.b[offsetof(lxcsobj, trail_lo)];
          size_t leaflen = hi >= lo ? (size_t)(hi - lo + 1) : 0;
          travnd(f, s, s, 1, leaflen, seen);
        } else {
          f.hrange(flags & LXCSF_TRIE ? s + kNode * cnt(LXCN_M2UNODES) : s, e);
        }
        break;
      case LXCT_PROP:
        nodes(f, s, cnt(LXCN_PROPNODES) / kNode);
        f.hrange(s + cnt(LXCN_PROPNODES), e);
        break;
      case LXCT_U2M: {
        auto rows = [&](size_t at) {
          for (unsigned r = 0; r < LXCSR_ROWS && f.ok; ++r) {
            f.w(at + sizeof(lxcsrow) * r + offsetof(lxcsrow, at));
            f.h(at + sizeof(lxcsrow) * r + offsetof(lxcsrow, h6));
          }
        };
        if (flags & LXCSF_LEAF32) {
          f.ws(s, LXCSR_PLANES);
          for (unsigned p = 0; p < LXCSR_PLANES && f.ok; ++p) {
            uint32_t off = f.rw(s + 4 * p);
            if (off != LXCSR_NOPLANE) rows(s + 4 * LXCSR_PLANES + off);
          }
        } else {
          rows(s);
        }
        break;
      }
      case LXCT_COMPOSE:
        f.hrange(s, e);
        break;
      case LXCT_KEY18:
        nodes(f, s, cnt(LXCN_KEY18NODES) / kNode);
        f.hrange(s + cnt(LXCN_KEY18NODES), e);
        break;
      default:
        break;
    }
  }
}

// The flags word, every 16-bit field from hfirst up to the pool, and the
// pool's texts from the first text's start to the name's.
void fix_pool(Fix &f, size_t flags, size_t hfirst, size_t pool, size_t from, size_t to) {
  f.w(flags);
  f.hs(hfirst, (pool - hfirst) / 2);
  if (!f.ok) return;
  size_t a = pool + f.rh(from), e = pool + f.rh(to);
  f.hrange(a, e);
}

// 16-bit fields at the start of a special casing record (lxsrtrec12).
constexpr size_t kSpecialHalves = offsetof(lxsrtrec12, match) / 2;

void fix_sort(Fix &f) {
  f.hs(offsetof(lxsrtobj, id), (offsetof(lxsrtobj, sect) - offsetof(lxsrtobj, id)) / 2);
  f.ws(offsetof(lxsrtobj, sect), LX_NELEM(lxsrtobj, sect));
  if (!f.ok) return;
  const size_t d = LXSRT_NAME;
  // section k and its count
  auto s = [&](unsigned k) { return d + f.rw(LX_ELEM(lxsrtobj, sect, k)); };
  auto c = [&](unsigned k) { return (size_t)f.rh(LX_ELEM(lxsrtobj, h108, k - 1)); };
  // Special letters and contracting pairs: their two 16-bit values.
  constexpr size_t kRec8Halves = offsetof(lxpsplet, major1) / 2;
  static_assert(offsetof(lxpcpair, major) == offsetof(lxpsplet, major1));
  for (unsigned k = LXSRT_SPECIAL; k <= LXSRT_CONTRACT; ++k)
    for (size_t r = 0; r < c(k) && f.ok; ++r) f.hs(s(k) + LXSRT_REC8 * r, kRec8Halves);
  // Special upper-case, lower-case and base-letter entries share one record:
  // two keys and three outputs, 16 bits each, then two counting bytes.
  for (unsigned k = LXSRT_SUPPER; k <= LXSRT_SBASE; ++k)
    for (size_t r = 0; r < c(k) && f.ok; ++r) f.hs(s(k) + LXSRT_REC12 * r, kSpecialHalves);
  // The block entries of the two-level tables; the base letters' tables of
  // 16-bit values follow their entries.
  for (unsigned k = LXSRT_MAJOR; k <= LXSRT_BASE; ++k)
    for (size_t r = 0; r < c(k) && f.ok; ++r)
      f.h(s(k) + sizeof(lxsrtblk) * r + offsetof(lxsrtblk, off));
  if (c(LXSRT_BASE))
    f.hs(s(LXSRT_BASE) + sizeof(lxsrtblk) * c(LXSRT_BASE), LXSRT_BASETAB * c(LXSRT_BASE));
  if (s(LXSRT_S9) < s(LXSRT_S10)) {
    const size_t at = s(LXSRT_S9);
    f.hs(at + offsetof(lxsrts9, h), LX_NELEM(lxsrts9, h));
    f.w(at + offsetof(lxsrts9, nbytes));
    size_t m = f.rw(at + offsetof(lxsrts9, nbytes));
    f.ws(at + sizeof(lxsrts9), m / sizeof(uint32_t));
  }
  for (size_t a = s(LXSRT_S10); a + sizeof(lxsrts10) <= s(LXSRT_S11) && f.ok; a += sizeof(lxsrts10))
    f.w(a + offsetof(lxsrts10, w));
  f.wrange(s(LXSRT_S11), s(LXSRT_S12));
  for (size_t a = s(LXSRT_S12); a + sizeof(lxsrts12) <= s(LXSRT_S13) && f.ok; a += sizeof(lxsrts12))
    f.w(a + offsetof(lxsrts12, w));
  f.wrange(s(LXSRT_S13), s(LXSRT_S14));
}

enum class Map { Other, Iso, Superset, Email, Timezones, Currencies, Entities, BinaryAi, CaseFold };

// The kind of a mapping object by its number or its name, which is read
// only within the object; a name outside it marks the object damaged.
Map map_kind(Fix &f, uint64_t nm, uint16_t objnum) {
  if (objnum == LXMAP_BINARY_AI) return Map::BinaryAi;
  if (objnum == LXMAP_CASEFOLD) return Map::CaseFold;
  if (!f.in(nm, 1)) return Map::Other;
  std::string_view name((const char *)f.b + nm, strnlen((const char *)f.b + nm, f.n - nm));
  struct {
    const char *n;
    Map k;
  } const names[] = {{"ISO_VIRUZE_NAME_MAPPING", Map::Iso}, {"CHAR_SUPERSET_MAPPING", Map::Superset},
                     {"EMAIL_CHARSET_MAPPING", Map::Email}, {"TIMEZONES", Map::Timezones},
                     {"CURRENCIES", Map::Currencies},       {"CHAR_ENTITIES", Map::Entities},
                     {"BINARY_AI", Map::BinaryAi},          {"CASE_FOLDING", Map::CaseFold}};
  for (auto &x : names)
    if (name == x.n) return x.k;
  return Map::Other;
}

uint64_t map_name_at(Fix &f, uint16_t objnum) {
  uint32_t w46 = f.rw(LX_ELEM(lxmapobj, dir, LXMAP_W_NAME));
  return (objnum == LXMAP_BINARY_AI || objnum == LXMAP_CASEFOLD) ? w46 : LXMAP_DATA + (uint64_t)w46;
}

// Reads a list head (lxmaplist) at at.
struct ListHdr {
  size_t count;
  uint8_t a, b;
};
ListHdr list_hdr(Fix &f, size_t at) {
  ListHdr l{f.rh(at + offsetof(lxmaplist, count)), 0, 0};
  if (f.in(at, sizeof(lxmaplist))) {
    l.a = f.b[at + offsetof(lxmaplist, a)];
    l.b = f.b[at + offsetof(lxmaplist, b)];
  }
  return l;
}

// Record r of size rs of the list whose head is at at.
constexpr size_t list_rec(size_t at, size_t r, size_t rs) {
  return at + sizeof(lxmaplist) + r * rs;
}

void fix_map_order(Fix &f, Map kind) {
  const size_t d = LXMAP_DATA;
  auto wv = [&](unsigned k) { return (size_t)f.rw(LX_ELEM(lxmapobj, dir, k)); };
  switch (kind) {
    case Map::Iso: {
      for (unsigned k : {1u, 2u}) {
        size_t at = d + wv(k);
        f.h(at);
        ListHdr l = list_hdr(f, at);
        size_t rs = (size_t)l.a + l.b;
        for (size_t r = 0; r < l.count && f.ok && rs; ++r) f.h(list_rec(at, r, rs));
      }
      std::vector<unsigned> lists = {3, 5};
      if (wv(11) != wv(12)) lists.push_back(11);
      for (unsigned k : lists) {
        size_t at = d + wv(k);
        f.h(at);
        size_t count = f.rh(at);
        for (size_t r = 0; r < count && f.ok; ++r)
          f.h(list_rec(at, r, sizeof(lxmapiso)) + offsetof(lxmapiso, value));
      }
      f.h(d + wv(7));
      f.h(d + wv(8));
      break;
    }
    case Map::Superset: {
      size_t at = d + wv(1);
      f.h(at);
      size_t count = f.rh(at);
      f.hs(list_rec(at, 0, 0), count * sizeof(lxmappair) / sizeof(uint16_t));
      break;
    }
    case Map::Email:
      for (unsigned k = 1; k <= 4 && f.ok; ++k) {
        size_t at = d + wv(k);
        f.h(at);
        ListHdr l = list_hdr(f, at);
        size_t rs = (2 * ((size_t)l.a + l.b + 1) + 3) / 4 * 4;
        f.hs(list_rec(at, 0, 0), l.count * rs / sizeof(uint16_t));
      }
      break;
    case Map::Timezones:
    case Map::Currencies:
    case Map::Entities:
      f.h(d + wv(1));
      break;
    case Map::BinaryAi:
    case Map::CaseFold: {
      size_t at = wv(0);
      uint64_t name = map_name_at(f, kind == Map::BinaryAi ? LXMAP_BINARY_AI : LXMAP_CASEFOLD);
      f.ws(at, sizeof(lxfoldarea) / sizeof(uint32_t));
      // Then every word from BINARY_AI's first block on; the case-folding
      // table's second level starts right after the area, so that no value
      // is reversed twice.
      static_assert(offsetof(lxfoldarea, first) + LXFOLD_LEVEL2 == sizeof(lxfoldarea));
      size_t from = at + (kind == Map::BinaryAi ? LXFOLD_BALEVEL2 + LXFOLD_BABLOCK0
                                                : sizeof(lxfoldarea));
      f.wrange(from, name);
      break;
    }
    case Map::Other:
      break;
  }
}

void fix_map_names(Fix &f, Map kind) {
  const size_t d = LXMAP_DATA;
  auto wv = [&](unsigned k) { return (size_t)f.rw(LX_ELEM(lxmapobj, dir, k)); };
  auto slots = [&](size_t a, size_t e) {
    for (size_t at = d + a; at + 4 <= d + e && f.in(at, 4); at += 4)
      f.bytes(at, strnlen((const char *)f.b + at, 4));
  };
  switch (kind) {
    case Map::Iso: {
      for (unsigned k : {1u, 2u}) {
        size_t at = d + wv(k);
        ListHdr l = list_hdr(f, at);
        size_t rs = (size_t)l.a + l.b;
        if (rs <= 2 || !f.in(list_rec(at, 0, 0), l.count * rs)) continue;
        bool ended = true;  // every name ends inside its record
        for (size_t r = 0; r < l.count; ++r) {
          size_t len = strnlen((const char *)f.b + list_rec(at, r, rs) + 2, rs - 2);
          f.bytes(list_rec(at, r, rs) + 2, len);
          ended = ended && len < rs - 2;
        }
        if (k != 1) continue;
        // The sort compares the names as strings.
        if (!ended) {
          f.ok = false;
          return;
        }
        std::qsort(f.b + list_rec(at, 0, 0), l.count, rs, lxdnip_name_cmp);
      }
      std::vector<unsigned> lists = {3, 5};
      if (wv(11) != wv(12)) lists.push_back(11);
      for (unsigned k : lists) {
        size_t at = d + wv(k);
        size_t count = f.rh(at);
        for (size_t r = 0; r < count; ++r) {
          size_t rec = list_rec(at, r, sizeof(lxmapiso));
          if (!f.in(rec, sizeof(lxmapiso))) break;
          f.bytes(rec, strnlen((const char *)f.b + rec, sizeof(lxmapiso::name)));
        }
      }
      slots(wv(4), wv(5));
      slots(wv(6), wv(7));
      slots(wv(12), wv(13));
      {
        size_t at = d + wv(7);
        ListHdr l = list_hdr(f, at);
        size_t rs = (size_t)l.a + l.b;
        for (size_t r = 0; r < l.count && f.ok && rs > 8; ++r) {
          size_t rec = list_rec(at, r, rs);
          if (!f.in(rec, rs)) break;
          f.bytes(rec, strnlen((const char *)f.b + rec, 8));
          f.bytes(rec + 8, strnlen((const char *)f.b + rec + 8, rs - 8));
        }
      }
      {
        size_t at = d + wv(8);
        size_t count = f.rh(at);
        for (size_t r = 0; r < count && f.ok; ++r) {
          size_t rec = list_rec(at, r, sizeof(lxmapiso8));
          if (!f.in(rec, sizeof(lxmapiso8))) break;
          for (size_t at8 : {rec + offsetof(lxmapiso8, first), rec + offsetof(lxmapiso8, second)})
            f.bytes(at8, strnlen((const char *)f.b + at8, sizeof(lxmapiso8::first)));
          static_assert(sizeof(lxmapiso8::first) == sizeof(lxmapiso8::second));
        }
      }
      break;
    }
    case Map::Timezones: {
      size_t at = d + wv(1);
      ListHdr l = list_hdr(f, at);
      size_t rs = ((size_t)l.a + 3) / 4 * 4;
      for (size_t r = 0; r < l.count && f.ok && rs; ++r) f.bytes(list_rec(at, r, rs), l.a);
      break;
    }
    case Map::Currencies: {
      size_t at = d + wv(1);
      ListHdr l = list_hdr(f, at);
      size_t rs = ((size_t)l.a + l.b + 3) / 4 * 4;
      for (size_t r = 0; r < l.count && f.ok && rs; ++r) {
        size_t rec = list_rec(at, r, rs);
        if (!f.in(rec, rs)) break;
        f.bytes(rec, strnlen((const char *)f.b + rec, rs));
      }
      break;
    }
    case Map::Entities: {
      size_t at = d + wv(1);
      ListHdr l = list_hdr(f, at);
      size_t rs = ((size_t)l.a + l.b + 3) / 4 * 4;
      if (!rs || !f.in(list_rec(at, 0, 0), l.count * rs)) break;
      for (size_t r = 0; r < l.count; ++r) f.bytes(list_rec(at, r, rs), l.a);
      if (l.count > 1) lxlfrdQsort(f.b + list_rec(at, 0, 0), rs, l.a, 0, (long)l.count - 1);
      break;
    }
    default:
      break;
  }
}

void fix_map(Fix &f, bool order, bool ebcdic) {
  if (order) {
    f.w(offsetof(lxmapobj, w92));
    f.ws(offsetof(lxmapobj, dir), 48);
    f.h(offsetof(lxmapobj, id));
    f.h(offsetof(lxmapobj, h290));
  }
  if (!f.ok) return;
  uint16_t objnum = f.rh(offsetof(lxmapobj, id));
  uint64_t nm = map_name_at(f, objnum);
  if (ebcdic) f.name(nm);
  if (!f.ok || !(order || ebcdic)) return;
  Map kind = map_kind(f, nm, objnum);
  if (order) fix_map_order(f, kind);
  if (ebcdic && f.ok) fix_map_names(f, kind);
}

}  // namespace

bool lxladjust(lxnlsobj *obj, size_t size) {
  Fix f{(uint8_t *)obj, size};
  if (size < LX_OBJHDR) return false;
  bool order = (obj->fmtflags & LX_FMT_BIGENDIAN) != lxlhostorder();
  bool ebcdic = !(obj->fmtflags & LX_FMT_ASCII);
  switch (obj->type) {
    case LX_TLANG:
      if (order)
        fix_pool(f, offsetof(lxlanobj, flags), offsetof(lxlanobj, id), LXLAN_POOL,
                 offsetof(lxlanobj, text), offsetof(lxlanobj, name));
      if (ebcdic && f.ok) f.name(LXLAN_POOL + (uint64_t)f.rh(offsetof(lxlanobj, name)));
      break;
    case LX_TTERR:
      if (order)
        fix_pool(f, offsetof(lxterobj, flags), offsetof(lxterobj, id), LXTER_POOL,
                 offsetof(lxterobj, text), offsetof(lxterobj, name));
      if (ebcdic && f.ok) f.name(LXTER_POOL + (size_t)f.rh(offsetof(lxterobj, name)));
      break;
    case LX_TCS:
      if (order) fix_charset(f);
      if (ebcdic && f.ok) f.name(LXCS_DATA + (uint64_t)f.rw(LX_ELEM(lxcsobj, dir, LXCT_NAME)));
      break;
    case LX_TSORT:
      if (order) fix_sort(f);
      if (ebcdic && f.ok)
        f.name(LXSRT_NAME + (uint64_t)f.rw(LX_ELEM(lxsrtobj, sect, LXSRT_SECT_NAME)));
      break;
    case LX_TMAP:
      fix_map(f, order, ebcdic);
      break;
    default:
      break;
  }
  return f.ok;
}

extern "C" {

void lxladjobj(lxnlsobj *obj) { lxladjust(obj, obj->size); }

void lxlswap(void *addr, size_t records, unsigned fields, ...) {
  uint8_t *p = (uint8_t *)addr;
  for (size_t r = 0; r < records; ++r) {
    va_list ap;
    va_start(ap, fields);
    for (unsigned k = 0; k < fields; ++k) {
      int sz = va_arg(ap, int);
      if (sz == 2) {
        std::swap(p[0], p[1]);
        p += 2;
      } else if (sz == 4) {
        std::swap(p[0], p[3]);
        std::swap(p[1], p[2]);
        p += 4;
      } else if (sz == 0) {
        p += va_arg(ap, int);
      } else {
        p += sz;
      }
    }
    va_end(ap);
  }
}

int lxdnip_name_cmp(const void *a, const void *b) {
  return lstclo((const char *)a + 2, (const char *)b + 2);
}

void lxlfrdQsort(void *records, size_t size, size_t keylen, long first, long last) {
  uint8_t *base = (uint8_t *)records;
  auto rec = [&](long i) { return base + (size_t)i * size; };
  if (keylen > size) keylen = size;
  // Records of any length: the work records are as long as a record.
  std::vector<uint8_t> pivot(size), tmp(size);
  while (first < last) {
    std::memcpy(pivot.data(), rec((first + last) / 2), size);
    long i = first, j = last;
    for (;;) {
      while (std::memcmp(rec(i), pivot.data(), keylen) < 0) ++i;
      while (std::memcmp(pivot.data(), rec(j), keylen) < 0) --j;
      if (i >= j) break;
      std::memcpy(tmp.data(), rec(i), size);
      std::memcpy(rec(i), rec(j), size);
      std::memcpy(rec(j), tmp.data(), size);
      ++i;
      --j;
    }
    // i >= j: [first, j] and [j + 1, last] (Hoare partition); recurse on the
    // smaller side.
    if (j - first < last - j - 1) {
      if (j > first) lxlfrdQsort(records, size, keylen, first, j);
      first = j + 1;
    } else {
      if (last > j + 1) lxlfrdQsort(records, size, keylen, j + 1, last);
      last = j;
    }
  }
}

}  // extern "C"
