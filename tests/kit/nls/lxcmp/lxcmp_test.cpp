// The linguistic comparison over an installation written with the NLS
// object writer: which comparison the flags and the handle's sort pick,
// the sort options that extend the flags, the single-byte binary forms, the
// multibyte binary walk against code-point order, NUL-terminated texts,
// cursors given back unchanged, conversions and keys that fail, and
// lxCmpStr's hand-off over texts that end right before a guard page.
#include <gtest/gtest.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "lxl.h"
#include "lxm.h"
#include "lxo.h"
#include "lxsf.h"
#include "lxuc.h"
#include "nlsinst.h"
#include "objw_num.h"
#include "sortinst.h"

namespace {

using nlstest::Env;
using sortinst::handle;
using Bytes = std::string;

constexpr uint32_t kBin = LXO_CMP_BINARY, kCI = LXO_CMP_NOCASE, kAI = LXO_CMP_NOACCENT,
                   kNul = LXO_NULTERM;
constexpr uint16_t kEbcdic37 = 140, kShiftSet = 900, kCasedUtf8 = 9871;
constexpr char kSI = 0x0F, kSO = 0x0E;
constexpr uint32_t kStatusMissing = 26, kStatusBadJa = LXSF_ST_BADJA;

int sign(int v) { return (v > 0) - (v < 0); }

// BINARY_AI: accented Latin letters to their base letter, Æ and æ to two.
nlsw::BinaryAiDesc binary_ai() {
  nlsw::BinaryAiDesc d;
  for (uint16_t c = 0xC0; c <= 0xC5; ++c) d.units[c] = {'A'};
  for (uint16_t c = 0xE0; c <= 0xE5; ++c) d.units[c] = {'a'};
  for (uint16_t c = 0xC8; c <= 0xCB; ++c) d.units[c] = {'E'};
  for (uint16_t c = 0xE8; c <= 0xEB; ++c) d.units[c] = {'e'};
  d.units[0xC6] = {'A', 'E'};
  d.units[0xE6] = {'a', 'e'};
  return d;
}

// A monolingual sort: a letter's case forms share a major key, the minor
// key tells them apart; é and è sort with e.
nlsw::SortDesc latin_mono() {
  nlsw::SortDesc d;
  d.name = "CMPLATIN";
  d.id = 60;
  for (uint16_t c = 'a'; c <= 'z'; ++c) {
    d.major[c] = d.major[uint16_t(c - 32)] = uint8_t(10 + (c - 'a'));
    d.minor[c] = 1;
    d.minor[uint16_t(c - 32)] = 2;
  }
  d.major[0xE9] = d.major[0xE8] = d.major['e'];
  d.minor[0xE9] = 5;
  d.minor[0xE8] = 6;
  return d;
}

constexpr uint32_t E(uint16_t p, uint8_t s = 0x05, uint8_t t = 0x05) {
  return static_cast<uint32_t>(p) << 16 | s << 8 | t;
}

// A multilingual sort of the letters (upper case a tertiary difference).
nlsw::MultiSortDesc latin_multi() {
  nlsw::MultiSortDesc d;
  d.name = "CMPMULTI";
  d.id = 4100;
  for (uint16_t c = 'a'; c <= 'z'; ++c) {
    d.elements[c] = E(0x2000 + c);
    d.elements[uint16_t(c - 32)] = E(0x2000 + c, 0x05, 0x07);
  }
  d.elements[0x0301] = E(0, 0x30);
  d.expansions[0x00E9] = {E(0x2065), E(0, 0x30)};
  return d;
}

using Objects = std::vector<std::pair<nlsw::BootObject, nlsw::Image>>;

Objects objects(bool with_binary_ai) {
  auto obj = [](uint16_t type, uint16_t id, const char *name, nlsw::Image img) {
    nlsw::BootObject o;
    o.type = type;
    o.id = id;
    o.name = name;
    return std::make_pair(o, std::move(img));
  };
  Objects v;
  v.push_back(obj(LX_TCS, kEbcdic37, "WE8EBCDIC37",
                  nlsw::build_charset(nlsw::ebcdic037_charset("WE8EBCDIC37", kEbcdic37))));
  v.push_back(obj(LX_TCS, kShiftSet, "CMPSHIFT",
                  nlsw::build_charset(nlsw::shift_charset("CMPSHIFT", kShiftSet, kSI, kSO))));
  {
    // A UTF-8 form whose case maps know É, À and Ω.
    nlsw::CharsetDesc u = nlsw::utf8_family_charset("CMPUTF8", kCasedUtf8, 3);
    u.flags = LXCSF_SURR6;
    u.lower_pairs = {{0xC389, 0xC3A9}, {0xC380, 0xC3A0}, {0xCEA9, 0xCF89}};
    u.upper_pairs = {{0xC3A9, 0xC389}, {0xC3A0, 0xC380}, {0xCF89, 0xCEA9}};
    constexpr uint16_t kUpper = 0x0804, kLower = 0x0808;  // alphabetic, and its case
    u.classes = {{{0xC3, 0x89}, kUpper}, {{0xC3, 0x80}, kUpper}, {{0xCE, 0xA9}, kUpper},
                 {{0xC3, 0xA9}, kLower}, {{0xC3, 0xA0}, kLower}, {{0xCF, 0x89}, kLower}};
    v.push_back(obj(LX_TCS, kCasedUtf8, "CMPUTF8", nlsw::build_charset(u)));
  }
  v.push_back(obj(LX_TSORT, 60, "CMPLATIN", nlsw::build_sort_object(latin_mono())));
  v.push_back(obj(LX_TSORT, 4100, "CMPMULTI", nlsw::build_multi_sort(latin_multi())));
  if (with_binary_ai)
    v.push_back(obj(LX_TMAP, LXMAP_BINARY_AI, "BINARY_AI", nlsw::build_binary_ai(binary_ai())));
  return v;
}

class LingCmp : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = sortinst::write(NLS_MAPS, objects(true));
    bare_ = sortinst::write(NLS_MAPS, objects(false));
    if (dir_.empty() || bare_.empty()) ADD_FAILURE() << "installation not written";
  }
  static void child(const std::function<void(Env &)> &body) { nlstest::in_installation(dir_, body); }
  // The same installation without BINARY_AI.
  static void bare(const std::function<void(Env &)> &body) { nlstest::in_installation(bare_, body); }
  inline static std::string dir_, bare_;
};

using CmpFn = int (*)(lxmcur *, size_t, lxmcur *, size_t, uint32_t, lxglo *);

// Compares two texts through cursors opened over them (after their leading
// shift bytes) and checks that both cursors come back as they went.
int compare(CmpFn fn, Env &e, const lxlangid &h, const Bytes &a, const Bytes &b, uint32_t flags) {
  Bytes ca = a, cb = b;
  lxmcur l, r;
  const size_t ls = lxmcpen(ca.data(), ca.size(), &l, &h, &e.glo);
  const size_t rs = lxmcpen(cb.data(), cb.size(), &r, &h, &e.glo);
  const lxmcur l0 = l, r0 = r;
  const int v = fn(&l, ca.size() - ls, &r, cb.size() - rs, flags, &e.glo);
  for (auto [now, was] : {std::pair{&l, &l0}, std::pair{&r, &r0}}) {
    EXPECT_EQ(now->pos, was->pos);
    EXPECT_EQ(now->shifted, was->shifted);
    EXPECT_EQ(now->len, was->len);
    EXPECT_EQ(now->start, was->start);
  }
  return sign(v);
}

int ocmp(Env &e, const lxlangid &h, const Bytes &a, const Bytes &b, uint32_t flags = 0) {
  return compare(lxoCmpStr, e, h, a, b, flags);
}

int mcmp(Env &e, const lxlangid &h, const Bytes &a, const Bytes &b, uint32_t flags = 0) {
  return compare(lxoBinCmpMutl, e, h, a, b, flags);
}

// A row of expectations: a against b gives want, and b against a -want.
struct Row {
  Bytes a, b;
  uint32_t flags;
  int want;
};

void expect_rows(Env &e, const lxlangid &h, const std::vector<Row> &rows, CmpFn fn = lxoCmpStr) {
  for (const Row &c : rows) {
    EXPECT_EQ(compare(fn, e, h, c.a, c.b, c.flags), c.want)
        << "'" << c.a << "' / '" << c.b << "' flags " << std::hex << c.flags;
    EXPECT_EQ(compare(fn, e, h, c.b, c.a, c.flags), -c.want)
        << "'" << c.b << "' / '" << c.a << "' flags " << std::hex << c.flags;
  }
}

const Bytes kAe1 = "\xE9";       // é in WE8ISO8859P1
const Bytes kAe8 = "\xC3\xA9";   // é in UTF-8
const Bytes kAE8 = "\xC3\x86";   // Æ in UTF-8

// ---- which comparison applies --------------------------------------------------

TEST_F(LingCmp, DispatchFollowsFlagsSortAndCharset) {
  // "a" against "B": binary order puts B (0x42) first, every linguistic
  // sort here puts a first. Thai dictionary order reads a leading vowel
  // after its consonant: เก sorts before ข, binary after it.
  struct Case {
    const char *cs, *sort;
    Bytes a, b;
    uint32_t flags;
    int want;
  } const cases[] = {
      {"WE8ISO8859P1", "", "a", "B", 0, 1},                 // no sort: binary
      {"WE8ISO8859P1", "CMPLATIN", "a", "B", 0, -1},        // monolingual
      {"WE8ISO8859P1", "CMPLATIN", "a", "B", kBin, 1},      // binary asked for
      {"WE8ISO8859P1", "CMPLATIN", "", "", 0, 0},
      {"WE8ISO8859P1", "CMPLATIN", "", "a", 0, -1},
      {"UTF8", "CMPLATIN", "a", "B", 0, -1},                // Unicode text: monolingual
      {"AL16UTF16", "CMPLATIN", Bytes("\0a", 2), Bytes("\0B", 2), 0, -1},
      {"JA16EUC", "CMPLATIN", "a", "B", 0, 1},              // other multibyte: binary
      {"UTF8", "CMPMULTI", "a", "B", 0, -1},                // multilingual
      {"WE8ISO8859P1", "CMPMULTI", "a", "B", kBin, 1},
      {"TH8TISASCII", "THAI_DICTIONARY", "\xE0\xA1", "\xA2", 0, -1},  // special
      {"TH8TISASCII", "THAI_DICTIONARY", "\xE0\xA1", "\xA2", kBin, 1},
      {"TH8TISASCII", "THAI_TELEPHONE", "\xE0\xA1", "\xA2", 0, -1},
  };
  child([&](Env &e) {
    for (const Case &c : cases) {
      lxlangid h = handle(e, c.cs, c.sort);
      EXPECT_EQ(ocmp(e, h, c.a, c.b, c.flags), c.want) << c.cs << " " << c.sort;
      EXPECT_EQ(ocmp(e, h, c.b, c.a, c.flags), -c.want) << c.cs << " " << c.sort;
      EXPECT_EQ(e.glo.status, 0u);
    }
    // The multilingual and special results are those of the parts called.
    lxlangid m = handle(e, "UTF8", "CMPMULTI");
    const Bytes texts[] = {"cote", "cot" + kAe8, "Cote", "cote" + Bytes("\xCC\x81"), "co"};
    for (const Bytes &a : texts)
      for (const Bytes &b : texts) {
        Bytes ca = a, cb = b;
        lxmcur l, r;
        lxmcpen(ca.data(), ca.size(), &l, &m, &e.glo);
        lxmcpen(cb.data(), cb.size(), &r, &m, &e.glo);
        EXPECT_EQ(ocmp(e, m, a, b), sign(lxoUcCmp(&l, ca.size(), &r, cb.size(), 0, 4, &e.glo)))
            << a << " / " << b;
      }
  });
}

TEST_F(LingCmp, SortOptionsExtendTheFlags) {
  // Through the binary Unicode comparator, which lower-cases when it is
  // asked to: an accent-insensitive sort adds the accent flag only, a
  // case-insensitive one the case flag; a caller's case flag stays.
  struct Case {
    uint32_t opts, flags;
    int a_vs_A, e_vs_acute;  // through the special sort; through binary order
  } const cases[] = {
      {0, 0, 1, -1},           {LXH_O_CI, 0, 0, -1},      {LXH_O_AI, 0, 1, 0},
      {0x500, 0, 1, 0},        {0x700, 0, 1, 0},          {LXH_O_AI, kCI, 0, 0},
      {LXH_O_CI, kCI, 0, -1},  {0, kCI, 0, -1},
  };
  child([&](Env &e) {
    for (const Case &c : cases) {
      lxlangid s = handle(e, "WE8ISO8859P1", "UNICODE_BINARY");
      s.opts = (s.opts & ~0xF00u) | c.opts;
      EXPECT_EQ(ocmp(e, s, "a", "A", c.flags), c.a_vs_A) << std::hex << c.opts << " " << c.flags;
      lxlangid b = handle(e, "WE8ISO8859P1");
      b.opts = (b.opts & ~0xF00u) | c.opts;
      EXPECT_EQ(ocmp(e, b, "e", kAe1, c.flags), c.e_vs_acute)
          << std::hex << c.opts << " " << c.flags;
    }
  });
}

// ---- single-byte binary forms ---------------------------------------------------

TEST_F(LingCmp, SingleByteBinaryForms) {
  const std::vector<Row> rows = {
      {"", "", 0, 0},
      {"", "a", 0, -1},
      {"abc", "abd", 0, -1},
      {"ab", "abc", 0, -1},
      {"\x80", "\x7F", 0, 1},                      // bytes compare unsigned
      {Bytes("ab\0c", 4), "ab", 0, 1},             // a NUL is a character
      {Bytes("ab\0c", 4), "ab", kNul, 0},          // ... or ends the text
      {Bytes("ab\0c", 4), Bytes("ab\0d", 4), kNul, 0},
      {Bytes("ab\0c", 4), Bytes("ab\0d", 4), 0, -1},
      {"ABC", "abc", kCI, 0},
      {"ABC", "abd", kCI, -1},
      {"\xC0\xC9", "\xE0\xE9", kCI, 0},            // through the set's lower-case table
      {Bytes("ABC\0x", 5), "abc", kCI | kNul, 0},
      {"e", kAe1, kAI, 0},
      {"cafe", "caf" + kAe1, kAI, 0},
      {"caf" + kAe1 + "s", "cafe", kAI, 1},
      {"\xC6", "A", kAI, 1},                       // Æ's base letters are longer: after A
      {"\xC6", "AE", kAI, 1},
      {"\xC0" "b", "ac", kAI, -1},
      {Bytes("caf\xE9\0zz", 7), "cafe", kAI | kNul, 0},
      {"cafez", "caf" + kAe1, kAI | kNul, 1},      // the right text ends first
      {"caf", Bytes("caf\xE9", 4), kAI | kNul, -1},
      {"", Bytes("\0a", 2), kAI | kNul, 0},
  };
  child([&](Env &e) {
    lxlangid h = handle(e, "WE8ISO8859P1");
    expect_rows(e, h, rows);
  });
}

TEST_F(LingCmp, CaseFoldsThroughTheCharsetsOwnTable) {
  // In code page 037 '.' is 0x4B and ',' 0x6B: an ASCII fold (K to k)
  // would make them equal. Letters fold, with or without the NUL flag.
  child([](Env &e) {
    lxlangid h = handle(e, "WE8EBCDIC37");
    expect_rows(e, h,
                {{"\x4B", "\x6B", kCI, -1},
                 {"\x4B", "\x6B", kCI | kNul, -1},
                 {"\xC1\xC2", "\x81\x82", kCI, 0},        // AB / ab
                 {"\xC1\xC2", "\x81\x82", kCI | kNul, 0},
                 {"\xC1", "\x81", 0, 1}});
    EXPECT_NE(lxCmpStr("\x4B", "\x6B", 1, 1, LXCMP_CI, &h, &e.glo), 0);
    EXPECT_NE(lxsCmpStr("\x4B", 1, "\x6B", 1, kCI, &h, &e.glo), 0);
  });
}

// ---- multibyte binary walk --------------------------------------------------------

// Random UTF-8 texts of code points from a few ranges (ASCII, Latin, CJK,
// supplementary), with equal prefixes likely.
std::u32string random_points(std::mt19937 &rng, const std::u32string &prefix) {
  static const char32_t pool[] = {U'a', U'b', U'z', U'A', 0xE9, 0xC6, 0x7FF, 0x800,
                                  0x4E00, 0xFFFD, 0x10000, 0x1F600};
  std::u32string s = prefix.substr(0, rng() % (prefix.size() + 1));
  for (size_t n = rng() % 6; n > 0; --n) s += pool[rng() % (sizeof pool / sizeof *pool)];
  return s;
}

Bytes utf8(const std::u32string &s) {
  Bytes out;
  for (char32_t c : s) {
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | c >> 6);
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | c >> 12);
      out += char(0x80 | (c >> 6 & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | c >> 18);
      out += char(0x80 | (c >> 12 & 0x3F));
      out += char(0x80 | (c >> 6 & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

TEST_F(LingCmp, MultibyteBinaryIsCodePointOrder) {
  // AL32UTF8 walks character by character (its set does not allow plain
  // bytes): the order must be that of the code points.
  child([](Env &e) {
    lxlangid h = handle(e, "AL32UTF8");
    std::mt19937 rng(23);
    const std::u32string prefix = U"ab\u00E9\u4E00\U0001F600z";
    for (int i = 0; i < 3000; ++i) {
      std::u32string a = random_points(rng, prefix), b = random_points(rng, prefix);
      const int want = sign(a.compare(b));
      ASSERT_EQ(mcmp(e, h, utf8(a), utf8(b)), want) << utf8(a) << " / " << utf8(b);
      ASSERT_EQ(ocmp(e, h, utf8(a), utf8(b), kNul), want) << utf8(a) << " / " << utf8(b);
    }
  });
}

TEST_F(LingCmp, MultibyteBinaryEdgeCases) {
  child([](Env &e) {
    lxlangid h = handle(e, "UTF8");
    expect_rows(e, h,
                {{"", "", 0, 0},
                 {"", "a", 0, -1},
                 {kAe8, "z", 0, 1},                              // the longer character
                 {Bytes("ab\0c", 4), "ab", kNul, 0},
                 {Bytes("ab\0c", 4), "ab", 0, 1},
                 {"ABC", "abc", kCI, 0},
                 {"ab\xC3", "ab", 0, 0},                         // a character cut off ends it
                 // Base letters before byte lengths: é is e.
                 {kAe8, "e", kAI, 0},
                 {"caf" + kAe8, "cafe", kAI, 0},
                 {"caf" + kAe8 + "s", "cafe", kAI, 1},
                 {"caf" + kAe8, "cafz", kAI, -1},
                 {Bytes("caf\xC3\xA9\0x", 6), "cafe", kAI | kNul, 0},
                 // A form that begins the other's counts as equal.
                 {kAE8, "A", kAI, 0},
                 {kAE8 + "b", "Ac", kAI, -1}},
                lxoBinCmpMutl);
    // Case-insensitive multibyte characters compare by their lower-case
    // forms: É = é, but À < é and Ω > é.
    lxlangid cased = handle(e, "CMPUTF8");
    expect_rows(e, cased,
                {{"\xC3\x89", kAe8, kCI, 0},
                 {"\xC3\x89", kAe8, 0, -1},
                 {"x\xC3\x80", "x" + kAe8, kCI, -1},
                 {"\xCE\xA9", "\xCF\x89", kCI, 0},
                 {"\xCE\xA9", kAe8, kCI, 1}},
                lxoBinCmpMutl);
    // Through lxoCmpStr (no sort: binary) the same.
    EXPECT_EQ(ocmp(e, h, kAe8, "e", kAI), 0);
    // An accent-insensitive binary handle finds é = e too.
    lxlangid ai = handle(e, "UTF8");
    ai.opts |= 0x700;
    EXPECT_EQ(lxsCmpStr(kAe8.data(), kAe8.size(), "e", 1, 0, &ai, &e.glo), 0);

    // AL16UTF16: a NUL unit ends a text with the NUL flag; a lone zero byte
    // does not.
    lxlangid w = handle(e, "AL16UTF16");
    expect_rows(e, w,
                {{Bytes("\0a\0b\0\0\0c", 8), Bytes("\0a\0b", 4), kNul, 0},
                 {Bytes("\0a\0b\0\0\0c", 8), Bytes("\0a\0b", 4), 0, 1},
                 {Bytes("\0a\x01\0", 4), Bytes("\0a", 2), kNul, 1},
                 {Bytes("\0a\0b", 4), Bytes("\0a\0c", 4), 0, -1},
                 // A fixed-width set compares plain bytes, but not with the
                 // accent flag.
                 {Bytes("\0\xE9", 2), Bytes("\0e", 2), 0, 1},
                 {Bytes("\0\xE9", 2), Bytes("\0e", 2), kAI, 0}},
                lxoBinCmpMutl);
  });
}

TEST_F(LingCmp, ShiftSensitiveTextComparesCharacters) {
  // Shift bytes are stepped over; the characters between them decide.
  const Bytes one = Bytes(1, kSO) + "\xA3\xB1" + kSI, two = Bytes(1, kSO) + "\xA3\xB2" + kSI;
  const Bytes split = "x" + Bytes(1, kSO) + "\xA3\xB1" + kSI + Bytes(1, kSO) + "\xA3\xB2" + kSI;
  const Bytes joined = "x" + Bytes(1, kSO) + "\xA3\xB1\xA3\xB2" + kSI;
  child([&](Env &e) {
    lxlangid h = handle(e, "CMPSHIFT");
    expect_rows(e, h,
                {{one, two, 0, -1},
                 {one, one, 0, 0},
                 {split, joined, 0, 0},
                 {split, joined + "a", 0, -1},
                 {"a" + one, "a", 0, 1},
                 {one, "1", 0, 1}},        // a two-byte character against a one-byte one
                lxoBinCmpMutl);
    EXPECT_EQ(lxsCmpStr(one.data(), one.size(), two.data(), two.size(), 0, &h, &e.glo), -1);
    EXPECT_EQ(lxsCmpStr(one.data(), one.size(), one.data(), one.size(), 0, &h, &e.glo), 0);
  });
}

// ---- cursors --------------------------------------------------------------------

TEST_F(LingCmp, CursorsComeBackOnEveryPath) {
  // compare() checks pos, shifted, len and start after each call.
  struct Hand {
    const char *cs, *sort;
  } const hands[] = {{"WE8ISO8859P1", ""},          {"WE8ISO8859P1", "CMPLATIN"},
                     {"UTF8", "CMPMULTI"},          {"JA16EUC", "CMPLATIN"},
                     {"CMPSHIFT", ""},              {"CMPSHIFT", "UNICODE_BINARY"},
                     {"CMPSHIFT", "JAPANESE"},      {"TH8TISASCII", "THAI_DICTIONARY"},
                     {"JA16EUC", "JAPANESE"},       {"WE8ISO8859P1", "CANADIAN_FRENCH"},
                     {"AL16UTF16", "UNICODE_BINARY"}};
  const Bytes texts[] = {"", "abc", "abd", Bytes(1, kSO) + "\xA3\xB1" + kSI + "q",
                         Bytes("ab\0c", 4), "\xA4\xAB\xA1\xBC"};
  child([&](Env &e) {
    for (const Hand &k : hands) {
      lxlangid h = handle(e, k.cs, k.sort);
      for (uint32_t flags : {0u, kCI, kAI, kNul, kCI | kNul})
        for (const Bytes &a : texts)
          for (const Bytes &b : texts) {
            SCOPED_TRACE(std::string(k.cs) + " " + k.sort);
            const int v = ocmp(e, h, a, b, flags);
            if (a == b) {
              EXPECT_EQ(v, 0);
            }
          }
    }
  });
}

// ---- failures never make different texts equal -----------------------------------

TEST_F(LingCmp, MissingBaseLettersCompareBytes) {
  bare([](Env &e) {
    for (const char *cs : {"WE8ISO8859P1", "UTF8"}) {
      lxlangid h = handle(e, cs);
      const Bytes acute = std::string(cs) == "UTF8" ? kAe8 : kAe1;
      for (uint32_t flags : {kAI, kAI | kNul}) {
        EXPECT_NE(ocmp(e, h, "e", acute, flags), 0) << cs;
        EXPECT_EQ(e.glo.status, kStatusMissing) << cs;
        EXPECT_EQ(ocmp(e, h, "abc", "abd", flags), -1) << cs;
        EXPECT_EQ(e.glo.status, kStatusMissing) << cs;
        EXPECT_EQ(ocmp(e, h, "abc", "abc", flags), 0) << cs;  // nothing to convert
        EXPECT_EQ(e.glo.status, 0u) << cs;
      }
    }
  });
}

TEST_F(LingCmp, FailedSpecialKeysCompareBytes) {
  // A voiced sound mark with nothing before it cannot be keyed: the bytes
  // decide, and the comparator's status stays.
  child([](Env &e) {
    lxlangid h = handle(e, "JA16EUC", "JAPANESE");
    EXPECT_EQ(ocmp(e, h, "\xA1\xAB", "\xA1\xAC"), -1);
    EXPECT_EQ(e.glo.status, kStatusBadJa);
    EXPECT_EQ(ocmp(e, h, "\xA4\xAB", "\xA4\xAB"), 0);
    EXPECT_EQ(e.glo.status, 0u);
  });
}

// ---- lxCmpStr hands NUL-terminated texts on measured ----------------------------

// Slots of one readable page each, every one followed by a page that is not
// readable: a text placed to end at its slot's last byte shows any read
// past it.
struct Guarded {
  static constexpr int kSlots = 3;
  size_t page = size_t(sysconf(_SC_PAGESIZE));
  uint8_t *base = static_cast<uint8_t *>(mmap(nullptr, 2 * kSlots * page, PROT_READ | PROT_WRITE,
                                              MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  Guarded() {
    for (int k = 0; k < kSlots; ++k) mprotect(base + (2 * k + 1) * page, page, PROT_NONE);
  }
  ~Guarded() { munmap(base, 2 * kSlots * page); }
  // The text (its terminator included) placed at the end of slot k.
  const char *place(const Bytes &text, int k) {
    uint8_t *end = base + (2 * k + 1) * page;
    memcpy(end - text.size(), text.data(), text.size());
    return reinterpret_cast<const char *>(end - text.size());
  }
};

TEST_F(LingCmp, LxCmpStrMeasuresNulTerminatedTexts) {
  struct Case {
    const char *cs, *sort;
    uint32_t opts;
    bool wide;
  } const cases[] = {{"WE8ISO8859P1", "", LXH_O_CI, false}, {"WE8ISO8859P1", "", 0x700, false},
                     {"WE8ISO8859P1", "CMPLATIN", LXH_O_CI, false},
                     {"WE8ISO8859P1", "CMPLATIN", 0x700, false},
                     {"UTF8", "CMPMULTI", 0, false}, {"JA16EUC", "JAPANESE", 0, false},
                     {"AL16UTF16", "", 0x700, true}, {"AL16UTF16", "CMPMULTI", 0, true}};
  child([&](Env &e) {
    Guarded g;
    ASSERT_NE(g.base, MAP_FAILED);
    for (const Case &c : cases) {
      lxlangid h = handle(e, c.cs, c.sort);
      h.opts |= c.opts;
      auto text = [&](const char *s) {
        Bytes t;
        for (const char *p = s;; ++p) {
          if (c.wide) t += '\0';
          t += *p;
          if (*p == 0) break;
        }
        return t;
      };
      const char *abc = g.place(text("abc"), 0), *abd = g.place(text("abd"), 1);
      EXPECT_EQ(lxCmpStr(abc, abc, LXCMP_NUL, 0, LXCMP_LING, &h, &e.glo), 0) << c.cs << c.sort;
      EXPECT_LT(lxCmpStr(abc, abd, LXCMP_NUL, 0, LXCMP_LING, &h, &e.glo), 0) << c.cs << c.sort;
      EXPECT_GT(lxCmpStr(abd, abc, LXCMP_NUL, 0, LXCMP_LING, &h, &e.glo), 0) << c.cs << c.sort;
      const char *ab = g.place(text("ab"), 2);
      EXPECT_GT(lxCmpStr(abc, ab, LXCMP_NUL, 0, LXCMP_LING, &h, &e.glo), 0) << c.cs << c.sort;
    }
  });
}

TEST_F(LingCmp, LxCmpStrHandsSpecialSortsToTheirComparator) {
  child([](Env &e) {
    lxlangid h = handle(e, "TH8TISASCII", "THAI_DICTIONARY");
    EXPECT_LT(lxCmpStr("\xE0\xA1", "\xA2", 2, 1, LXCMP_LING, &h, &e.glo), 0);
    EXPECT_LT(lxCmpStr("\xE0\xA1", "\xA2", LXCMP_NUL, 0, LXCMP_LING, &h, &e.glo), 0);
    EXPECT_GT(lxCmpStr("\xE0\xA1", "\xA2", 2, 1, 0, &h, &e.glo), 0);  // binary
  });
}

}  // namespace
