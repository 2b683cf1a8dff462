// Date rendering (ldxdts): writes a Gregorian date as text under a compiled
// date format, in the charset and language of the date context's handle.
//
// The date is first converted into the handle's calendar (lxeg2u); elements
// read the calendar date L or the Gregorian date G as each element's rule
// says. Names (months, days, the morning and afternoon words, eras) come
// from NLS data or the calendar, numbers are written through the integer
// writer or spelled in English, and every element follows the case and
// padding flags the compiler stored. Every text is checked against the room
// left before it is written: text that does not fit raises 1801.
//
// An AL16UTF16 handle renders in UTF-8 under a temporary twin of the handle
// (ldxlid16to8) into the first half of the caller's buffer; the text is then
// converted to UTF-16 in place, within the caller's room, and the UTF-16
// byte count is returned. The context's handle pointer is restored before
// every return and every raise, also a raise of another operation of the
// library that the renderer calls (the context's callback is wrapped for the
// length of the call).
//
// Records: the renderer's state (Render) lives on the caller's stack for one
// call and holds only plain data, so an error that long-jumps out of the
// call leaves nothing behind. Callers: the NUMBER text formatter's date mode.
#include <cstring>

#include "ldx.h"
#include "lxd.h"
#include "lxe.h"
#include "lxh.h"
#include "lxm.h"
#include "lxo.h"
#include "lxsp.h"

extern "C" {

// Fixed period forms: A.D., A.M., B.C., P.M. (flag 1 for the second of each
// pair), ended by an empty row; the same in EBCDIC (code page 037).
const ldx_kwrow ldxpaa[] = {
    {{'A', '.', 'D', '.'}, 4, 0}, {{'A', '.', 'M', '.'}, 4, 0}, {{'B', '.', 'C', '.'}, 4, 1},
    {{'P', '.', 'M', '.'}, 4, 1}, {{0}, 0, 0}};
const ldx_kwrow ldxpae[] = {
    {{'\xC1', '\x4B', '\xC4', '\x4B'}, 4, 0}, {{'\xC1', '\x4B', '\xD4', '\x4B'}, 4, 0},
    {{'\xC2', '\x4B', '\xC3', '\x4B'}, 4, 1}, {{'\xD7', '\x4B', '\xD4', '\x4B'}, 4, 1},
    {{0}, 0, 0}};

}  // extern "C"

namespace {

constexpr size_t kWork = 256;          // work buffers of built, padded and cased texts
constexpr size_t kPadLimit = 255;      // longest padded text
constexpr size_t kRomanWidth = 4;      // the RM field
constexpr size_t kUtf8Chunk = 127;     // UTF-8 bytes converted to UTF-16 at a time
constexpr size_t kMaxDigits = 10;      // decimal digits of a 32-bit value

// Rows of the fixed period forms.
constexpr int kRowAD = 0, kRowAM = 1, kRowBC = 2, kRowPM = 3;

// NLS text items.
constexpr int kItemMonth = 13;         // + month: full month names (14 to 25)
constexpr int kItemMon = 25;           // + month: abbreviated month names (26 to 37)
constexpr int kItemDy = 6;             // + x: abbreviated day names (7 to 13)
constexpr int kItemAm = 40, kItemPm = 41, kItemAd = 42, kItemBc = 43;
// NLS numeric items.
constexpr int kItemNameWidth = 93;     // + selector: widths of MONTH, MON, DAY, DY

// Calendar requests: result capacities and the bytes taken of a result.
constexpr uint16_t kMonthNameRoom = 81, kEraRoom = 31;
constexpr size_t kMonthCut = 30, kMonCut = 15, kEraCut = 15, kEraNameCut = 30;

constexpr int kDaysInWeek = 7;
constexpr int32_t kSunday = 2445029;   // day number of a Sunday (1982-02-28)
constexpr int kHalfDay = 12;
constexpr int32_t kSecondsPerHour = 3600, kSecondsPerMinute = 60;

// The statuses of NLS calls that have an error of their own (the others
// give 1890): output too small, an invalid number, no Roman month, and the
// calendar conversion's failures.
constexpr uint32_t kStInvalid = 9, kStNoRomanMonth = 12;

int status_error(uint32_t status) {
  switch (status) {
    case LXS_SMALL: return LDX_ERR_ROOM;
    case kStInvalid: return LDX_ERR_NUMBER;
    case kStNoRomanMonth: return LDX_ERR_MONTH;
    case LXE_ST_NOMATCH: return LDX_ERR_CALMATCH;
    case LXE_ST_NOSTART: return LDX_ERR_MONTH;
    case LXE_ST_EPOCH: return LDX_ERR_CALCYCLE;
    case LXE_ST_ERA: return LDX_ERR_CALERA;
    case LXE_ST_NOERA: return LDX_ERR_CALNOERA;
    default: return LDX_ERR_NLSFAIL;
  }
}

// The characters the renderer writes itself, by the charset's alphabet.
struct Alphabet {
  uint8_t space;
  uint8_t minus;
  const ldx_kwrow *periods;
};
constexpr Alphabet kAscii = {0x20, 0x2D, ldxpaa};
constexpr Alphabet kEbcdic = {0x40, 0x60, ldxpae};

// While an AL16UTF16 handle renders under its twin, the context's callback
// is this record's: every error, raised here or by the library's other
// operations, first gives the context back the caller's handle and
// callback.
struct Twin {
  const lxlangid *saved;      // the caller's AL16UTF16 handle
  ldx_errf callback;          // the caller's callback and its argument
  void *cbarg;
};

void give_back(ldx_ctx *ctx, const Twin &t) {
  ctx->lang = t.saved;
  ctx->callback = t.callback;
  ctx->cbarg = t.cbarg;
}

void twin_error(void *c, int err) {
  auto *ctx = static_cast<ldx_ctx *>(c);
  const Twin t = *static_cast<const Twin *>(ctx->cbarg);
  give_back(ctx, t);
  t.callback(ctx, err);
}

struct Render {
  ldx_ctx *ctx;
  lxglo *glo;
  const lxlangid *h;          // the handle rendered in (the UTF-8 twin for AL16UTF16)
  const Twin *twin;           // the caller's handle and callback, or NULL
  const Alphabet *abc;
  bool wide;                  // text in 2-byte units
  bool plain_digits;          // digits are single ASCII bytes written as they are
  lxmcur out;
  ldx_date g;                 // the Gregorian date
  ldx_date l;                 // the date in the handle's calendar
  int32_t era;
};

// Opens a cursor for writing over buf[0..size) in the handle's charset
// (its first byte is set: the buffer is not read before it is written).
void open_out(Render &r, lxmcur *cur, void *buf, size_t size) {
  if (size) static_cast<char *>(buf)[0] = 0;
  lxmopen(buf, size, cur, r.h, r.glo, 1);
}

[[noreturn]] void raise(Render &r, int err) { ldxerr(r.ctx, err); }

[[noreturn]] void raise_status(Render &r) { raise(r, status_error(r.glo->status)); }

// Copies n bytes of text in the handle's charset (beginning shifted in) to
// the cursor, with the shift bytes a shift-sensitive cursor needs.
void put(Render &r, lxmcur *dst, const void *text, size_t n) {
  if (n == 0) return;
  const size_t room = lxmleft(dst);
  if (n > room) raise(r, LDX_ERR_ROOM);
  if (!dst->shift_sensitive) {
    std::memcpy(dst->pos, text, n);
    dst->pos += n;
    return;
  }
  lxoCpToOp(dst, room, text, n, LXO_EXACTLEN, r.glo);
  if (r.glo->nbytes < n) raise(r, LDX_ERR_ROOM);
}

// One character of the alphabet (a space or a minus sign).
void put_char(Render &r, lxmcur *dst, uint8_t c) {
  const uint8_t unit[2] = {0, c};
  if (r.wide)
    put(r, dst, unit, sizeof unit);
  else
    put(r, dst, &c, 1);
}

// A text item of the handle into buf (kWork bytes); its length.
size_t item_text(Render &r, int item, char *buf) {
  lxmcur wc;
  open_out(r, &wc, buf, kWork);
  lxlinfo(&wc, kWork, item, r.glo);
  if (r.glo->status) raise_status(r);
  return size_t(wc.pos - wc.start);
}

int32_t nls_number(Render &r, int item) {
  const int32_t v = lxhninfo(r.h, item, r.glo);
  if (v < 0 || r.glo->status) raise_status(r);
  return v;
}

uint32_t case_flags(uint8_t flags) {
  if (flags & LDX_F_UPPER) return LXO_CASE_UPPER;
  if (flags & LDX_F_INITCAP) return LXO_CASE_INITCAP;
  return 0;
}

// Case-converts text[0..n) into out (kWork bytes); the converted length.
// A single-byte set without a linguistic sort converts byte for byte
// through its tables, which lxsCnvSimple does without a cursor.
size_t convert_case(Render &r, const char *text, size_t n, uint32_t mode, char *out) {
  if (r.h->flags & LXH_F_BYTEWISE) {
    static_assert(LXS_CASE_UPPER == LXO_CASE_UPPER && LXS_CASE_INITCAP == LXO_CASE_INITCAP);
    lxsCnvSimple(out, text, n, LXO_EXACTLEN | mode, r.h, r.glo);
    return n;
  }
  const size_t m = lxsCnvCase(out, kWork, text, n, LXO_EXACTLEN | mode, r.h, r.glo);
  if (r.glo->status) raise_status(r);
  return m;
}

// A text element: padded to its width unless fill mode or the element says
// otherwise, then case-converted as its flags ask.
void put_text(Render &r, int code, uint8_t flags, const char *text, size_t n) {
  const uint8_t attr = ldxfcd[code].attr;
  char padded[kWork];
  char cased[kWork];
  if ((flags & LDX_F_PAD) && !(attr & LDX_A_NOPAD)) {
    const size_t width = code == LDX_RM
                             ? kRomanWidth
                             : size_t(nls_number(r, kItemNameWidth + (attr & LDX_A_WIDTH)));
    const size_t cols = lxsCntDisp(text, n, LXO_EXACTLEN, r.h, r.glo);
    if (cols < width) {
      if (n + 2 * (width - cols) > kPadLimit) raise(r, LDX_ERR_ROOM);
      lxdprl(text, n, padded, kWork, width, nullptr, LXD_PAD_RIGHT, r.h, r.glo);
      // A pad character two columns wide may leave one column unfilled.
      if (r.glo->status && r.glo->status != LXD_ST_SHORT) raise_status(r);
      n = r.glo->nbytes2;
      text = padded;
    }
  }
  if (const uint32_t mode = case_flags(flags)) {
    if ((r.h->flags & LXH_F_BYTEWISE) && !r.out.shift_sensitive) {
      // byte for byte: converted straight into the output
      if (n > lxmleft(&r.out)) raise(r, LDX_ERR_ROOM);
      lxsCnvSimple(r.out.pos, text, n, LXO_EXACTLEN | mode, r.h, r.glo);
      r.out.pos += n;
      return;
    }
    n = convert_case(r, text, n, mode, cased);
    text = cased;
  }
  put(r, &r.out, text, n);
}

// A name from NLS text item item.
void put_item(Render &r, int code, uint8_t flags, int item) {
  char text[kWork];
  const size_t n = item_text(r, item, text);
  put_text(r, code, flags, text, n);
}

// The bytes of text[0..n) that fit in cut bytes without splitting a
// character.
size_t cut_text(Render &r, const char *text, size_t n, size_t cut) {
  if (n <= cut) return n;
  char scratch[kWork];
  lxmcur wc;
  open_out(r, &wc, scratch, cut);
  lxoCpToOp(&wc, cut, text, n, LXO_EXACTLEN, r.glo);
  return r.glo->nbytes;
}

// A month or era text of a calendar other than the Gregorian one.
size_t calendar_text(Render &r, int kind, int32_t n, uint16_t capacity, size_t cut, char *buf) {
  lxeireq req{};
  req.len = capacity;
  req.glo = r.glo;
  req.in.n = n;
  req.out.text = buf;
  if (!lxeifnd(r.h, &req, kind)) raise_status(r);
  return cut_text(r, buf, req.len, cut);
}

// A fixed period form, written in lower case before the element's case.
void put_period(Render &r, int code, uint8_t flags, int row) {
  const ldx_kwrow &form = r.abc->periods[row];
  char lower[kWork];
  const size_t n = convert_case(r, form.name, form.len, LXO_CASE_LOWER, lower);
  put_text(r, code, flags, lower, n);
}

// The day of year of G: months before, the day, and the leap day.
int32_t day_of_year(Render &r) {
  const int m = r.g.month;
  if (m < 1 || m > 12) raise(r, LDX_ERR_MONTH);
  return ldxdom[m] + r.g.day + ((m > 2 && ldxleap(r.g.year)) ? 1 : 0);
}

int32_t day_number(Render &r) { return ldxctj(r.ctx, r.g.year, r.g.month, r.g.day); }

int32_t century(int32_t y) { return y >= 1 ? (y - 1) / 100 + 1 : -1 - (-1 - y) / 100; }

int32_t hour12(int32_t h) { return h > kHalfDay ? h - kHalfDay : h == 0 ? kHalfDay : h; }

// The decimal digits of value, zero-filled to width (0: as many as needed),
// with a minus sign in front of a negative value: what the integer writer
// writes in a set whose digits are single ASCII bytes without shift states,
// written here for the fields of a date without a call per field.
void put_digits(Render &r, lxmcur *dst, int32_t value, size_t width) {
  const bool negative = value < 0;
  uint32_t m = negative ? 0u - uint32_t(value) : uint32_t(value);
  char digits[kMaxDigits];
  size_t n = 0;
  do {
    digits[kMaxDigits - ++n] = char('0' + m % 10);
    m /= 10;
  } while (m != 0);
  const size_t need = n + (negative ? 1 : 0);
  const size_t field = width ? width : need;
  if (field < need || field > lxmleft(dst)) raise(r, LDX_ERR_ROOM);
  uint8_t *p = dst->pos;
  size_t at = 0;
  if (negative) p[at++] = '-';
  while (at < field - n) p[at++] = '0';
  std::memcpy(p + at, digits + kMaxDigits - n, n);
  dst->pos += field;
}

// A numeric element: sign, then the value spelled or in digits with its
// ordinal suffix; built in a work buffer when a case flag applies to words.
void put_number(Render &r, int code, uint8_t flags, int32_t value) {
  const uint8_t attr = ldxfcd[code].attr;
  const uint32_t mode = (flags & (LDX_F_SP | LDX_F_TH)) ? case_flags(flags) : 0;
  char work[kWork];
  lxmcur wc;
  lxmcur *dst = &r.out;
  if (mode) {
    open_out(r, &wc, work, kWork);
    dst = &wc;
  }
  size_t width = (flags & LDX_F_PAD) ? attr & LDX_A_WIDTH : 0;
  if (attr & LDX_A_SIGNED) {
    if (value >= 0) {
      if (width) --width;
      if (code != LDX_NYYYY) put_char(r, dst, r.abc->space);
    }
  } else if (value < 0) {
    value = -value;
  }
  if (flags & LDX_F_SP) {
    // A negative signed value: the sign, then its magnitude in words.
    if (value < 0) {
      put_char(r, dst, r.abc->minus);
      value = -value;
    }
    char words[kWork];
    const char *end = lxspln(r.h, uint32_t(value), words, kWork,
                             (flags & LDX_F_TH) ? LXSPL_ORDINAL : 0, r.glo);
    if (!end) raise(r, LDX_ERR_ROOM);
    put(r, dst, words, size_t(end - words));
  } else {
    if (r.plain_digits && !(attr & LDX_A_GROUPS)) {
      put_digits(r, dst, value, width);
    } else {
      const uint32_t fmt = LXS_NUM_DEC | ((attr & LDX_A_GROUPS) ? LXS_NUM_GROUP : 0);
      if (!lxoCnvIntToNumStr(dst, lxmleft(dst), value, width, fmt, r.glo)) raise_status(r);
    }
    if (flags & LDX_F_TH) {
      char suffix[kWork];
      const char *end = lxsplth(r.h, uint32_t(value < 0 ? -value : value), suffix, kWork, r.glo);
      if (!end) raise(r, LDX_ERR_ROOM);
      put(r, dst, suffix, size_t(end - suffix));
    }
  }
  if (mode) {
    char cased[kWork];
    const size_t n = convert_case(r, work, size_t(wc.pos - wc.start), mode, cased);
    put(r, &r.out, cased, n);
  }
}

// YEAR and SYEAR: the year spelled as read aloud.
void put_year_words(Render &r, int code, uint8_t flags) {
  char text[kWork];
  lxmcur wc;
  open_out(r, &wc, text, kWork);
  const int32_t y = r.l.year;
  if (code == LDX_SYEAR) put_char(r, &wc, y < 0 ? r.abc->minus : r.abc->space);
  const size_t used = size_t(wc.pos - wc.start);
  const char *end = lxsply(r.h, y < 0 ? -y : y, text + used, kWork - used, r.glo);
  if (!end) raise(r, LDX_ERR_ROOM);
  put_text(r, code, flags, text, size_t(end - text));
}

// The day of the week as an index of the day names: 0 is Sunday. The names
// are ldxdow's day counted from the territory's first day, moved back by
// that first day, so the first day cancels out: the index is the day
// number's distance from a Sunday.
int day_index(Render &r) {
  const int32_t x = (day_number(r) - kSunday) % kDaysInWeek;
  return int(x < 0 ? x + kDaysInWeek : x);
}

void put_month_name(Render &r, int code, uint8_t flags) {
  const bool full = code == LDX_MONTH;
  if (r.l.month < 1 || r.l.month > 12) raise(r, LDX_ERR_MONTH);
  if (r.h->cal == 0) {
    put_item(r, code, flags, (full ? kItemMonth : kItemMon) + r.l.month);
    return;
  }
  char text[kWork];
  const size_t n = calendar_text(r, full ? LXE_I_MONNAME : LXE_I_MONABBR, r.l.month,
                                 kMonthNameRoom, full ? kMonthCut : kMonCut, text);
  put_text(r, code, flags, text, n);
}

void put_era(Render &r, int code) {
  if (r.h->cal == 0) raise(r, LDX_ERR_NOERA);
  char text[kWork];
  const bool abbr = code == LDX_E;
  const size_t n = calendar_text(r, abbr ? LXE_I_ERAABBR : LXE_I_ERANAME, r.era, kEraRoom,
                                 abbr ? kEraCut : kEraNameCut, text);
  put(r, &r.out, text, n);
}

void put_roman_month(Render &r, uint8_t flags) {
  char text[kWork];
  lxmcur wc;
  open_out(r, &wc, text, kWork);
  if (!lxoCnvIntToNumStr(&wc, kWork, r.l.month, 0, LXS_NUM_ROMAN, r.glo)) raise_status(r);
  put_text(r, LDX_RM, flags, text, size_t(wc.pos - wc.start));
}

void put_element(Render &r, int code, uint8_t flags) {
  const ldx_date &g = r.g, &l = r.l;
  const bool american = (r.h->flags & LXH_F_DATE_AMERICAN) != 0;
  switch (code) {
    case LDX_CC:
    case LDX_SCC: return put_number(r, code, flags, century(g.year));
    case LDX_I: return put_number(r, code, flags, ldxisy(r.ctx, &l) % 10);
    case LDX_IY: return put_number(r, code, flags, ldxisy(r.ctx, &l) % 100);
    case LDX_IYY: return put_number(r, code, flags, ldxisy(r.ctx, &l) % 1000);
    case LDX_IYYY: return put_number(r, code, flags, ldxisy(r.ctx, &l));
    case LDX_Y: return put_number(r, code, flags, l.year % 10);
    case LDX_YY:
    case LDX_RR: return put_number(r, code, flags, l.year % 100);
    case LDX_YYY: return put_number(r, code, flags, l.year % 1000);
    case LDX_YYYY:
    case LDX_Y_YYY:
    case LDX_SYYYY:
    case LDX_SY_YYY:
    case LDX_RRRR:
    case LDX_NYYYY: return put_number(r, code, flags, l.year);
    case LDX_YEAR:
    case LDX_SYEAR: return put_year_words(r, code, flags);
    case LDX_Q: return put_number(r, code, flags, (l.month + 2) / 3);
    case LDX_MM: return put_number(r, code, flags, l.month);
    case LDX_IW: return put_number(r, code, flags, ldxisw(r.ctx, &g));
    case LDX_WW: return put_number(r, code, flags, (day_of_year(r) + 6) / kDaysInWeek);
    case LDX_W: return put_number(r, code, flags, (l.day + 6) / kDaysInWeek);
    case LDX_D: return put_number(r, code, flags, ldxdow(r.ctx, day_number(r)));
    case LDX_DD: return put_number(r, code, flags, l.day);
    case LDX_DDD: return put_number(r, code, flags, day_of_year(r));
    case LDX_HH24: return put_number(r, code, flags, l.hour);
    case LDX_HH: return put_number(r, code, flags, hour12(l.hour));
    case LDX_MI: return put_number(r, code, flags, l.minute);
    case LDX_SS: return put_number(r, code, flags, l.second);
    case LDX_SSSSS:
      return put_number(r, code, flags,
                        l.hour * kSecondsPerHour + l.minute * kSecondsPerMinute + l.second);
    case LDX_J: return put_number(r, code, flags, day_number(r));
    case LDX_MONTH:
    case LDX_MON: return put_month_name(r, code, flags);
    case LDX_DAY: return put_item(r, code, flags, day_index(r));
    case LDX_DY: return put_item(r, code, flags, kItemDy + 1 + day_index(r));
    case LDX_A_M_:
      if (american) return put_period(r, code, flags, l.hour < kHalfDay ? kRowAM : kRowPM);
      [[fallthrough]];
    case LDX_AM: return put_item(r, code, flags, l.hour < kHalfDay ? kItemAm : kItemPm);
    case LDX_A_D_:
      if (american) return put_period(r, code, flags, l.year >= 0 ? kRowAD : kRowBC);
      [[fallthrough]];
    case LDX_AD: return put_item(r, code, flags, l.year >= 0 ? kItemAd : kItemBc);
    case LDX_RM: return put_roman_month(r, flags);
    case LDX_E:
    case LDX_EE: return put_era(r, code);
    default: raise(r, LDX_ERR_NLS);
  }
}

// The end of the format: the closing shift-in, the terminator when room
// remains; the bytes written before the terminator.
size_t finish(Render &r) {
  lxmcur &out = r.out;
  if (out.shift_sensitive && out.shifted) {
    if (lxmleft(&out) == 0) raise(r, LDX_ERR_ROOM);
    *out.pos++ = r.h->shift_in;
    out.shifted = 0;
  }
  const size_t n = size_t(out.pos - out.start);
  const size_t nul = r.wide ? 2 : 1;
  if (lxmleft(&out) >= nul) std::memset(out.pos, 0, nul);
  return n;
}

// AL16UTF16: the UTF-8 text out[0..n) becomes UTF-16 within len bytes. The
// text is moved to the end of the buffer and converted a run at a time to the
// front: n is at most len / 2 and a UTF-8 byte never gives more than two
// UTF-16 bytes, so the front never reaches text not yet converted.
size_t to_utf16(Render &r, uint8_t *out, size_t len, size_t n) {
  uint8_t *src = out + len - n;
  std::memmove(src, out, n);
  size_t written = 0;
  uint8_t stage[kWork];
  while (n > 0) {
    size_t take = n < kUtf8Chunk ? n : kUtf8Chunk;
    // never split a character: back off continuation bytes (10xxxxxx)
    while (take < n && take > 0 && (src[take] & 0xC0) == 0x80) --take;
    if (take == 0) raise(r, LDX_ERR_NLSFAIL);
    const int m = ldxutf8to16(r.ctx, src, take, stage, sizeof stage);
    if (m < 0 || r.glo->nbytes != take) raise(r, LDX_ERR_NLSFAIL);
    if (written + size_t(m) > len) raise(r, LDX_ERR_ROOM);
    std::memcpy(out + written, stage, size_t(m));
    written += size_t(m);
    src += take;
    n -= take;
  }
  if (len - written >= 2) out[written] = out[written + 1] = 0;
  return written;
}

}  // namespace

extern "C" size_t ldxdts(ldx_ctx *ctx, void *outp, uint16_t len, const ldx_date *date,
                         const ldx_format *fmt) {
  const int loaded = ldxlxi(ctx);
  Render r{};
  r.ctx = ctx;
  r.glo = ctx->glo;
  if (!ctx->lang) raise(r, LDX_ERR_NLS);
  lxlangid twin;
  Twin back{};
  uint16_t room = len;
  if (ctx->lang->flags & LXH_F_AL16UTF16) {
    back = Twin{ctx->lang, ctx->callback, ctx->cbarg};
    ctx->callback = twin_error;
    ctx->cbarg = &back;
    r.twin = &back;
    ldxlid16to8(ctx, &twin);
    room = uint16_t(len / 2);
  }
  r.h = ctx->lang;
  r.abc = (r.h->flags & LXH_F_ASCII) ? &kAscii : &kEbcdic;
  r.wide = (r.h->flags & LXH_F_WIDE) != 0;
  r.plain_digits = (r.h->flags & LXH_F_ASCII) && !r.wide && !(r.h->flags & LXH_F_SHIFT);
  r.g = *date;
  if (!lxeg2u(r.h, &r.l, date, &r.era, r.glo)) raise_status(r);
  if (!fmt) {
    ldxrdf(ctx, r.glo);
    fmt = ctx->deffmt;
  }
  open_out(r, &r.out, outp, room);
  const ldx_format *p = fmt;
  for (;;) {
    const int code = p[0];
    const uint8_t flags = p[1];
    p += 2;
    if (code == LDX_END) break;
    if (code > LDX_LIT) {
      const size_t n = size_t(code - LDX_LIT);
      if (n > lxmleft(&r.out)) raise(r, LDX_ERR_ROOM);
      size_t k = 0;
      while (k < n && p[k] != 0) ++k;
      put(r, &r.out, p, k);
      p += n;
    } else if (code != LDX_FX) {
      put_element(r, code, flags);
    }
  }
  size_t n = finish(r);
  if (r.twin) {
    n = to_utf16(r, static_cast<uint8_t *>(outp), len, n);
    give_back(ctx, back);
  }
  ldxlxt(ctx, loaded);
  return n;
}
