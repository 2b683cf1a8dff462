// Locale text parts and the look-ups of names and ids in the boot block.
#include <ctype.h>

#include "lst.h"
#include "lxlname.h"
#include "lxpboot.h"

using namespace lxpboot;

namespace {

bool blank(char c) { return isspace(static_cast<unsigned char>(c)) != 0; }

void set_flag(int *notfound, int v) {
  if (notfound) *notfound = v;
}

// Scans the entries of type t for the name: first byte in either case, equal
// length, equal bytes ignoring ASCII case. 0 when none matches.
unsigned find_name(const uint8_t *b, unsigned t, const char *name, size_t len) {
  unsigned lo = first(b, t), hi = first(b, t + 1);
  unsigned char c = static_cast<unsigned char>(name[0]);
  char up = static_cast<char>(toupper(c)), low = static_cast<char>(tolower(c));
  for (unsigned i = lo; i < hi; ++i) {
    const uint8_t *e = entry(b, i);
    const char *en = ent_name(e);
    if (en[0] != up && en[0] != low) continue;
    if (static_cast<size_t>(ent_namelen(e)) != len + 1) continue;
    if (lstmclo(en, name, len) == 0) return i;
  }
  return 0;
}

}  // namespace

extern "C" const char *lxpname(const char *text, size_t len, int item, size_t *partlen) {
  *partlen = 0;
  if (!text || len == 0) return text;
  const char *end = text + len;
  const char *p = nullptr;
  const char *q = nullptr;
  switch (item) {
    case LXP_ITEM_LANGUAGE:
    case LXP_ITEM_LANGUAGE2:
      p = text;
      while (p < end && blank(*p)) ++p;
      if (p == end || *p == '_' || *p == '.') return text;
      q = p;
      while (q < end && *q != '_' && *q != '.') ++q;
      break;
    case LXP_ITEM_TERRITORY:
    case LXP_ITEM_TERRITORY2:
      p = text;
      while (p < end && *p != '_') ++p;
      if (p == end) return text;
      ++p;
      while (p < end && blank(*p)) ++p;
      if (p == end || *p == '.') return text;
      q = p;
      while (q < end && *q != '.') ++q;
      break;
    case LXP_ITEM_CHARSET:
    case LXP_ITEM_CHARSET2:
      p = text;
      while (p < end && *p != '.') ++p;
      if (p == end) return text;
      ++p;
      while (p < end && blank(*p)) ++p;
      q = end;
      break;
    default:
      return text;
  }
  while (q > p && blank(q[-1])) --q;
  if (q == p) return text;
  *partlen = static_cast<size_t>(q - p);
  return p;
}

extern "C" uint16_t lxplget(const char *name, size_t len, const lxlobj *objtab, int *notfound) {
  const uint8_t *b = block(objtab);
  unsigned i = (b && name && len) ? find_name(b, LXP_TYPE_LANGUAGE, name, len) : 0;
  set_flag(notfound, i == 0);
  return i ? static_cast<uint16_t>(i) : 1;
}

extern "C" uint16_t lxpcget(const char *name, size_t len, const lxlobj *objtab, uint16_t dflt,
                            int *notfound) {
  const uint8_t *b = block(objtab);
  // Only a name of the literal's own length is compared with it.
  static constexpr char kNoop[] = "us8noop";
  if (!b || !name || len == 0 ||
      (len == sizeof kNoop - 1 && lstmclo(name, kNoop, len) == 0)) {
    set_flag(notfound, 1);
    return dflt;
  }
  unsigned i = find_name(b, LXP_TYPE_CHARSET, name, len);
  set_flag(notfound, i == 0);
  return i ? static_cast<uint16_t>(i) : dflt;
}

extern "C" uint16_t lxptget(const char *name, size_t len, const lxlobj *objtab, uint16_t dflt,
                            uint16_t lang, int *notfound) {
  const uint8_t *b = block(objtab);
  unsigned i = (b && name && len) ? find_name(b, LXP_TYPE_TERRITORY, name, len) : 0;
  if (i == 0) {
    set_flag(notfound, 1);
    return dflt;
  }
  set_flag(notfound, 0);
  uint8_t group = ent_group(entry(b, i));
  if (group == 0) return static_cast<uint16_t>(i);
  uint16_t langid = lang < count(b) ? ent_id(entry(b, lang)) : 0;
  unsigned last = i + (group & 0x0F);
  unsigned end = first(b, LXP_TYPE_TERRITORY + 1);
  for (unsigned k = i; k <= last && k < end; ++k)
    if (ent_langkey(entry(b, k)) == langid) return static_cast<uint16_t>(k);
  return static_cast<uint16_t>(i);
}

extern "C" uint16_t lxpsget(const char *name, size_t len, const lxlobj *objtab, uint16_t dflt,
                            uint16_t *options, int *notfound) {
  const uint8_t *b = block(objtab);
  if (!b || !name || len == 0) {
    set_flag(notfound, 1);
    return dflt;
  }
  if (len >= 3) {
    const char *sfx = name + len - 3;
    if (lstmclo(sfx, "_CI", 3) == 0) {
      *options = 0x100;
      len -= 3;
    } else if (lstmclo(sfx, "_AI", 3) == 0) {
      *options = 0x700;
      len -= 3;
    } else {
      *options = 0;
    }
  }
  if (len == 6 && lstmclo(name, "BINARY", 6) == 0) {
    set_flag(notfound, 0);
    return 0;
  }
  unsigned i = len ? find_name(b, LXP_TYPE_SORT, name, len) : 0;
  set_flag(notfound, i == 0);
  return i ? static_cast<uint16_t>(i) : dflt;
}

extern "C" uint16_t lxpe2i(uint16_t id, const lxlobj *objtab, uint16_t type, int *notfound,
                           uint16_t key) {
  if (type == LXP_TYPE_SORT && id == 0) {
    set_flag(notfound, 0);
    return 0;
  }
  if (type == LXP_TYPE_NAMED && id == 0) {
    set_flag(notfound, 1);
    return 0;
  }
  const uint8_t *b = block(objtab);
  if (!b || type > 9) {
    set_flag(notfound, 1);
    return 0;
  }
  int lo = first(b, type), hi = static_cast<int>(first(b, type + 1u)) - 1;
  int mid = lo;
  while (lo <= hi) {
    mid = (lo + hi) / 2;
    uint16_t eid = ent_id(entry(b, static_cast<unsigned>(mid)));
    if (eid < id) {
      lo = mid + 1;
    } else if (eid > id) {
      hi = mid - 1;
    } else {
      set_flag(notfound, 0);
      if (type != LXP_TYPE_TERRITORY) return static_cast<uint16_t>(mid);
      const uint8_t *e = entry(b, static_cast<unsigned>(mid));
      uint8_t group = ent_group(e);
      if (group == 0 || ent_langkey(e) == key) return static_cast<uint16_t>(mid);
      int gfirst = mid - (group >> 4);
      int glast = gfirst + (group & 0x0F);
      int tlo = first(b, type), thi = static_cast<int>(first(b, type + 1u)) - 1;
      if (gfirst < tlo) gfirst = tlo;
      for (int k = gfirst; k <= glast && k <= thi; ++k)
        if (ent_langkey(entry(b, static_cast<unsigned>(k))) == key)
          return static_cast<uint16_t>(k);
      return static_cast<uint16_t>(gfirst);
    }
  }
  set_flag(notfound, 1);
  if (type <= LXP_TYPE_CHARSET) return first(b, type);
  if (type <= LXP_TYPE_NAMED) return 0;
  return static_cast<uint16_t>(mid);
}

extern "C" uint8_t lxpendian(void) {
  uint16_t one = 1;
  uint8_t firstbyte;
  memcpy(&firstbyte, &one, 1);
  return firstbyte ? 0 : 0x10;
}
