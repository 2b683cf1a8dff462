// The date format compiler: turns a format text such as DD-MON-YYYY or
// fmDay ddth Month into an ldx_format, the byte string the renderer walks.
//
// Output: pairs (code, flags) for elements, (LDX_LIT + n, literal flags)
// followed by n bytes for literal text, and the end pair (LDX_END, fill
// state). ldxsto compiles output formats; ldxsti adds the checks of input
// formats (elements that cannot be read, repeated or conflicting elements).
// Both compile one element per ldxsnf / ldxsnfcom call.
//
// Three ways of reading the text share one set of rules (class Scan):
//  - bytes: a single-byte set read byte by byte (handle flag
//    LXH_F_BYTEWISE), ASCII or EBCDIC;
//  - cursor: any other set, through character cursors; literal characters
//    are copied with lxoCpChar, and shifted text is closed with shift-in;
//  - units: AL16UTF16 text (2-byte units, high byte first); the ASCII units
//    take the classes and case of a UTF-8 handle and literal text is
//    stored converted to UTF-8.
//
// Errors leave through ldxerr (the callback does not return), so nothing in
// here holds a resource across an NLS or compile step: the frames have only
// trivially destructible locals.
//
// Callers: the date context (the default format, ldxsti), the NUMBER
// formatter's date mode (ldxsto), tests and the fuzz target.
#include <cassert>
#include <cstring>

#include "ldx.h"
#include "lxg.h"
#include "lxh.h"
#include "lxm.h"
#include "lxo.h"

namespace {

constexpr uint8_t kBarAscii = 0x7C, kBarEbcdic = 0x6A;      // element separator
constexpr uint8_t kQuoteAscii = 0x22, kQuoteEbcdic = 0x7F;  // quoted literal text
constexpr uint8_t kFill = LDX_F_PAD;  // compile state while fill mode is off
constexpr size_t kPair = 2;           // bytes of a (code, flags) pair
constexpr size_t kMatchChars = 13;    // characters a keyword search reads
constexpr size_t kUnit = 2;           // bytes of a UTF-16 unit
constexpr size_t kLitConv = 255;      // room for a literal converted to UTF-8
constexpr size_t kRunRoom = 512;      // collection room of one literal run

// NLS text items of the formats DL, DS and TS stand for.
constexpr int kItemDL = LXI_TER143, kItemDS = LXI_TER151, kItemTS = LXI_TER144;

// Byte classes of the charset objects.
constexpr uint16_t kClsUpper = LXCC_UPPER, kClsLower = LXCC_LOWER, kClsDigit = LXCC_DIGIT,
                   kClsSpace = LXCC_SPACE, kClsAlpha = LXCC_ALPHA;

// The class of an ASCII byte, for a handle whose charset is not at hand.
uint16_t ascii_class(uint8_t b) {
  if (b >= 'A' && b <= 'Z') return kClsAlpha | kClsUpper;
  if (b >= 'a' && b <= 'z') return kClsAlpha | kClsLower;
  if (b >= '0' && b <= '9') return kClsDigit;
  if (b == ' ' || (b >= '\t' && b <= '\r')) return kClsSpace;
  return 0;
}

const lxcsobj *charset_of(const lxlangid *h, lxglo *glo) {
  if (!h || !glo) return nullptr;
  return reinterpret_cast<const lxcsobj *>(lxdgetobj(h->cs, LX_TCS, glo));
}

uint16_t byte_class(const lxcsobj *cs, uint8_t b) { return cs ? cs->bclass[b] : ascii_class(b); }

uint8_t byte_upper(const lxcsobj *cs, uint8_t b) {
  if (cs) return cs->upper[b];
  return (b >= 'a' && b <= 'z') ? uint8_t(b - ('a' - 'A')) : b;
}

// Letter index 0..25 of an upper-case letter of the alphabet, -1 for none.
int letter_index(uint8_t b, bool ascii) {
  if (ascii) return (b >= 'A' && b <= 'Z') ? b - 'A' : -1;
  if (b >= 0xC1 && b <= 0xC9) return b - 0xC1;
  if (b >= 0xD1 && b <= 0xD9) return 9 + (b - 0xD1);
  if (b >= 0xE2 && b <= 0xE9) return 18 + (b - 0xE2);
  return -1;
}

// The longest row from first on whose whole name the key starts with. Rows
// are in ascending order of their names; a text character greater than the
// row's moves on, a smaller one (or the key ending first) stops.
const ldx_kwrow *longest_match(const uint8_t *key, size_t n, const ldx_kwrow *row) {
  const ldx_kwrow *best = nullptr;
  for (; row->len != 0; ++row) {
    bool stop = false, next = false;
    for (size_t i = 0; i < row->len; ++i) {
      if (i >= n) {
        stop = true;
        break;
      }
      const uint8_t want = uint8_t(row->name[i]);
      if (key[i] == want) continue;
      if (key[i] > want) next = true;
      else stop = true;
      break;
    }
    if (stop) break;
    if (!next) best = row;
  }
  return best;
}

enum class Mode { Bytes, Cursor, Units };

// A reader of the format text in one of the three ways; see the top of the
// file. p and n are the text left (synchronised from the cursor by sync()).
struct Scan {
  ldx_ctx *ctx;
  lxglo *glo;
  Mode mode;
  bool ascii;              // alphabet of the letters, bar and quote
  const lxlangid *h;       // classes and case of what is read
  const lxcsobj *cs;       // h's charset (NULL: ASCII rules)
  const uint8_t *p;
  size_t n;
  lxmcur cur;              // the cursor mode's reader

  uint8_t bar() const { return ascii ? kBarAscii : kBarEbcdic; }
  uint8_t quote() const { return ascii ? kQuoteAscii : kQuoteEbcdic; }

  void reset(const uint8_t *text, size_t len) {
    p = text;
    n = len;
    if (mode == Mode::Units) n -= n % kUnit;  // a half unit at the end is not read
    if (mode == Mode::Cursor) {
      lxmopen(text, len, &cur, h, glo, 0);
      sync();
    }
  }
  void sync() {
    if (mode != Mode::Cursor) return;
    p = cur.pos;
    n = lxmleft(&cur);
  }
  bool end() const { return n == 0; }

  void step() {
    switch (mode) {
      case Mode::Bytes: ++p, --n; break;
      case Mode::Units: p += kUnit, n -= kUnit; break;
      case Mode::Cursor: lxmfwdx(&cur, glo), sync(); break;
    }
  }

  // The character is one byte of the set (or an ASCII unit).
  bool single() const {
    switch (mode) {
      case Mode::Bytes: return true;
      case Mode::Units: return p[0] == 0 && p[1] < 0x80;
      case Mode::Cursor:
        if (cur.single_byte) return true;
        if (cur.shift_sensitive) return !cur.shifted;
        return cs && (cs->bclass[*p] & 3u) == 0;
    }
    return false;
  }
  // Its byte (the low byte of a unit); meaningful when single().
  uint8_t byte() const { return mode == Mode::Units ? p[1] : p[0]; }

  uint16_t cls() const {
    switch (mode) {
      case Mode::Bytes: return byte_class(cs, *p);
      case Mode::Units: return single() ? byte_class(cs, p[1]) : 0;
      case Mode::Cursor: {
        uint16_t c = 0;
        if (lxmalpx(&cur, glo)) c |= kClsAlpha;
        if (lxmdigx(&cur, glo)) c |= kClsDigit;
        if (lxmuppx(&cur, glo)) c |= kClsUpper;
        if (lxmlowx(&cur, glo)) c |= kClsLower;
        if (lxmspax(&cur, glo)) c |= kClsSpace;
        return c;
      }
    }
    return 0;
  }

  bool is(uint8_t c) const {
    if (mode == Mode::Cursor && (h->flags & LXH_F_WIDE) && !cur.single_byte)
      return n >= kUnit && p[0] == 0 && p[1] == c;  // a unit of a 2-byte set
    return single() && byte() == c;
  }

  // The characters left, up to max.
  size_t chars_left(size_t max) const {
    Scan s = *this;
    size_t k = 0;
    while (k < max && !s.end()) s.step(), ++k;
    return k;
  }
  Scan ahead(size_t k) const {
    Scan s = *this;
    while (k-- && !s.end()) s.step();
    return s;
  }
};

// The literal run being collected and what the storing needs of it.
struct Run {
  uint8_t buf[kRunRoom];
  size_t size = 0;
  size_t lead = 0;      // bytes of the spaces it starts with, quoted or not
  bool spaces = true;   // nothing but spaces so far
  bool quoted = false;  // quoted text was seen
  lxmcur out;           // the cursor mode's writer over buf
};

void put_pair(ldx_ctx *ctx, ldx_format **out, size_t *room, uint8_t code, uint8_t flags) {
  if (*room < kPair) ldxerr(ctx, LDX_ERR_ROOM);
  (*out)[0] = code;
  (*out)[1] = flags;
  *out += kPair;
  *room -= kPair;
}

void put_literal(ldx_ctx *ctx, ldx_format **out, size_t *room, const uint8_t *text, size_t m,
                 uint8_t flags) {
  assert(m >= 1 && m <= LDX_LITMAX);
  if (*room < m + kPair) ldxerr(ctx, LDX_ERR_ROOM);
  (*out)[0] = uint8_t(LDX_LIT + m);
  (*out)[1] = flags;
  std::memcpy(*out + kPair, text, m);
  *out += m + kPair;
  *room -= m + kPair;
}

// Stores a run of n bytes: its leading spaces on their own, then the rest.
void store_run(ldx_ctx *ctx, ldx_format **out, size_t *room, const uint8_t *text, size_t n,
               size_t lead, bool quoted) {
  if (n > LDX_LITMAX) ldxerr(ctx, LDX_ERR_LITLEN);
  if (lead > 0) put_literal(ctx, out, room, text, lead, LDX_L_SPACES);
  if (n > lead)
    put_literal(ctx, out, room, text + lead, n - lead, quoted ? LDX_L_QUOTED : LDX_L_PUNCT);
}

// Appends the character at the scanner to the run and steps over it.
void take_char(Scan &s, Run &r, bool space) {
  switch (s.mode) {
    case Mode::Bytes:
    case Mode::Units: {
      const size_t len = s.mode == Mode::Units ? kUnit : 1;
      if (r.size + len > sizeof r.buf) ldxerr(s.ctx, LDX_ERR_LITLEN);
      std::memcpy(r.buf + r.size, s.p, len);
      r.size += len;
      s.step();
      break;
    }
    case Mode::Cursor: {
      const size_t before = s.n;
      lxoCpChar(&r.out, lxmleft(&r.out), &s.cur, s.n, 0, s.glo);
      if (s.glo->status == LXS_SMALL) ldxerr(s.ctx, LDX_ERR_LITLEN);
      s.sync();
      if (s.n == before) s.step();  // a character cut off by the end
      r.size = size_t(r.out.pos - r.out.start);
      break;
    }
  }
  if (!space) r.spaces = false;
  if (r.spaces) r.lead = r.size;
  // A UTF-16 run converts to at least half its bytes.
  if (r.size > LDX_LITMAX * (s.mode == Mode::Units ? kUnit : 1)) ldxerr(s.ctx, LDX_ERR_LITLEN);
}

// Collects the literal text that stands before the next element: quoted
// text and every character that is neither a letter nor a digit. Returns
// true when it holds text.
bool collect_run(Scan &s, Run &r) {
  if (s.mode == Mode::Cursor) lxmopen(r.buf, sizeof r.buf, &r.out, s.h, s.glo, 1);
  while (!s.end()) {
    if (s.is(s.quote())) {
      r.quoted = true;
      s.step();
      while (!s.end() && !s.is(s.quote())) take_char(s, r, (s.cls() & kClsSpace) != 0);
      if (!s.end()) s.step();
      continue;
    }
    const uint16_t c = s.cls();
    if (c & (kClsAlpha | kClsDigit)) break;
    if (s.mode == Mode::Units && !s.single()) ldxerr(s.ctx, LDX_ERR_UNKNOWN);
    take_char(s, r, (c & kClsSpace) != 0);
  }
  if (s.mode == Mode::Cursor && r.out.shift_sensitive && r.out.shifted) {
    if (r.size >= sizeof r.buf) ldxerr(s.ctx, LDX_ERR_LITLEN);
    r.buf[r.size++] = s.h->shift_in;
  }
  return r.size > 0;
}

// Stores a collected literal in the compiled format; text read in 2-byte
// units is stored converted to UTF-8.
void store_collected(Scan &s, Run &r, ldx_format **out, size_t *room, const lxcsobj *utf8) {
  if (s.mode != Mode::Units) {
    store_run(s.ctx, out, room, r.buf, r.size, r.lead, r.quoted);
    return;
  }
  const lxcsobj *src = charset_of(s.ctx->lang, s.glo);
  if (!src || !utf8) ldxerr(s.ctx, LDX_ERR_NLSFAIL);
  uint8_t conv[kLitConv];
  s.glo->status = 0;
  const size_t m = lxgcnv(conv, utf8, sizeof conv, r.buf, src, r.size, s.glo);
  if (s.glo->status != 0) ldxerr(s.ctx, LDX_ERR_NLSFAIL);
  // Leading spaces are ASCII units: one byte each in UTF-8.
  store_run(s.ctx, out, room, conv, m, r.lead / kUnit, r.quoted);
}

// Consumes the k characters of a name or suffix that matched.
void consume(Scan &s, size_t k) {
  while (k-- && !s.end()) s.step();
}

// The keyword search at the scanner over the rows from first on.
const ldx_kwrow *search(const Scan &s, const ldx_kwrow *first) {
  switch (s.mode) {
    case Mode::Bytes: return ldxmfncom(s.ctx, s.p, s.n, first, s.h, s.bar(), 1);
    case Mode::Units: return ldxmfnu(s.ctx, s.p, s.n, first, s.h);
    case Mode::Cursor: return ldxmfn(s.ctx, s.p, s.n, first);
  }
  return nullptr;
}

// Case flags of the element whose first letter is at the scanner, from how
// it is written: none when that letter is lower case (or the element is one
// character long); else the next letter (the second character, or the third
// when the second is no letter) asks for initial capitals when it is lower
// case, and upper case otherwise or when there is none.
uint8_t case_flags(const Scan &s) {
  if (s.chars_left(2) < 2 || !(s.cls() & kClsUpper)) return 0;
  const Scan second = s.ahead(1);
  uint16_t c = second.cls();
  if (!(c & kClsAlpha)) {
    const Scan third = second.ahead(1);
    if (third.end()) return LDX_F_UPPER;
    c = third.cls();
    if (!(c & kClsAlpha)) return LDX_F_UPPER;
  }
  return (c & kClsLower) ? LDX_F_INITCAP : LDX_F_UPPER;
}

int expansion_item(int code) {
  return code == LDX_DL ? kItemDL : code == LDX_DS ? kItemDS : kItemTS;
}

// Replaces the text by the language's expansion of a DL, DS or TS element;
// the text after the element is taken up again when the expansion ends.
void expand(Scan &s, ldx_exp *exp, int code) {
  // Only one expansion is pending at a time: DL inside DL would never end.
  if (exp->resume || !s.ctx->lang) ldxerr(s.ctx, LDX_ERR_NLSFAIL);
  exp->pos = s.p;
  exp->len = s.n;
  exp->resume = 1;
  std::memset(exp->buf, 0, sizeof exp->buf);
  lxhlinfo(s.ctx->lang, expansion_item(code), reinterpret_cast<char *>(exp->buf), sizeof exp->buf,
           s.glo);
  const size_t len = (s.ctx->lang->flags & LXH_F_WIDE)
                         ? lxsulen(exp->buf)
                         : strnlen(reinterpret_cast<const char *>(exp->buf), sizeof exp->buf);
  if (len == 0) ldxerr(s.ctx, LDX_ERR_NLSFAIL);
  s.reset(exp->buf, len);
}

// One element per call: the rules shared by every way of reading.
int compile_one(Scan &s, ldx_format **out, size_t *room, ldx_exp *exp, const lxcsobj *utf8) {
  ldx_ctx *ctx = s.ctx;
  const ldx_kwrow *names = s.ascii ? ldxfda : ldxfde;
  const ldx_kwrow *suffixes = s.ascii ? ldxfdx : ldxfdy;
  for (;;) {
    if (s.end()) {
      if (exp->resume) {
        exp->resume = 0;
        s.reset(exp->pos, exp->len);
        continue;
      }
      put_pair(ctx, out, room, LDX_END, ctx->compile_state);
      return LDX_END;
    }
    if (s.is(s.bar())) {
      s.step();
      if (s.end()) continue;
    }
    {
      Run r;
      if (collect_run(s, r)) {
        store_collected(s, r, out, room, utf8);
        return LDX_LIT;
      }
    }
    if (s.end()) continue;
    // Element start: a single-byte letter with a row in the index.
    if (!s.single() || !(s.cls() & kClsAlpha)) ldxerr(ctx, LDX_ERR_UNKNOWN);
    const int letter = letter_index(byte_upper(s.cs, s.byte()), s.ascii);
    if (letter < 0 || ldxfdi[letter] == INT32_MAX) ldxerr(ctx, LDX_ERR_UNKNOWN);
    const ldx_kwrow *row = search(s, names + ldxfdi[letter]);
    if (!row) ldxerr(ctx, LDX_ERR_UNKNOWN);
    const int code = row->code;
    if (code == LDX_DL || code == LDX_DS || code == LDX_TS) {
      consume(s, row->len);
      expand(s, exp, code);
      continue;
    }
    uint8_t flags = case_flags(s);
    consume(s, row->len);
    if (!(ldxfcd[code].attr & LDX_A_TEXT) && !s.end()) {
      if (const ldx_kwrow *suf = search(s, suffixes)) {
        flags |= uint8_t(suf->code);
        consume(s, suf->len);
      }
    }
    if (code == LDX_FM) {
      ctx->compile_state ^= kFill;
      continue;
    }
    put_pair(ctx, out, room, uint8_t(code), uint8_t(ctx->compile_state | flags));
    return code;
  }
}

// Walks the text (AL16UTF16 aside) by characters: outside quotes only
// single-byte characters may stand (1821); in a set of 2-byte units none.
void prescan(ldx_ctx *ctx, const uint8_t *text, size_t len, bool ascii) {
  Scan s{ctx, ctx->glo, Mode::Cursor, ascii, ctx->lang, charset_of(ctx->lang, ctx->glo),
         nullptr, 0, {}};
  s.reset(text, len);
  const bool wide = (ctx->lang->flags & LXH_F_WIDE) != 0;
  bool quoted = false;
  while (!s.end()) {
    if (s.is(s.quote())) quoted = !quoted;
    else if (!quoted && (wide || !s.single())) ldxerr(ctx, LDX_ERR_UNKNOWN);
    s.step();
  }
}

// The UTF-16 compile's pair of UTF-8 handles and their charset.
struct Utf8Handles {
  lxlangid first, second;
  const lxcsobj *cs;
};

void build_utf8(ldx_ctx *ctx, Utf8Handles &u) {
  static const char kUtf8[] = ".utf8";
  if (!lxhLaToId(kUtf8, 0, &u.first, 0, ctx->glo) || !lxhLaToId(kUtf8, 0, &u.second, 0, ctx->glo))
    ldxerr(ctx, LDX_ERR_NLSFAIL);
  u.cs = charset_of(&u.second, ctx->glo);
  if (!u.cs) ldxerr(ctx, LDX_ERR_NLSFAIL);
}

// Per-code counts of an input format and its checks.
struct InputChecks {
  uint8_t seen[LDX_NCODES] = {};

  void element(ldx_ctx *ctx, int code) {
    if (code == LDX_LIT || code == LDX_END) return;
    if (code >= LDX_CC && code <= LDX_W && code != LDX_Y && code != LDX_YY && code != LDX_YYY &&
        code != LDX_YYYY && code != LDX_Y_YYY && code != LDX_SYYYY && code != LDX_SY_YYY &&
        code != LDX_MM)
      ldxerr(ctx, LDX_ERR_INPUT);
    if (code != LDX_FM && code != LDX_FX && seen[code]) ldxerr(ctx, LDX_ERR_TWICE);
    if (seen[code] < UINT8_MAX) ++seen[code];
  }
  void groups(ldx_ctx *ctx) const {
    for (const ldx_pmxrow *g = ldxpmxa; g->err != 0; ++g) {
      unsigned total = 0;
      for (const uint8_t *c = g->codes; *c; ++c) total += seen[*c];
      if (total > 1) ldxerr(ctx, g->err);
    }
  }
};

size_t compile(ldx_ctx *ctx, const void *text, uint8_t len, ldx_format *out, uint8_t room,
               bool input) {
  const int held = ldxlxi(ctx);
  const lxlangid *h = ctx->lang;
  const auto *t = static_cast<const uint8_t *>(text);
  ldx_format *pos = out;
  size_t left = room;
  const uint8_t *tp = t;
  size_t tlen = len;
  ldx_exp exp{};
  exp.start = t;
  InputChecks checks;
  const bool units = h && (h->flags & LXH_F_AL16UTF16);
  Utf8Handles u{};
  if (units) {
    build_utf8(ctx, u);
  } else if (h && !(h->flags & LXH_F_SINGLE)) {
    prescan(ctx, t, len, lxhasc(h, ctx->glo) != 0);
  }
  ctx->compile_state = kFill;
  for (;;) {
    const int code = units ? ldxsnfcom(ctx, &tp, &tlen, &pos, &left, &exp, &u.first, &u.second,
                                       u.cs, 0, 1)
                           : ldxsnf(ctx, &tp, &tlen, &pos, &left, &exp);
    if (input) checks.element(ctx, code);
    if (code == LDX_END) break;
  }
  if (input) checks.groups(ctx);
  ldxlxt(ctx, held);
  return size_t(pos - out);
}

}  // namespace

extern "C" {

size_t ldxsto(ldx_ctx *ctx, const void *text, uint8_t len, ldx_format *out, uint8_t room) {
  return compile(ctx, text, len, out, room, false);
}

size_t ldxsti(ldx_ctx *ctx, const void *text, uint8_t len, ldx_format *out, uint8_t room) {
  return compile(ctx, text, len, out, room, true);
}

int ldxsnf(ldx_ctx *ctx, const uint8_t **pos, size_t *len, ldx_format **out, size_t *room,
           ldx_exp *exp) {
  const lxlangid *h = ctx->lang;
  const bool ascii = !h || lxhasc(h, ctx->glo) != 0;
  if (!h || (h->flags & LXH_F_BYTEWISE))
    return ldxsnfcom(ctx, pos, len, out, room, exp, h, h, nullptr, 1, ascii ? 1 : 0);
  Scan s{ctx, ctx->glo, Mode::Cursor, ascii, h, charset_of(h, ctx->glo), nullptr, 0, {}};
  s.reset(*pos, *len);
  const int code = compile_one(s, out, room, exp, nullptr);
  *pos = s.p;
  *len = s.n;
  return code;
}

int ldxsnfcom(ldx_ctx *ctx, const uint8_t **pos, size_t *len, ldx_format **out, size_t *room,
              ldx_exp *exp, const lxlangid *h1, const lxlangid *h2, const lxcsobj *utf8,
              int bytes, int ascii) {
  const Mode mode = bytes ? Mode::Bytes : Mode::Units;
  if (mode == Mode::Units && !utf8) utf8 = charset_of(h2, ctx->glo);
  Scan s{ctx, ctx->glo, mode, mode == Mode::Units || ascii != 0, h1, charset_of(h1, ctx->glo),
         nullptr, 0, {}};
  s.reset(*pos, *len);
  const int code = compile_one(s, out, room, exp, utf8);
  *pos = s.p;
  // A half unit left at the end of a UTF-16 text is dropped with it.
  *len = s.n;
  return code;
}

const ldx_kwrow *ldxmfncom(ldx_ctx *ctx, const uint8_t *text, size_t len, const ldx_kwrow *first,
                           const lxlangid *h, int sep, int bytes) {
  const lxcsobj *cs = charset_of(h, ctx->glo);
  uint8_t key[kMatchChars];
  size_t n = 0;
  const size_t step = bytes ? 1 : kUnit;
  for (size_t i = 0; n < kMatchChars && i + step <= len; i += step) {
    if (!bytes && text[i] != 0) break;  // a unit outside the single-byte range
    const uint8_t b = bytes ? text[i] : text[i + 1];
    if (b == uint8_t(sep)) break;
    key[n++] = byte_upper(cs, b);
  }
  return longest_match(key, n, first);
}

const ldx_kwrow *ldxmfnu(ldx_ctx *ctx, const uint8_t *text, size_t len, const ldx_kwrow *first,
                         const lxlangid *h) {
  return ldxmfncom(ctx, text, len, first, h, kBarAscii, 0);
}

const ldx_kwrow *ldxmfn(ldx_ctx *ctx, const uint8_t *text, size_t len, const ldx_kwrow *first) {
  const lxlangid *h = ctx->lang;
  const bool ascii = !h || lxhasc(h, ctx->glo) != 0;
  if (!h) return ldxmfncom(ctx, text, len, first, h, kBarAscii, 1);
  const uint8_t sep = ascii ? kBarAscii : kBarEbcdic;
  Scan s{ctx, ctx->glo, Mode::Cursor, ascii, h, charset_of(h, ctx->glo), nullptr, 0, {}};
  s.reset(text, len);
  // The first characters up to the separator or a multibyte character.
  uint8_t key[kMatchChars];
  size_t n = 0;
  while (n < kMatchChars && !s.end() && s.single() && !s.is(sep)) {
    key[n++] = s.byte();
    s.step();
  }
  return ldxmfncom(ctx, key, n, first, h, sep, 1);
}

}  // extern "C"
