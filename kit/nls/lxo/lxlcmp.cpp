// lxCmpStr: comparison of two byte strings under a language handle. Binary
// and monolingual (major then minor keys) comparisons are done here; special
// sorts, multilingual sorts and case- or accent-insensitive sorts are handed
// to the cursor comparison lxoCmpStr, always with measured lengths, so that
// nothing is read past a NUL that ends a text. lxoCmpStr hands single-byte
// text that ends at a NUL back here, asking for binary order only, so the
// two never call each other in a circle.
#include <limits.h>
#include <stdint.h>
#include <string.h>

#include "lxc.h"
#include "lxccodec.h"
#include "lxfglo.h"
#include "lxl.h"
#include "lxlget.h"
#include "lxlig.h"
#include "lxlname.h"
#include "lxm.h"
#include "lxo.h"
#include "vzclient.h"

namespace {

constexpr uint32_t kOptMask = 0xF00;  // handle options that change the comparison
constexpr size_t kUnbounded = SIZE_MAX;
constexpr unsigned kEntrySize = 4;

int clamp(long long d) { return d < 0 ? (d < INT_MIN ? INT_MIN : int(d)) : (d > INT_MAX ? INT_MAX : int(d)); }

// Byte-wise walk: a string ends at a NUL or when its length runs out.
int binary(const uint8_t *l, size_t ll, const uint8_t *r, size_t rl, const uint8_t *fold) {
  for (size_t i = 0;; ++i) {
    const bool lend = i >= ll || l[i] == 0, rend = i >= rl || r[i] == 0;
    if (lend) return rend ? 0 : -1;
    if (rend) return 1;
    int a = fold ? fold[l[i]] : l[i], b = fold ? fold[r[i]] : r[i];
    if (a != b) return a - b;
  }
}

size_t measure(const void *s, const lxlangid *h) {
  return (h->flags & LXH_F_WIDE) ? lxsulen(s) : strlen(static_cast<const char *>(s));
}

// Minor-key sequence of a text: a character with a minor key gives it, one
// without gives the high and the low byte of its UTF-16 value.
struct MinorSeq {
  const uint8_t *p;
  size_t n, i = 0;
  int low = -1;  // the pending low byte of the character at i
  bool next(int &k, const lxlig::Section &minor, const lxcsobj *cs, const uint8_t *fold) {
    if (low >= 0) {
      k = low;
      low = -1;
      ++i;
      return true;
    }
    if (i >= n) return false;
    uint16_t u = cs->sbu[fold ? fold[p[i]] : p[i]];
    uint8_t mk = lxlig::key(minor, u);
    if (mk) {
      k = mk;
      ++i;
    } else {
      k = u >> 8;
      low = u & 0xFF;
    }
    return true;
  }
};

int monolingual(const lxsrtobj *sort, const lxcsobj *cs, const uint8_t *l, size_t ll,
                const uint8_t *r, size_t rl, const uint8_t *fold) {
  // Equal bytes give equal keys in both passes: both start after the common
  // prefix (of folded bytes).
  size_t same = 0;
  const size_t n = ll < rl ? ll : rl;
  if (fold) {
    while (same < n && fold[l[same]] == fold[r[same]]) ++same;
  } else {
    while (same < n && l[same] == r[same]) ++same;
  }
  const lxlig::Section major = lxlig::section(sort, LXSRT_MAJOR, kEntrySize);
  auto mkey = [&](uint8_t b) { return lxlig::key(major, cs->sbu[fold ? fold[b] : b]); };
  size_t i = same, j = same;
  for (;;) {
    int a = 0, b = 0;
    while (i < ll && (a = mkey(l[i])) == 0) ++i;
    while (j < rl && (b = mkey(r[j])) == 0) ++j;
    if (i == ll || j == rl) {
      long long d = (long long)(ll - i) - (long long)(rl - j);
      if (d != 0) return clamp(d);
      break;
    }
    if (a != b) return a - b;
    ++i;
    ++j;
  }
  const lxlig::Section minor = lxlig::section(sort, LXSRT_MINOR, kEntrySize);
  if (!minor.p || minor.count == 0) return 0;
  MinorSeq a{l, ll, same}, b{r, rl, same};
  for (;;) {
    int ka, kb;
    bool ha = a.next(ka, minor, cs, fold), hb = b.next(kb, minor, cs, fold);
    if (!ha || !hb) {
      size_t ra = ll - a.i, rb = rl - b.i;
      return clamp((long long)ra - (long long)rb);
    }
    if (ka != kb) return ka - kb;
  }
}

}  // namespace

extern "C" int lxCmpStr(const void *left, const void *right, uint32_t llen, uint32_t rlen,
                        uint32_t flags, const lxlangid *h, lxglo *glo) {
  const uint8_t *l = static_cast<const uint8_t *>(left), *r = static_cast<const uint8_t *>(right);
  const uint8_t *co = lxn::get(h->cs, LXP_TYPE_CHARSET, glo);
  const lxcsobj *cs = co ? lxn::csobj(co) : nullptr;
  const bool ci = (flags & LXCMP_CI) || (h->opts & LXH_O_CI);
  const uint8_t *fold = ci && cs ? cs->lower : nullptr;
  const bool nul = llen == LXCMP_NUL;
  size_t ll = nul ? kUnbounded : llen, rl = nul ? kUnbounded : rlen;

  if (!(flags & LXCMP_LING)) return binary(l, ll, r, rl, fold);
  const uint8_t *so = h->sort ? lxn::get(h->sort, LXP_TYPE_SORT, glo) : nullptr;
  if (!so) {
    if (nul && !(h->opts & kOptMask))
      return ci ? lstclo(static_cast<const char *>(left), static_cast<const char *>(right))
                : strcmp(static_cast<const char *>(left), static_cast<const char *>(right));
    if (!nul && !(h->opts & LXH_O_AI)) return binary(l, ll, r, rl, fold);
  }
  if (nul) {
    ll = measure(left, h);
    rl = measure(right, h);
  }
  const lxsrtobj *sort = reinterpret_cast<const lxsrtobj *>(so);
  if (sort && sort->id < LXSRT_MULTI && !(h->opts & (LXH_O_CI | LXH_O_AI)) && cs) {
    // A special sort's comparator (from the table row the handle names) is
    // what the cursor comparison calls for it.
    if (!(sort->flags & LXSRT_SPECIALSORT)) return monolingual(sort, cs, l, ll, r, rl, fold);
    flags &= LXCMP_CI;
  }
  lxmcur lc, rc;
  const size_t lskip = lxmcpen(left, ll, &lc, h, glo);
  const size_t rskip = lxmcpen(right, rl, &rc, h, glo);
  return lxoCmpStr(&lc, ll - lskip, &rc, rl - rskip, flags, glo);
}
