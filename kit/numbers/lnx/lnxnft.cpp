// NUMBER formatted text: a NUMBER written under a numeric format descriptor
// (lnx_fmt, lsfp.h) in the character set of a language handle.
//
// Modes, in this order of precedence: date (the NUMBER is a day count with
// a fraction, printed "MM/DD/YY" or "DD/MM/YY" through the date library),
// Roman numerals, hexadecimal, and numeric: fixed or scientific form with
// signs, currency texts, group separators, minimum digits, 0/5 rounding and
// a text-minimum mode that sizes the fields from the value itself.
//
// The text is made in the handle's character set with the 50-character
// table of its family (ASCII, EBCDIC); for an AL16UTF16 handle it is made
// in UTF-8 under the handle's UTF8 twin and converted at the end, never past
// the caller's room of twice the width, and the bytes written are reported.
// Whatever cannot be made shows as "#" over the width; nothing is raised.
//
// lnxnft takes a status record of its own for each call and drops its
// reference before returning; lnxnftg works under the caller's. The print
// engine reaches lnxnftg through the routines lent to it (lnxlsf.cpp).
#include <csetjmp>
#include <cstring>

#include "ldx.h"
#include "lnx.h"
#include "lnx_int.h"
#include "lxg.h"
#include "lxh.h"
#include "lxm.h"
#include "lxo.h"
#include "lxp.h"

using namespace lnxi;

// The jump point of the date mode's context. Only here: the frames a date
// error jumps over hold no object with a non-trivial destructor.
#define LNX_DATE_JUMPED(jb) (setjmp(jb) != 0)

namespace {

constexpr size_t kWork = 255;           // work buffers; no text is longer
constexpr int kTextMinLimit = 64;       // text-minimum: longer texts go scientific
constexpr int kSciWidth = 7;            // text-minimum scientific: sign, digit, E, sign, 3 digits
constexpr int kExpHundred = 100;        // exponents from here on print a leading "1"
constexpr int kItemCurrency = 69;       // NLS_CURRENCY
constexpr int kItemCurrency53 = 53;
constexpr int kItemUnion = 121;         // NLS_UNION_CURRENCY, NLS_DUAL_CURRENCY
constexpr uint8_t kGroupPos = 0x7F;     // a group entry's position
constexpr uint8_t kGroupLang = 0x80;    //   and its "language's character" bit
constexpr int kGroupChar = 1;           // the group character in the numeric characters
constexpr uint32_t kDateFlags = LNXF_DATE_MDY | LNXF_DATE_DMY;
constexpr uint32_t kTrailSign = LNXF_TRAILMINUS | LNXF_TRAILSIGN;
constexpr uint8_t kUtf16Hi = 0x00;      // high byte of an ASCII character as a UTF-16 unit
constexpr char kDmy[] = "DD/MM/YY", kMdy[] = "MM/DD/YY";
constexpr size_t kDateFmtLen = sizeof kDmy - 1;

// Where the text is made: its handle (the UTF8 twin for AL16UTF16), the
// AL16UTF16 handle when there is one, the character table and the status
// record. Past set-up h and glo are never NULL.
struct Target {
  const lxlangid *h;
  const lxlangid *wide;
  const char *tab;
  lxglo *glo;
};

// The significant decimal digits of a finite value (none for zero).
struct Digits {
  bool neg;
  int x;   // decimal exponent of the leading digit
  int s;   // digit count; the first and the last are nonzero
  uint8_t d[2 * LNX_MAXDIGITS + 2];
};

Digits digits_of(const lnx_number *num, size_t len) {
  const View v = view_of(num, len);
  Digits r{};
  r.neg = v.kind == kNegInf || v.neg;
  if (v.kind != kFinite) return r;
  for (int i = 0; i < v.n; ++i) {
    const int q = digit_of(v, i);
    r.d[r.s++] = static_cast<uint8_t>(q / 10);
    r.d[r.s++] = static_cast<uint8_t>(q % 10);
  }
  const int lead = r.d[0] == 0 ? 1 : 0;
  if (lead) std::memmove(r.d, r.d + 1, static_cast<size_t>(--r.s));
  while (r.d[r.s - 1] == 0) --r.s;
  r.x = 2 * v.exp + 1 - lead;
  assert(r.s > 0 && r.d[0] != 0);
  return r;
}

void strip(Digits &d) {
  while (d.s > 0 && d.d[d.s - 1] == 0) --d.s;
}

// Keeps the digits before index k and adds one unit at index k - 1 (k 0:
// the value becomes the next power of ten).
void bump(Digits &d, int k) {
  d.s = k;
  int i = k - 1;
  while (i >= 0 && d.d[i] == 9) d.d[i--] = 0;
  if (i >= 0) {
    ++d.d[i];
  } else {
    d.d[0] = 1;
    d.s = 1;
    ++d.x;
  }
  strip(d);
}

// The text being made: at most cap bytes, single-byte characters of the
// table written with the shift-in byte a shifted state needs first.
struct Writer {
  unsigned char *p;
  size_t cap;
  const Target &t;
  size_t n = 0;
  bool shifted = false;
  bool ok = true;

  void raw(uint8_t c) {
    if (n < cap)
      p[n++] = c;
    else
      ok = false;
  }
  void put(char c) {
    if (shifted) {
      raw(t.h->shift_in);
      shifted = false;
    }
    raw(static_cast<uint8_t>(c));
  }
  void repeat(char c, int count) {
    for (int i = 0; i < count; ++i) put(c);
  }
  // count pad characters at the cursor through the NLS field padding
  // (before anything shifted out is written).
  void pad(char c, int count) {
    assert(!shifted);
    if (count <= 0) return;
    lxmcur cur;
    lxmopen(p + n, cap - n, &cur, t.h, t.glo, 1);
    lxoPadStr(&cur, nullptr, 1, static_cast<uint8_t>(c), static_cast<size_t>(count), 0, t.glo);
    if (t.glo->status != 0) ok = false;
    n += static_cast<size_t>(cur.pos - cur.start);
  }
  // An NLS currency text at the cursor, in the handle's character set.
  void currency(uint32_t flags) {
    const int item = (flags & LNXF_CUR53) ? kItemCurrency53
                     : (flags & LNXF_CUR121) ? kItemUnion
                                             : kItemCurrency;
    if (n > cap) return;
    lxmcur cur;
    lxmopen(p + n, cap - n, &cur, t.h, t.glo, 1);
    cur.shifted = shifted;
    lxlinfo(&cur, cap - n, item, t.glo);
    if (t.glo->status == LXS_SMALL) ok = false;  // the text was cut
    n += static_cast<size_t>(cur.pos - cur.start);
    shifted = cur.shifted != 0;
  }
  void close() {
    if (shifted) raw(t.h->shift_in);
    shifted = false;
  }
};

// Under blank fill a text shorter than the width is right-justified.
size_t justify(unsigned char *text, size_t n, size_t width, uint32_t flags, char blank) {
  if (!(flags & LNXF_BLANKFILL) || n >= width) return n;
  std::memmove(text + (width - n), text, n);
  std::memset(text, blank, width - n);
  return width;
}

// The numeric mode into text (room for the width); -1 when the value
// cannot be shown.
long numeric(const lnx_number *num, size_t len, const lnx_fmt &fmt, unsigned char *text,
             const Target &t) {
  const View v = view_of(num, len);
  if (v.kind == kPosInf || v.kind == kNegInf) return -1;
  uint32_t flags = fmt.flags;
  int intpos = fmt.intpos, decpos = fmt.decpos, width = fmt.width;
  const int minint = fmt.minint, mindec = fmt.mindec;

  if (flags & LNXF_TEXTMIN) {
    const Digits raw = digits_of(num, len);
    const int lead = raw.s ? raw.x : 0, sig = raw.s;
    intpos = lead + 1 > 0 ? lead + 1 : 0;
    decpos = sig - (lead + 1) > 0 ? sig - (lead + 1) : 0;
    const int chars = (raw.neg ? 1 : 0) + intpos + (decpos ? decpos + 1 : 0);
    if (!(flags & LNXF_SCI) && chars <= kTextMinLimit) {
      width = decpos ? intpos + decpos + 2 : intpos + 1;
    } else {
      flags |= LNXF_SCI;
      intpos = 1;
      decpos = sig > 1 ? sig - 1 : 0;
      width = sig < 2 ? kSciWidth : kSciWidth + sig;
    }
    if (!decpos) flags |= LNXF_NOPOINT;
  }
  const bool sci = (flags & LNXF_SCI) != 0;
  const bool blank = (flags & LNXF_BLANKFILL) != 0;

  // Rounding to the positions.
  uint8_t r[LNX_MAXPREFIXED];
  size_t rlen = 0;
  if (v.kind == kZero) {
    r[0] = LNX_ZERO;
    rlen = 1;
  } else if (sci) {
    lnxfpr(num, len, r, &rlen, intpos + decpos);
  } else {
    int overflow = 0;
    lnxsca(num, len, r, &rlen, intpos, decpos, &overflow);
    if (overflow) return -1;
  }
  const View rv = view_of(r, rlen);
  if (rv.kind == kPosInf || rv.kind == kNegInf) return -1;
  Digits d = digits_of(r, rlen);
  d.neg = v.neg;  // a value rounded to zero keeps its sign

  // The last significant digit to 0 or 5.
  if ((flags & LNXF_ROUND05) && d.s > 0) {
    const int places = sci ? d.s - 1 : d.s - 1 - d.x;
    if (decpos == 0 || places == decpos) {
      const int k = d.s - 1;
      const uint8_t last = d.d[k];
      if (last <= 2) {
        d.s = k;
        strip(d);
      } else if (last <= 7) {
        d.d[k] = 5;
      } else {
        bump(d, k);
      }
      if (!sci && d.s > 0 && d.x + 1 > intpos) return -1;
    }
  }

  if (d.s == 0 && (flags & LNXF_ZEROBLANK)) {
    if (!blank) return 0;
    std::memset(text, t.tab[LNXQ_BLANK], static_cast<size_t>(width));
    return width;
  }

  // Digit counts: I integer digits (0 or less below 1) of the fixed value
  // or the mantissa, D decimal places to the last significant digit.
  const int xm = sci ? 0 : d.x;                 // exponent of the leading printed digit
  const int exponent = d.s > 0 && sci ? d.x : 0;
  const int I = d.s > 0 ? xm + 1 : 0;
  const int D = d.s > 0 ? d.s - I : 0;
  const int shown = I > 0 ? I : 0;
  int ints = minint > shown ? minint : shown;
  if (d.s == 0 && ints == 0 && intpos > 0 && mindec == 0) ints = 1;
  const int empty = intpos > ints ? intpos - ints : 0;
  auto digit_at = [&](int q) -> char {  // the digit of position 10^q
    const int i = xm - q;
    return t.tab[LNXQ_DIGIT0 + (d.s > 0 && i >= 0 && i < d.s ? d.d[i] : 0)];
  };

  Writer w{text, static_cast<size_t>(width), t};
  const int aexp = exponent < 0 ? -exponent : exponent;
  if (sci && blank && aexp < kExpHundred) w.put(t.tab[LNXQ_BLANK]);
  if (blank) w.pad(t.tab[LNXQ_BLANK], empty);
  if (!(flags & kTrailSign)) {
    if (d.neg)
      w.put(t.tab[(flags & LNXF_ANGLE) ? LNXQ_LESS : (flags & LNXF_PAREN) ? LNXQ_OPEN : LNXQ_MINUS]);
    else if (flags & LNXF_PLUS)
      w.put(t.tab[LNXQ_PLUS]);
    else if (blank)
      w.put(t.tab[LNXQ_BLANK]);
  }
  if (flags & LNXF_DOLLAR)
    w.put(t.tab[LNXQ_DOLLAR]);
  else if (flags & LNXF_CURBEFORE)
    w.currency(flags);

  // Integer digits with the group separators after their positions.
  const bool grouped = fmt.groups[0] != 0;
  for (int i = 0; i < ints; ++i) {
    w.put(digit_at(ints - 1 - i));
    if (!grouped) continue;
    const int pos = empty + i + 1;  // from the left, empty positions included
    for (int g = 0; g < LNX_FMT_GROUPS && fmt.groups[g]; ++g) {
      if ((fmt.groups[g] & kGroupPos) != pos) continue;
      const uint8_t lc = t.h->numchars[kGroupChar];
      w.put((fmt.groups[g] & kGroupLang) && lc ? static_cast<char>(lc) : t.tab[LNXQ_COMMA]);
      break;
    }
  }
  if (!(flags & LNXF_NOPOINT)) {
    if (flags & LNXF_DOT)
      w.put(t.tab[LNXQ_POINT]);
    else if (flags & LNXF_CURPOINT)
      w.currency(flags);
    else
      w.put(t.h->numchars[0] ? static_cast<char>(t.h->numchars[0]) : t.tab[LNXQ_POINT]);
  }
  for (int q = -1; q >= -D; --q) w.put(digit_at(q));
  const int places = D > 0 ? D : 0;
  if (mindec > places) w.repeat(t.tab[LNXQ_DIGIT0], mindec - places);
  if (sci) {
    w.put(t.tab[LNXQ_UPPER_E]);
    w.put(t.tab[exponent < 0 ? LNXQ_MINUS : LNXQ_PLUS]);
    int e = aexp;
    if (e >= kExpHundred) {
      w.put(t.tab[LNXQ_DIGIT0 + 1]);
      e -= kExpHundred;
    }
    w.put(t.tab[LNXQ_DIGIT0 + e / 10]);
    w.put(t.tab[LNXQ_DIGIT0 + e % 10]);
  }
  if (flags & LNXF_CURAFTER) w.currency(flags);
  if (d.neg) {
    if (flags & LNXF_ANGLE)
      w.put(t.tab[LNXQ_GREATER]);
    else if (flags & LNXF_PAREN)
      w.put(t.tab[LNXQ_CLOSE]);
    else if (flags & kTrailSign)
      w.put(t.tab[LNXQ_MINUS]);
  } else if (flags & LNXF_TRAILSIGN) {
    w.put(t.tab[LNXQ_PLUS]);
  } else if (blank && (flags & (LNXF_ANGLE | LNXF_PAREN | LNXF_TRAILMINUS))) {
    w.put(t.tab[LNXQ_BLANK]);
  }
  w.close();
  if (!w.ok) return -1;
  return static_cast<long>(justify(text, w.n, static_cast<size_t>(width), flags, t.tab[LNXQ_BLANK]));
}

// The value rounded to an integer.
void integer_of(const lnx_number *num, size_t len, uint8_t *r, size_t *rlen) {
  lnxrou(num, len, r, rlen, 0);
}

// Copies a lower-case Roman or hexadecimal text into text, in capitals
// unless LNXF_LOWER, then applies blank fill; -1 on failure.
long finish_case(const unsigned char *src, size_t n, const lnx_fmt &fmt, unsigned char *text,
                 const Target &t) {
  const size_t width = fmt.width;
  if (n == 0 || n > width) return -1;
  if (fmt.flags & LNXF_LOWER) {
    if (src != text) std::memcpy(text, src, n);
  } else {
    n = lxsCnvCase(text, width, src, n, LXO_CASE_UPPER | LXO_EXACTLEN, t.h, t.glo);
    if (t.glo->status != 0 || n == 0) return -1;
  }
  return static_cast<long>(justify(text, n, width, fmt.flags, t.tab[LNXQ_BLANK]));
}

long roman(const lnx_number *num, size_t len, const lnx_fmt &fmt, unsigned char *text,
           const Target &t) {
  uint8_t r[LNX_MAXPREFIXED];
  size_t rlen = 0;
  integer_of(num, len, r, &rlen);
  int32_t value = 0;
  if (lnxsni(r, rlen, &value, sizeof value, LNX_KIND_SIGNED) != LNX_ST_OK) return -1;
  unsigned char work[kWork];
  unsigned char *dst = (fmt.flags & LNXF_LOWER) ? text : work;
  const size_t n = lxsCnvIntToNumStr(dst, fmt.width, value, 0, LXS_NUM_ROMAN, t.h, t.glo);
  if (t.glo->status != 0) return -1;
  return finish_case(dst, n, fmt, text, t);
}

long hexadecimal(const lnx_number *num, size_t len, const lnx_fmt &fmt, unsigned char *text,
                 const Target &t) {
  uint8_t r[LNX_MAXPREFIXED];
  size_t rlen = 0;
  integer_of(num, len, r, &rlen);
  char work[kWork];
  const size_t n = lnxqn2h(r, rlen, work, fmt.intpos, fmt.minint != 0, t.tab);
  return finish_case(reinterpret_cast<unsigned char *>(work), n, fmt, text, t);
}

// UTF-8 text of the twin to the AL16UTF16 handle's charset within room
// bytes of out; the bytes written, or -1.
long to_wide(const Target &t, const unsigned char *text, size_t n, unsigned char *out,
             size_t room) {
  const lxcsobj *wide = (const lxcsobj *)lxdgetobj(t.wide->cs, LXP_TYPE_CHARSET, t.glo);
  const lxcsobj *utf8 = (const lxcsobj *)lxdgetobj(t.h->cs, LXP_TYPE_CHARSET, t.glo);
  if (!wide || !utf8) return -1;
  unsigned char conv[2 * kWork];
  const void *src = text;
  uint32_t left = static_cast<uint32_t>(n);
  const int32_t got = lxgcvp(conv, wide, sizeof conv, &src, utf8, &left, LXG_LAST, t.glo);
  if (got < 0 || left != 0 || t.glo->status != 0 || static_cast<size_t>(got) > room) return -1;
  std::memcpy(out, conv, static_cast<size_t>(got));
  return got;
}

// "#" over the width (a "#" run converted for AL16UTF16: twice the width).
size_t overflow(const Target &t, unsigned char *out, size_t width) {
  if (!t.wide) {
    std::memset(out, t.tab[LNXQ_OVERFLOW], width);
    return width;
  }
  unsigned char run[kWork];
  std::memset(run, lnxqasc_chars[LNXQ_OVERFLOW], width);
  const long n = t.h != t.wide && t.glo ? to_wide(t, run, width, out, 2 * width) : -1;
  if (n >= 0) return static_cast<size_t>(n);
  std::memset(out, lnxqasc_chars[LNXQ_OVERFLOW], 2 * width);
  return 2 * width;
}

// The date mode: the NUMBER as a day count with a fraction, under the
// format of the flags, rendered by the date library into the room; the rest
// of the room is blanked and the room is reported.
size_t date_mode(const lnx_number *num, size_t len, const lnx_fmt &fmt, unsigned char *out,
                 const Target &t) {
  const lxlangid *h = t.wide ? t.wide : t.h;
  const size_t width = fmt.width, room = t.wide ? 2 * width : width;
  const char *pattern = (fmt.flags & LNXF_DATE_DMY) ? kDmy : kMdy;
  ldx_ctx ctx;
  std::memset(static_cast<void *>(&ctx), 0, sizeof ctx);
  volatile bool begun = false;
  jmp_buf jb;
  if (LNX_DATE_JUMPED(jb)) {
    if (begun) ldxend(&ctx);
    return overflow(t, out, width);
  }
  begun = true;
  ldxnbeg(&ctx, h, lnxnfterf, &jb, t.glo->table, t.glo);
  unsigned char text[kWork];
  size_t tlen = kDateFmtLen;
  std::memcpy(text, pattern, kDateFmtLen);
  if (!(h->flags & LXH_F_ASCII)) {
    lxlangid ascii;
    const lxcsobj *cs = (const lxcsobj *)lxdgetobj(h->cs, LXP_TYPE_CHARSET, t.glo);
    if (!lxhLaToId("us7ascii", 0, &ascii, 1, t.glo) || !cs ||
        LnxqBufConv(&ascii, pattern, kDateFmtLen, cs, text, sizeof text, &tlen) != 0) {
      ldxend(&ctx);
      return overflow(t, out, width);
    }
  }
  ldx_format compiled[kWork];
  ldxsto(&ctx, text, static_cast<uint8_t>(tlen), compiled, static_cast<uint8_t>(kWork));
  ldx_julian j{};
  ldxftd(&ctx, num, len, &j);
  ldx_date date{};
  ldxdfd(&ctx, &j, &date);
  size_t n = ldxdts(&ctx, out, static_cast<uint16_t>(room), &date, compiled);
  ldxend(&ctx);
  if (n > room) n = room;
  if (t.wide) {
    if (n % 2) n -= 1;
    for (size_t i = n; i + 1 < room; i += 2) {
      out[i] = kUtf16Hi;
      out[i + 1] = static_cast<unsigned char>(lnxqasc_chars[LNXQ_BLANK]);
    }
  } else {
    std::memset(out + n, t.tab[LNXQ_BLANK], room - n);
  }
  return room;
}

}  // namespace

extern "C" {

size_t lnxnftg(const lnx_number *num, size_t len, const lnx_fmt *fmt, unsigned char *out,
               const lxlangid *lang, lxglo *glo) {
  const size_t width = fmt->width;
  Target t{lang, nullptr, lnxqasc_chars, glo};
  lxlangid deflt, twin;
  if (lang && (lang->flags & LXH_F_AL16UTF16)) t.wide = lang;
  if (lang && !(lang->flags & (LXH_F_ASCII | LXH_F_AL16UTF16))) t.tab = lnxqebc_chars;
  if (!glo) return overflow(t, out, width);  // no environment to work in
  if (!lang) {
    if (!lxhLaToId("", 0, &deflt, 1, glo)) return overflow(t, out, width);
    t.h = &deflt;
    t.tab = lnxqcom_chars;
  } else if (t.wide) {
    t.h = LnxqLid2Utf(lang, &twin, glo);
    if (t.h == lang) return overflow(t, out, width);
  }
  if (!(fmt->flags & LNXF_FORMATTED)) return overflow(t, out, width);
  if (fmt->flags & kDateFlags) return date_mode(num, len, *fmt, out, t);

  unsigned char work[kWork];
  unsigned char *text = t.wide ? work : out;
  long n;
  if (fmt->flags & LNXF_ROMAN)
    n = roman(num, len, *fmt, text, t);
  else if (fmt->flags & LNXF_HEX)
    n = hexadecimal(num, len, *fmt, text, t);
  else
    n = numeric(num, len, *fmt, text, t);
  if (n < 0) return overflow(t, out, width);
  if (!t.wide) return static_cast<size_t>(n);
  const size_t room =
      (fmt->flags & LNXF_TEXTMIN) && width < LNX_TEXTMIN_ROOM ? LNX_TEXTMIN_ROOM : width;
  const long wide = to_wide(t, work, static_cast<size_t>(n), out, 2 * room);
  return wide < 0 ? overflow(t, out, width) : static_cast<size_t>(wide);
}

size_t lnxnft(const lnx_number *num, size_t len, const lnx_fmt *fmt, unsigned char *out,
              const lxlangid *lang) {
  lxlobj *global = nullptr;
  lxglo local;
  uint32_t status = 0;
  lxglo *glo = slnxGetGloPtr(&global, lang, &local, &status);
  const size_t n = lnxnftg(num, len, fmt, out, lang, glo);
  if (glo) lxlterm(glo);
  return n;
}

void lnxnfterf(void *ctx, int err) {
  jmp_buf *jb = static_cast<jmp_buf *>(static_cast<ldx_ctx *>(ctx)->cbarg);
  std::longjmp(*jb, err != 0 ? err : LDX_ERR_NLS);
}

}  // extern "C"
