// The built-in NLS objects: the boot block, language AMERICAN, territory
// AMERICA, character set US7ASCII, the UTF-16 and wide pseudo character sets
// and the four stateful escape-sequence sets. Each is laid out in full, so
// that a reader of any header field or table directory stays inside it.
#include <bit>
#include <cstddef>
#include <cstring>

#include "lxf.h"
#include "lxl.h"

namespace {

template <size_t N>
struct Obj {
  alignas(8) uint8_t b[N] = {};
  constexpr void p8(size_t at, uint8_t v) { b[at] = v; }
  constexpr void p16(size_t at, uint16_t v) {
    if constexpr (std::endian::native == std::endian::little) {
      b[at] = (uint8_t)v;
      b[at + 1] = (uint8_t)(v >> 8);
    } else {
      b[at] = (uint8_t)(v >> 8);
      b[at + 1] = (uint8_t)v;
    }
  }
  constexpr void p32(size_t at, uint32_t v) {
    if constexpr (std::endian::native == std::endian::little) {
      p16(at, (uint16_t)v);
      p16(at + 2, (uint16_t)(v >> 16));
    } else {
      p16(at, (uint16_t)(v >> 16));
      p16(at + 2, (uint16_t)v);
    }
  }
  constexpr void name(size_t at, const char *s) {
    for (size_t i = 0; s[i]; ++i) b[at + i] = (uint8_t)s[i];
  }
};

// The built-in objects place every field at its offset in the records the
// readers use (lxl.h, lxc.h).

constexpr size_t slen(const char *s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

template <size_t N>
constexpr void header(Obj<N> &o, uint16_t type) {
  o.p32(offsetof(lxnlsobj, version), LX_BUILTINVERSION);
  o.p32(offsetof(lxnlsobj, release), LX_RELEASE);
  o.p32(offsetof(lxnlsobj, size), (uint32_t)N);
  o.p16(offsetof(lxnlsobj, type), type);
  o.p8(offsetof(lxnlsobj, magic), LX_OBJMAGIC);
  o.p8(offsetof(lxnlsobj, fmtflags), LX_FMT_BIGENDIAN | LX_FMT_ASCII);
}

// ---- Language AMERICAN ----------------------------------------------------

struct Text {
  unsigned field;
  const char *s;
};

constexpr Text kLangTexts[] = {
    {LXLAN_ABBR, "US"},
    {LXLAN_ABDAY + 2 * 0, "sun"},
    {LXLAN_ABDAY + 2 * 1, "mon"},
    {LXLAN_ABDAY + 2 * 2, "tue"},
    {LXLAN_ABDAY + 2 * 3, "wed"},
    {LXLAN_ABDAY + 2 * 4, "thu"},
    {LXLAN_ABDAY + 2 * 5, "fri"},
    {LXLAN_ABDAY + 2 * 6, "sat"},
    {LXLAN_DAY + 2 * 0, "sunday"},
    {LXLAN_DAY + 2 * 1, "monday"},
    {LXLAN_DAY + 2 * 2, "tuesday"},
    {LXLAN_DAY + 2 * 3, "wednesday"},
    {LXLAN_DAY + 2 * 4, "thursday"},
    {LXLAN_DAY + 2 * 5, "friday"},
    {LXLAN_DAY + 2 * 6, "saturday"},
    {LXLAN_ABMONTH + 2 * 0, "jan"},
    {LXLAN_ABMONTH + 2 * 1, "feb"},
    {LXLAN_ABMONTH + 2 * 2, "mar"},
    {LXLAN_ABMONTH + 2 * 3, "apr"},
    {LXLAN_ABMONTH + 2 * 4, "may"},
    {LXLAN_ABMONTH + 2 * 5, "jun"},
    {LXLAN_ABMONTH + 2 * 6, "jul"},
    {LXLAN_ABMONTH + 2 * 7, "aug"},
    {LXLAN_ABMONTH + 2 * 8, "sep"},
    {LXLAN_ABMONTH + 2 * 9, "oct"},
    {LXLAN_ABMONTH + 2 * 10, "nov"},
    {LXLAN_ABMONTH + 2 * 11, "dec"},
    {LXLAN_MONTH + 2 * 0, "january"},
    {LXLAN_MONTH + 2 * 1, "february"},
    {LXLAN_MONTH + 2 * 2, "march"},
    {LXLAN_MONTH + 2 * 3, "april"},
    {LXLAN_MONTH + 2 * 4, "may"},
    {LXLAN_MONTH + 2 * 5, "june"},
    {LXLAN_MONTH + 2 * 6, "july"},
    {LXLAN_MONTH + 2 * 7, "august"},
    {LXLAN_MONTH + 2 * 8, "september"},
    {LXLAN_MONTH + 2 * 9, "october"},
    {LXLAN_MONTH + 2 * 10, "november"},
    {LXLAN_MONTH + 2 * 11, "december"},
    {LXLAN_YES, "yes"},
    {LXLAN_NO, "no"},
    {LXLAN_AM, "AM"},
    {LXLAN_PM, "PM"},
    {LXLAN_AD, "AD"},
    {LXLAN_BC, "BC"}};

constexpr Text kTerrTexts[] = {
    {LXTER_ABBR, "US"},
    {LXTER_DECIMAL, "."},
    {LXTER_GROUP, ","},
    {LXTER_ISOCURR, "USD"},
    {LXTER_CURRENCY, "$"},
    {LXTER_MONDECIMAL, "."},
    {LXTER_MONGROUP, ","},
    {LXTER_LISTSEP, ","},
    {LXTER_DEBIT, "<"},
    {LXTER_CREDIT, ">"},
    {LXTER_SYSDATEFMT, "%m/%d/%y"},
    {LXTER_SYSTIMEFMT, "%H:%M:%S"},
    {LXTER_DATEFMT, "DD-MON-YY"},
    {LXTER_TIMEFMT, "HH.MI.SSXFF AM"},
    {LXTER_TIMEFMT2, "HH.MI.SSXFF AM"},
    {LXTER_TSFMT, "DD-MON-YY HH.MI.SSXFF AM"},
    {LXTER_TIMETZFMT, "HH.MI.SSXFF AM TZR"},
    {LXTER_TSTZFMT, "DD-MON-YY HH.MI.SSXFF AM TZR"}};

template <size_t M>
constexpr const char *text_of(const Text (&t)[M], unsigned field) {
  for (const Text &x : t)
    if (x.field == field) return x.s;
  return "";
}

// Bytes of a string pool over fields first..last (pool offsets) followed by
// the ASCII name, rounded up to 4.
template <size_t M>
constexpr size_t pool_size(const Text (&t)[M], unsigned first, unsigned last, const char *nm) {
  size_t n = 0;
  for (unsigned f = first; f < last; f += 2) n += 2 * (slen(text_of(t, f)) + 1);
  return (n + slen(nm) + 1 + 3) / 4 * 4;
}

template <size_t N, size_t M>
constexpr void pool(Obj<N> &o, size_t base, const Text (&t)[M], unsigned first, unsigned last,
                    const char *nm) {
  size_t at = 0;
  for (unsigned f = first; f < last; f += 2) {
    o.p16(f, (uint16_t)at);
    const char *s = text_of(t, f);
    for (size_t i = 0; s[i]; ++i, at += 2) o.p16(base + at, (uint8_t)s[i]);
    at += 2;
  }
  o.p16(last, (uint16_t)at);
  o.name(base + at, nm);
}

constexpr unsigned kLanTexts = offsetof(lxlanobj, text), kLanName = offsetof(lxlanobj, name);
constexpr unsigned kTerTexts = offsetof(lxterobj, text), kTerName = offsetof(lxterobj, name);
constexpr size_t kLanSize = LXLAN_POOL + pool_size(kLangTexts, kLanTexts, kLanName, "AMERICAN");
constexpr size_t kTerSize = LXTER_POOL + pool_size(kTerrTexts, kTerTexts, kTerName, "AMERICA");

constexpr Obj<kLanSize> make_language() {
  Obj<kLanSize> o;
  header(o, LX_TLANG);
  o.p16(offsetof(lxlanobj, id), 1);
  o.p16(offsetof(lxlanobj, ter), 1);
  o.p16(offsetof(lxlanobj, cs), 1);
  pool(o, LXLAN_POOL, kLangTexts, kLanTexts, kLanName, "AMERICAN");
  o.p16(LX_ELEM(lxlanobj, longest, 0), 9);  // month name
  o.p16(LX_ELEM(lxlanobj, longest, 1), 9);  // day name
  o.p16(LX_ELEM(lxlanobj, longest, 2), 3);
  o.p16(LX_ELEM(lxlanobj, longest, 3), 3);
  return o;
}

constexpr Obj<kTerSize> make_territory() {
  Obj<kTerSize> o;
  header(o, LX_TTERR);
  o.p16(offsetof(lxterobj, id), 1);
  pool(o, LXTER_POOL, kTerrTexts, kTerTexts, kTerName, "AMERICA");
  return o;
}

// ---- Character sets -------------------------------------------------------

constexpr uint16_t ascii_class(unsigned c) {
  uint16_t k = 0;
  if (c >= 'A' && c <= 'Z') k |= LXCC_ALPHA | LXCC_UPPER;
  if (c >= 'a' && c <= 'z') k |= LXCC_ALPHA | LXCC_LOWER;
  if (c >= '0' && c <= '9') k |= LXCC_XDIGIT | LXCC_DIGIT;
  if ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) k |= LXCC_XDIGIT;
  if (c == ' ' || (c >= 9 && c <= 13)) k |= LXCC_SPACE;
  if (c == ' ') k |= LXCC_BLANK;
  if (c < 0x20 || c == 0x7F) k |= LXCC_CNTRL;
  if (c > 0x20 && c < 0x7F && !(k & (LXCC_ALPHA | LXCC_XDIGIT))) k |= LXCC_PUNCT;
  return k;
}

template <size_t N>
constexpr void cs_header(Obj<N> &o, uint16_t id, uint32_t flags, uint8_t maxbytes) {
  header(o, LX_TCS);
  o.p16(offsetof(lxcsobj, id), id);
  o.p16(offsetof(lxcsobj, w94), 31);
  o.p32(offsetof(lxcsobj, flags), flags);
  o.p8(offsetof(lxcsobj, sb_repl), '?');
  o.p8(offsetof(lxcsobj, maxbytes), maxbytes);
  o.p32(offsetof(lxcsobj, pad), ' ');
}

// Directory: every table empty except the name (table 46) at name_at.
template <size_t N>
constexpr void cs_dir(Obj<N> &o, uint32_t name_at, uint32_t end) {
  for (unsigned k = 0; k < 47; ++k) o.p32(LX_ELEM(lxcsobj, dir, k), name_at);
  o.p32(LX_ELEM(lxcsobj, dir, 47), end);
}

constexpr size_t kChrSize = 5560;

constexpr Obj<kChrSize> make_us7ascii() {
  Obj<kChrSize> o;
  cs_header(o, LXCS_US7ASCII, LXCSF_ASCII | LXCSF_FIXED, 1);
  o.p32(offsetof(lxcsobj, w132), '_');
  o.p32(offsetof(lxcsobj, w136), '%');
  for (unsigned b = 0; b < 256; ++b) {
    o.p16(LX_ELEM(lxcsobj, bclass, b), b < 128 ? ascii_class(b) : 0);
    o.p8(LX_ELEM(lxcsobj, upper, b), (uint8_t)(b >= 'a' && b <= 'z' ? b - 32 : b));
    o.p8(LX_ELEM(lxcsobj, lower, b), (uint8_t)(b >= 'A' && b <= 'Z' ? b + 32 : b));
    o.p16(LX_ELEM(lxcsobj, sbu, b), (uint16_t)(b < 128 ? b : 0xFFFD));
    o.p16(LX_ELEM(lxcsobj, sb799, b), (uint16_t)(b < 128 ? b : 128));
  }
  // Table 14 at 0: 256 row records; row 0 dense at 2048, rows 1 to 255 share
  // one block of "?" at 2304. The name follows at 2560.
  const size_t d = LXCS_DATA;
  for (unsigned r = 0; r < 256; ++r) {
    o.p32(d + 8 * r, r == 0 ? 2048u : 2304u);
    o.p8(d + 8 * r + 5, 1);
  }
  for (unsigned l = 0; l < 256; ++l) {
    o.p8(d + 2048 + l, (uint8_t)(l < 128 ? l : '?'));
    o.p8(d + 2304 + l, '?');
  }
  o.name(d + 2560, "US7ASCII");
  for (unsigned k = 0; k < 48; ++k)
    o.p32(LX_ELEM(lxcsobj, dir, k), k <= LXCT_U2M ? 0u : k <= LXCT_NAME ? 2560u : 2572u);
  return o;
}

constexpr size_t kCsMin = LXCS_DATA + 16;

constexpr Obj<kCsMin> make_ucs() {
  Obj<kCsMin> o;
  cs_header(o, LXCS_UCS, LXCSF_UNIT16 | LXCSF_FIXED, 2);
  o.p32(offsetof(lxcsobj, mb_repl), 0xFFFD);
  for (unsigned b = 0; b < 256; ++b) {
    o.p16(LX_ELEM(lxcsobj, bclass, b), 1);
    unsigned up = b, lo = b;
    if ((b >= 'a' && b <= 'z') || (b >= 0xE0 && b <= 0xFE && b != 0xF7)) up = b - 32;
    if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7)) lo = b + 32;
    // A wide set keeps its case tables where the single-byte values would be.
    o.p16(LX_ELEM(lxcsobj, sbu, b), (uint16_t)up);
    o.p16(LX_ELEM(lxcsobj, sb799, b), (uint16_t)lo);
  }
  o.name(LXCS_DATA, "UTF16");
  cs_dir(o, 0, 8);
  return o;
}

constexpr Obj<kCsMin> make_utf16le() {
  Obj<kCsMin> o;
  cs_header(o, LXCS_AL16UTF16LE, 0, 2);
  o.p32(offsetof(lxcsobj, mb_repl), 0xFFFD);
  for (unsigned b = 0; b < 256; ++b) {
    o.p16(LX_ELEM(lxcsobj, bclass, b), 1);
    o.p16(LX_ELEM(lxcsobj, sbu, b), (uint16_t)b);
    o.p16(LX_ELEM(lxcsobj, sb799, b), 128);
  }
  o.name(LXCS_DATA, "AL16UTF16LE");
  cs_dir(o, 0, 12);
  return o;
}

// The wide object 799: a table of 2000 UTF-16 values from offset 140.
// Codes 396 and up (but 1999) are unassigned, which also leaves the part of
// the table that lies over the directory pointing at one empty place.
constexpr uint16_t wide799(unsigned code) {
  if (code < 128) return (uint16_t)code;
  if (code == 128) return 0xFFFD;
  if (code == 129) return 0xBF;
  if (code < 130 + 95) {
    unsigned u = 0xA0 + (code - 130);
    return (uint16_t)(u >= 0xBF ? u + 1 : u);
  }
  if (code < 225 + 128) return (uint16_t)(0x100 + (code - 225));
  if (code < 353 + 43) return (uint16_t)(0x2010 + (code - 353));
  if (code == 1999) return 0x20AC;
  return 0xFFFD;
}

constexpr size_t kWkbSize = 4140;

constexpr Obj<kWkbSize> make_wide() {
  Obj<kWkbSize> o;
  cs_header(o, LXCS_WIDE799, LXCSF_FIXED, 2);
  for (unsigned c = 0; c < LXCS_WKBCODES; ++c) o.p16(LXCS_WKBVALUES + 2 * c, wide799(c));
  return o;
}

// ---- Stateful escape-sequence sets ---------------------------------------

struct Entry {
  const char *desig;   // bytes, "" for none
  unsigned dlen;
  const char *shift;
  unsigned slen;
  uint16_t base;
  const char *pattern;
  unsigned plen;
  uint8_t single;
  uint8_t blen;
};

constexpr size_t k2022Size = LXCS_DATA + 16;

template <size_t M>
constexpr Obj<k2022Size> make_2022(uint16_t id, uint32_t flags, uint8_t h0, uint8_t h1, uint8_t h2,
                                   uint8_t h3, const Entry (&e)[M], const char *nm) {
  Obj<k2022Size> o;
  header(o, LX_TCS);
  o.p16(offsetof(lxcsobj, id), id);
  o.p16(offsetof(lxcsobj, w94), 31);
  o.p32(offsetof(lxcsobj, flags), flags);
  o.p8(offsetof(lxcsstobj, longest), h0);
  o.p8(offsetof(lxcsstobj, base_longest), h1);
  o.p8(offsetof(lxcsstobj, one_base), h2);
  o.p8(offsetof(lxcsstobj, h103), h3);
  static_assert(M <= LXCS_STENTRIES);
  for (size_t i = 0; i < M; ++i) {
    size_t at = LX_ELEM(lxcsstobj, ent, i);
    for (unsigned k = 0; k < e[i].dlen; ++k) o.p8(at + LX_ELEM(lxcsstent, desig, k), (uint8_t)e[i].desig[k]);
    for (unsigned k = 0; k < e[i].slen; ++k) o.p8(at + LX_ELEM(lxcsstent, shift, k), (uint8_t)e[i].shift[k]);
    o.p16(at + offsetof(lxcsstent, dlen), (uint16_t)e[i].dlen);
    o.p16(at + offsetof(lxcsstent, slen), (uint16_t)e[i].slen);
    o.p16(at + offsetof(lxcsstent, base), e[i].base);
    for (unsigned k = 0; k < e[i].plen; ++k)
      o.p8(at + LX_ELEM(lxcsstent, pattern, k), (uint8_t)e[i].pattern[k]);
    o.p32(at + offsetof(lxcsstent, single), e[i].single);
    o.p8(at + offsetof(lxcsstent, blen), e[i].blen);
  }
  o.name(LXCS_DATA, nm);
  cs_dir(o, 0, 16);
  return o;
}

constexpr Entry k9999[] = {
    {"\x1B\x28\x42", 3, "", 0, 830, "", 0, 0, 1},
    {"\x1B\x28\x4A", 3, "", 0, 830, "", 0, 0, 1},
    {"\x1B\x24\x42", 3, "", 0, 830, "\xFF\xFF", 2, 0, 2},
    {"\x1B\x24\x40", 3, "", 0, 830, "\xFF\xFF", 2, 0, 2},
    {"\x1B\x26\x40\x1B\x24\x42", 6, "", 0, 830, "\xFF\xFF", 2, 0, 2},
    {"\x1B\x28\x49", 3, "", 0, 830, "\x8E\xFF", 2, 0, 2},
    {"\x1B\x24\x28\x44", 4, "", 0, 830, "\x8F\xFF\xFF", 3, 0, 3}};
constexpr Entry k9998[] = {
    {"", 0, "\x0F", 1, 850, "", 0, 0, 1},
    {"\x1B\x24\x29\x41", 4, "\x0E", 1, 850, "\xFF\xFF", 2, 0, 2},
    {"\x1B\x24\x29\x47", 4, "\x0E", 1, 863, "\x8E\xA1\xFF\xFF", 4, 0, 4},
    {"\x1B\x24\x2A\x48", 4, "\x1B\x4E", 2, 863, "\x8E\xA2\xFF\xFF", 4, 1, 4}};
constexpr Entry k9997[] = {
    {"", 0, "\x0F", 1, 840, "", 0, 0, 1},
    {"\x1B\x24\x29\x43", 4, "\x0E", 1, 840, "\xFF\xFF", 2, 0, 2}};
constexpr Entry k9996[] = {
    {"\x7E\x7D", 2, "", 0, 850, "", 0, 0, 1},
    {"\x7E\x7B", 2, "", 0, 850, "\xFF\xFF", 2, 0, 2}};

// ---- Boot block -----------------------------------------------------------

constexpr size_t kBotSize = LX_BOOTHDR + 4 * LX_BENTSIZE;

template <size_t N>
constexpr void boot_entry(Obj<N> &o, unsigned i, uint32_t size, uint16_t type, const char *nm) {
  size_t at = LX_BOOTHDR + LX_BENTSIZE * i;
  o.p32(at + offsetof(lxbent, size), size);
  o.p16(at + offsetof(lxbent, type), type);
  o.p16(at + offsetof(lxbent, id), 1);
  o.p8(at + offsetof(lxbent, namelen), (uint8_t)(slen(nm) + 1));
  o.name(at + offsetof(lxbent, name), nm);
}

constexpr Obj<kBotSize> make_boot() {
  Obj<kBotSize> o;
  o.p32(offsetof(lxboot, version), LX_BUILTINVERSION);
  o.p32(offsetof(lxboot, release), LX_RELEASE);
  o.p32(offsetof(lxboot, size), (uint32_t)kBotSize);
  o.p32(offsetof(lxboot, flags), LX_BOOT_BUILTIN);
  o.p16(LX_ELEM(lxboot, first, LX_TLANG), 1);
  o.p16(LX_ELEM(lxboot, first, LX_TTERR), 2);
  o.p16(LX_ELEM(lxboot, first, LX_TCS), 3);
  for (unsigned t = LX_TSORT; t < 10; ++t) o.p16(LX_ELEM(lxboot, first, t), 4);
  o.p16(offsetof(lxboot, count), 4);
  o.p8(offsetof(lxboot, magic), LX_BOOTMAGIC);
  o.p8(offsetof(lxboot, fmtflags), LX_FMT_BIGENDIAN | LX_FMT_ASCII);
  boot_entry(o, 1, (uint32_t)kLanSize, LX_TLANG, "AMERICAN");
  boot_entry(o, 2, (uint32_t)kTerSize, LX_TTERR, "AMERICA");
  boot_entry(o, 3, (uint32_t)kChrSize, LX_TCS, "US7ASCII");
  return o;
}

constexpr auto kBoot = make_boot();
constexpr auto kLan = make_language();
constexpr auto kTer = make_territory();
constexpr auto kChr = make_us7ascii();
constexpr auto kUcs = make_ucs();
constexpr auto kU16le = make_utf16le();
constexpr auto kWkb = make_wide();
constexpr auto k2022a = make_2022(9999, 0x80, 8, 3, 1, 1, k9999, "ISO2022-JP");
constexpr auto k2022b = make_2022(9998, 0x84, 8, 4, 0, 1, k9998, "ISO2022-CN");
constexpr auto k2022c = make_2022(9997, 0x84, 5, 2, 1, 0, k9997, "ISO2022-KR");
constexpr auto k2022d = make_2022(9996, 0x80, 4, 2, 1, 0, k9996, "HZ-GB-2312");

}  // namespace

extern "C" {
const lxboot *const lxdlbot = (const lxboot *)kBoot.b;
const lxnlsobj *const lxdllan = (const lxnlsobj *)kLan.b;
const lxnlsobj *const lxdlter = (const lxnlsobj *)kTer.b;
const lxnlsobj *const lxdlchr = (const lxnlsobj *)kChr.b;
const lxnlsobj *const lxdlucs = (const lxnlsobj *)kUcs.b;
const lxnlsobj *const lxdlutf16le = (const lxnlsobj *)kU16le.b;
const lxnlsobj *const lxdlwkb = (const lxnlsobj *)kWkb.b;
const lxnlsobj *const lxd2022arr[4] = {(const lxnlsobj *)k2022a.b, (const lxnlsobj *)k2022b.b,
                                       (const lxnlsobj *)k2022c.b, (const lxnlsobj *)k2022d.b};
const uint32_t lxdlbotsz = (uint32_t)kBotSize, lxdllansz = (uint32_t)kLanSize,
               lxdltersz = (uint32_t)kTerSize, lxdlchrsz = (uint32_t)kChrSize;
}
