// The monolingual comparison and lxphlc on small sorts written with the NLS
// object writer: edge cases as tables (special letters, contracting pairs,
// characters ignored at the major level, the prefix skip's step back, the
// NUL flag, long texts, work areas), and generated texts against a
// whole-key model that makes each text's major and minor keys at once.
#include <gtest/gtest.h>
#include <string.h>

#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "lxh.h"
#include "bothroads.h"
#include "lxm.h"
#include "lxo.h"
#include "lxoint.h"
#include "lxp.h"
#include "nlsconv.h"
#include "nlskit.h"
#include "nlsobjw.h"
#include "nlstest.h"

namespace {

using nlstest::Env;
using Text = std::u16string;  // a text as its UTF-16 values
using Bytes = std::string;

constexpr uint32_t kCI = 0x10, kAI = 0x200, kNul = 0x10000000;
constexpr uint16_t kSpecialFlag = 0x1, kContractFlag = 0x2;

uint8_t letter(char c) { return static_cast<uint8_t>(10 + 3 * (c - 'a')); }

// Keys: every letter its own major key, with room after it for a
// contraction (c+1) and a letter of its own (c+2); lower case minor 1, upper
// case 2, accented forms 3 to 6. '-', '\'', '.' and NUL have no major key.
// ß expands to s s, æ and Æ to a e; þ is a special letter whose second
// major key is 0 (its table key is 88); ch, Ch, CH, ll, Ll, LL contract.
nlsw::SortDesc mono_sort(const std::string &name, uint16_t id, uint16_t flags, bool bases = true) {
  nlsw::SortDesc d;
  d.name = name;
  d.id = id;
  d.flags = flags;
  auto key = [&](uint16_t ch, uint8_t major, uint8_t minor) {
    d.major[ch] = major;
    d.minor[ch] = minor;
  };
  for (char c = 'a'; c <= 'z'; ++c) {
    key(static_cast<uint16_t>(c), letter(c), 1);
    key(static_cast<uint16_t>(c - 32), letter(c), 2);
  }
  for (char c = '0'; c <= '9'; ++c) key(static_cast<uint16_t>(c), static_cast<uint8_t>(90 + c - '0'), 1);
  key(' ', 5, 1);
  key(0xE9, letter('e'), 3);  // é
  key(0xE8, letter('e'), 4);  // è
  key(0xC9, letter('e'), 5);  // É
  key(0xC8, letter('e'), 6);  // È
  key(0xE4, letter('a'), 3);  // ä
  key(0xC4, letter('a'), 5);  // Ä
  key(0xF6, letter('o'), 3);  // ö
  key(0xD6, letter('o'), 5);  // Ö
  key(0xDF, letter('s') + 2, 1);  // ß as a letter of its own
  key(0xE6, letter('a') + 2, 1);  // æ
  key(0xC6, letter('a') + 2, 2);  // Æ
  key(0xFE, 88, 1);               // þ
  key(0x0153, letter('o') + 2, 1);  // œ
  key(0x0152, letter('o') + 2, 2);  // Œ
  d.letters = {{0xDF, letter('s'), 5, letter('s'), 6},
               {0xE6, letter('a'), 5, letter('e'), 5},
               {0xC6, letter('a'), 6, letter('e'), 6},
               {0x0153, letter('o'), 5, letter('e'), 5},
               {0xFE, static_cast<uint8_t>(letter('t') + 2), 7, 0, 0}};
  d.pairs = {{'c', 'h', static_cast<uint8_t>(letter('c') + 1), 1},
             {'C', 'h', static_cast<uint8_t>(letter('c') + 1), 2},
             {'C', 'H', static_cast<uint8_t>(letter('c') + 1), 3},
             {'l', 'l', static_cast<uint8_t>(letter('l') + 1), 1},
             {'L', 'l', static_cast<uint8_t>(letter('l') + 1), 2},
             {'L', 'L', static_cast<uint8_t>(letter('l') + 1), 3},
             {0xE6, 'x', 1, 1}};  // never met: æ is a special letter first
  if (bases)
    d.base_letters = {{0xE9, 'e'}, {0xE8, 'e'}, {0xC9, 'E'}, {0xC8, 'E'}, {0xE4, 'a'},
                      {0xC4, 'A'}, {0xF6, 'o'}, {0xD6, 'O'}};
  return d;
}

// Case folding of the installation: A-Z, À-Þ (not ×) and Œ to lower case,
// ß to "ss", ﬃ to "ffi".
nlsw::FoldMap folds() {
  nlsw::FoldMap f;
  for (uint32_t c = 'A'; c <= 'Z'; ++c) f[c] = {c + 32};
  for (uint32_t c = 0xC0; c <= 0xDE; ++c)
    if (c != 0xD7) f[c] = {c + 32};
  f[0xDF] = {'s', 's'};
  f[0x0152] = {0x0153};
  f[0xFB03] = {'f', 'f', 'i'};  // ﬃ
  return f;
}

struct SortName {
  const char *name;
  uint16_t id, flags;
  bool bases;
};
const SortName kSorts[] = {{"MONO_PLAIN", 200, 0, true},
                           {"MONO_SPECIAL", 201, kSpecialFlag, true},
                           {"MONO_CONTRACT", 202, kSpecialFlag | kContractFlag, true},
                           {"MONO_PAIRS", 203, kContractFlag, true},
                           {"MONO_NOBASE", 204, 0, false}};

std::string write_installation() {
  nlsw::Installation inst = nlsw::basic_installation();
  for (const SortName &s : kSorts)
    nlsw::add_object(inst, LX_TSORT, s.id, s.name,
                     nlsw::build_sort_object(mono_sort(s.name, s.id, s.flags, s.bases)));
  nlsw::add_case_folding(inst, folds());
  return nlskit::write(inst);
}

// AMERICAN_AMERICA.<charset> with the named sort.
lxlangid handle(Env &e, const std::string &charset, const std::string &sort) {
  return nlstest::american_handle(e, charset, sort);
}

enum class Cs { Latin1, Utf8, Utf16 };
const char *cs_name(Cs c) {
  return c == Cs::Latin1 ? "WE8ISO8859P1" : c == Cs::Utf8 ? "AL32UTF8" : "AL16UTF16";
}

Bytes encode(const Text &t, Cs c) {
  Bytes b;
  for (char16_t u : t) {
    if (c == Cs::Latin1) {
      b += static_cast<char>(u);
    } else if (c == Cs::Utf16) {
      b += static_cast<char>(u >> 8);
      b += static_cast<char>(u & 0xFF);
    } else if (u < 0x80) {
      b += static_cast<char>(u);
    } else if (u < 0x800) {
      b += static_cast<char>(0xC0 | u >> 6);
      b += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      b += static_cast<char>(0xE0 | u >> 12);
      b += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      b += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return b;
}

int sign(int v) { return (v > 0) - (v < 0); }

// The comparison over two encoded texts; the cursors must come back as they
// went in and the status must stay clear.
int compare(Env &e, const lxlangid &h, const Bytes &a, const Bytes &b, uint32_t flags) {
  Bytes ca = a, cb = b;
  lxmcur l, r;
  lxmcpen(ca.data(), ca.size(), &l, &h, &e.glo);
  lxmcpen(cb.data(), cb.size(), &r, &h, &e.glo);
  const lxmcur l0 = l, r0 = r;
  e.glo.status = 0;
  int v = lxoi::mono_cmp(&l, ca.size(), &r, cb.size(), flags, &e.glo);
  EXPECT_EQ(l.pos, l0.pos);
  EXPECT_EQ(r.pos, r0.pos);
  EXPECT_EQ(l.len, l0.len);
  EXPECT_EQ(r.shifted, r0.shifted);
  return sign(v);
}

// ---- the whole-key model ------------------------------------------------------

// Makes both texts' whole keys: the equal leading characters are skipped
// (one stepped back before a difference in a contracting sort), each
// remaining character is case-folded or reduced to its base letter, and
// the values are looked up greedily: a special letter, else a contracting
// pair with the next value, else the major and minor tables. The order is
// the first major difference, then the longer major key, then the first
// minor difference. No answer (nullopt) when only characters without a
// major key at the end of the texts could tell them apart: there the order
// depends on how far each text has been read.
struct Model {
  nlsw::SortDesc d;
  nlsw::FoldMap fold = folds();
  uint32_t flags;

  bool special_sort() const { return d.flags & (kSpecialFlag | kContractFlag); }
  const nlsw::SpecialLetter *special(char16_t v) const {
    for (const auto &s : d.letters)
      if (s.ch == v) return &s;
    return nullptr;
  }
  const nlsw::ContractingPair *pair(char16_t a, char16_t b) const {
    for (const auto &p : d.pairs)
      if (p.first == a && p.second == b) return &p;
    return nullptr;
  }
  uint8_t table(const std::map<uint16_t, uint8_t> &t, char16_t v) const {
    auto it = t.find(v);
    return it == t.end() ? 0 : it->second;
  }
  bool ignorable(char16_t v) const { return table(d.major, v) == 0 && !special(v); }

  Text values(const Text &t) const {
    Text out;
    for (char16_t c : t) {
      if (flags & kAI) {
        auto it = d.base_letters.find(c);
        out += it != d.base_letters.end() ? it->second : c;
      } else if (flags & kCI) {
        auto it = fold.find(c);
        if (it == fold.end()) out += c;
        else
          for (uint32_t u : it->second) out += static_cast<char16_t>(u);
      } else {
        out += c;
      }
    }
    return out;
  }

  void keys(const Text &v, std::string &major, std::string &minor) const {
    auto ordinary = [&](char16_t c, uint8_t k) {
      if (k == 0) {
        if (c == 0 && (flags & kNul)) return;
        minor += static_cast<char>(c >> 8);
        minor += static_cast<char>(c & 0xFF);
        return;
      }
      major += static_cast<char>(k);
      minor += static_cast<char>(table(d.minor, c));
    };
    for (size_t i = 0; i < v.size();) {
      const char16_t c = v[i];
      const nlsw::SpecialLetter *s = special_sort() ? special(c) : nullptr;
      if (s && s->major2 != 0) {
        major += static_cast<char>(s->major1);
        major += static_cast<char>(s->major2);
        minor += static_cast<char>(s->minor1);
        minor += static_cast<char>(s->minor2);
      } else if (d.flags & kContractFlag) {
        const nlsw::ContractingPair *p = s ? nullptr : pair(c, i + 1 < v.size() ? v[i + 1] : 0);
        if (p) {
          major += static_cast<char>(p->major);
          minor += static_cast<char>(p->minor);
          i += 2;
          continue;
        }
        ordinary(c, s ? s->major1 : table(d.major, c));
      } else {
        ordinary(c, table(d.major, c));
      }
      ++i;
    }
  }

  size_t trailing_ignorables(const Text &t) const {
    size_t n = 0;
    for (size_t i = t.size(); i > 0 && ignorable(t[i - 1]); --i) ++n;
    return n;
  }

  std::optional<int> order(Text a, Text b) const {
    if (flags & kNul) {
      a = a.substr(0, a.find(char16_t(0)));
      b = b.substr(0, b.find(char16_t(0)));
    }
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    if (i == a.size()) return b.size() == i ? 0 : -1;
    if (i == b.size()) return 1;
    if (i > 0 && (d.flags & kContractFlag)) --i;
    a = a.substr(i);
    b = b.substr(i);
    std::string ma, na, mb, nb;
    keys(values(a), ma, na);
    keys(values(b), mb, nb);
    for (size_t k = 0; k < ma.size() && k < mb.size(); ++k)
      if (ma[k] != mb[k]) return sign(uint8_t(ma[k]) - uint8_t(mb[k]));
    if (ma.size() != mb.size()) return ma.size() < mb.size() ? -1 : 1;
    if (trailing_ignorables(a) != trailing_ignorables(b)) return std::nullopt;
    for (size_t k = 0; k < na.size() && k < nb.size(); ++k)
      if (na[k] != nb[k]) return sign(uint8_t(na[k]) - uint8_t(nb[k]));
    return 0;
  }
};

class Mono : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = write_installation();
    if (dir_.empty()) ADD_FAILURE() << "installation not written";
  }
  static void child(const std::function<void(Env &)> &body) {
    nlstest::in_installation(dir_, body);
  }
  inline static std::string dir_;
};

// ---- lxphlc -------------------------------------------------------------------

TEST(Lxphlc, SpecialLetterThenPairThenMajorKey) {
  nlsw::Image img = nlsw::build_sort_object(mono_sort("MONO", 200, 3));
  const auto *so = reinterpret_cast<const lxsrtobj *>(img.bytes.data());
  struct Case {
    char16_t ch, next;
    int result;
    uint8_t major0, major1, minor0, minor1;
  };
  const uint8_t kUntouched = 0xEE;
  const Case cases[] = {
      {0xDF, 's', 0, letter('s'), letter('s'), 5, 6},       // ß: a special letter
      {0xE6, 'x', 0, letter('a'), letter('e'), 5, 5},       // special before the pair æ x
      {'c', 'h', 1, uint8_t(letter('c') + 1), 0, 1, kUntouched},
      {'C', 'H', 1, uint8_t(letter('c') + 1), 0, 3, kUntouched},
      {'c', 'a', 0, letter('c'), 0, kUntouched, kUntouched},  // no pair: minor not written
      {'h', 0, 0, letter('h'), 0, kUntouched, kUntouched},
      {'-', 0, 0, 0, 0, kUntouched, kUntouched},              // no major key
      {0x4E00, 0, 0, 0, 0, kUntouched, kUntouched},           // no block for its high byte
      {0xFE, 0, 0, uint8_t(letter('t') + 2), 0, 7, 0},        // þ: second major key 0
  };
  for (const Case &c : cases) {
    uint8_t major[2] = {0, 0}, minor[2] = {kUntouched, kUntouched};
    EXPECT_EQ(lxphlc(major, minor, c.ch, c.next, so), c.result) << int(c.ch);
    EXPECT_EQ(major[0], c.major0) << int(c.ch);
    EXPECT_EQ(major[1], c.major1) << int(c.ch);
    EXPECT_EQ(minor[0], c.minor0) << int(c.ch);
    EXPECT_EQ(minor[1], c.minor1) << int(c.ch);
  }
}

// Offsets, counts and blocks outside the object act as missing entries.
TEST(Lxphlc, RecordsOutsideTheObjectAreMissing) {
  const nlsw::Image good = nlsw::build_sort_object(mono_sort("MONO", 200, 3));
  auto patched = [&](size_t at, const void *v, size_t n) {
    nlsw::Image img = good;
    memcpy(img.bytes.data() + at, v, n);
    return img;
  };
  const uint16_t many = 0xFFFF;
  const uint32_t far = 0x7FFFFFF0;
  struct Case {
    const char *what;
    size_t at;
    const void *v;
    size_t n;
    char16_t ch, next;
  };
  const Case cases[] = {
      {"special count", LX_ELEM(lxsrtobj, h108, 0), &many, 2, 0xDF, 0},
      {"special offset", LX_ELEM(lxsrtobj, sect, LXSRT_SPECIAL), &far, 4, 0xDF, 0},
      {"pair count", LX_ELEM(lxsrtobj, h108, 1), &many, 2, 'c', 'h'},
      {"pair offset", LX_ELEM(lxsrtobj, sect, LXSRT_CONTRACT), &far, 4, 'c', 'h'},
      {"major blocks", LX_ELEM(lxsrtobj, h108, LXSRT_MAJOR - 1), &many, 2, 'a', 0},
      {"major offset", LX_ELEM(lxsrtobj, sect, LXSRT_MAJOR), &far, 4, 'a', 0},
  };
  for (const Case &c : cases) {
    nlsw::Image img = patched(c.at, c.v, c.n);
    const auto *so = reinterpret_cast<const lxsrtobj *>(img.bytes.data());
    uint8_t major[2] = {0, 0}, minor[2] = {0, 0};
    EXPECT_EQ(lxphlc(major, minor, c.ch, c.next, so), 0) << c.what;
    EXPECT_EQ(major[1], 0) << c.what;
  }
  // A key block whose offset points past the object.
  nlsw::Image img = good;
  const auto *so0 = reinterpret_cast<const lxsrtobj *>(good.bytes.data());
  const size_t table = LXSRT_NAME + so0->sect[LXSRT_MAJOR];
  const uint16_t past = 0xFFF0;
  memcpy(img.bytes.data() + table + 2, &past, 2);
  const auto *so = reinterpret_cast<const lxsrtobj *>(img.bytes.data());
  uint8_t major[2] = {0, 0}, minor[2] = {0, 0};
  EXPECT_EQ(lxphlc(major, minor, 'a', 0, so), 0);
  EXPECT_EQ(major[0], 0);
}

// ---- the comparison: edge cases -----------------------------------------------

struct Edge {
  const char *sort;
  Text a, b;
  uint32_t flags;
  int want;
  const char *why;
};

TEST_F(Mono, EdgeCases) {
  const Edge cases[] = {
      {"MONO_PLAIN", u"", u"", 0, 0, "two empty texts"},
      {"MONO_PLAIN", u"", u"a", 0, -1, "empty left"},
      {"MONO_PLAIN", u"a", u"", 0, 1, "empty right"},
      {"MONO_PLAIN", u"abc", u"abd", 0, -1, "a major difference"},
      {"MONO_PLAIN", u"b", u"Ab", 0, 1, "major keys before case"},
      {"MONO_PLAIN", u"abc", u"aBc", 0, -1, "only case: the minor key decides"},
      {"MONO_PLAIN", u"aBc", u"abc", 0, 1, "only case, the other way"},
      {"MONO_PLAIN", u"Abc", u"abC", 0, 1, "the first minor difference stands"},
      {"MONO_PLAIN", u"cote", u"c\u00F4te", 0, -1, "ô has no key: ignored at the major level"},
      {"MONO_PLAIN", u"e", u"\u00E9", 0, -1, "é after e at the minor level"},
      {"MONO_PLAIN", u"\u00E9a", u"eb", 0, -1, "a later major difference beats an accent"},
      {"MONO_PLAIN", u"ab-", u"ab", 0, 1, "extra major-ignored character on the left"},
      {"MONO_PLAIN", u"ab", u"ab-", 0, -1, "and on the right"},
      {"MONO_PLAIN", u"a-b", u"ab", 0, -1, "a major-ignored character's value at the minor level"},
      {"MONO_PLAIN", u"Ab-", u"ab", 0, 1, "extra ignored character after a case difference"},
      {"MONO_PLAIN", u"A", u"a-", 0, -1, "and on the right"},
      {"MONO_PLAIN", u"\u00DF", u"ss", 0, 1, "ß is a letter of its own without special letters"},
      {"MONO_SPECIAL", u"\u00DF", u"ss", 0, 1, "ß expands to s s, minor 5 6 after 1 1"},
      {"MONO_SPECIAL", u"\u00DF", u"st", 0, -1, "ß expands: the second key decides"},
      {"MONO_SPECIAL", u"\u00DFa", u"ssb", 0, -1, "the major level first"},
      {"MONO_SPECIAL", u"\u00DF", u"s", 0, 1, "two major keys against one"},
      {"MONO_SPECIAL", u"\u00E6", u"ae", 0, 1, "æ expands to a e"},
      {"MONO_SPECIAL", u"\u00E6", u"af", 0, -1, "æ before af"},
      {"MONO_SPECIAL", u"\u00FE", u"z", 0, 1, "þ: a special letter with one key is looked up as a letter"},
      {"MONO_CONTRACT", u"\u00FE", u"z", 0, -1, "þ: its special first key stands with pairs"},
      {"MONO_CONTRACT", u"\u00FE", u"ta", 0, 1, "þ after t"},
      {"MONO_CONTRACT", u"cha", u"cza", 0, 1, "ch after c: the skip steps back to see the pair"},
      {"MONO_CONTRACT", u"chz", u"ciz", 0, 1, "ch after any c"},
      {"MONO_CONTRACT", u"ch", u"cz", 0, 1, "a pair at the very end"},
      {"MONO_CONTRACT", u"ch", u"d", 0, -1, "ch before d"},
      {"MONO_CONTRACT", u"c", u"ch", 0, -1, "a prefix"},
      {"MONO_CONTRACT", u"xch", u"xci", 0, 1, "ch after ci: contraction after an equal prefix"},
      {"MONO_CONTRACT", u"lla", u"lza", 0, 1, "ll after l"},
      {"MONO_CONTRACT", u"Lla", u"lla", 0, 1, "the pair's minor key"},
      {"MONO_CONTRACT", u"lc", u"lch", 0, -1, "a pair cut by the end of the text"},
      {"MONO_CONTRACT", u"ccch", u"cccz", 0, 1, "a pair after equal leading characters"},
      {"MONO_CONTRACT", u"\u00DFch", u"ssch", 0, 1, "special letters are looked up in contracting sorts"},
      {"MONO_PAIRS", u"\u00DF", u"ss", 0, 1, "contracting sorts look special letters up too"},
      {"MONO_PLAIN", u"ch", u"cz", 0, -1, "no pairs: c h against c z"},
      {"MONO_PLAIN", u"chz", u"ciz", 0, -1, "no pairs: h before i"},
      {"MONO_PLAIN", u"ABC", u"abc", kCI, 0, "case-insensitive"},
      {"MONO_PLAIN", u"ABD", u"abc", kCI, 1, "case-insensitive, a difference"},
      {"MONO_SPECIAL", u"STRASSE", u"stra\u00DFe", kCI, 0, "ß folds to ss"},
      {"MONO_CONTRACT", u"CH", u"cz", kCI, 1, "folded CH contracts"},
      {"MONO_PLAIN", u"\u00E9t\u00E9", u"ete", kAI, 0, "accent-insensitive"},
      {"MONO_PLAIN", u"\u00C9t\u00E9", u"ete", kAI, 1, "accent-insensitive keeps case"},
      {"MONO_PLAIN", u"\u00C9T\u00C9", u"ete", kAI | kCI, 1, "the accent flag wins over the case flag"},
      {"MONO_PLAIN", Text(u"ab\0c", 4), u"ab", kNul, 0, "a NUL ends the text"},
      {"MONO_PLAIN", Text(u"ab\0c", 4), Text(u"ab\0d", 4), kNul, 0, "NULs end both texts"},
      {"MONO_PLAIN", Text(u"ab\0c", 4), u"ab", 0, 1, "without the flag a NUL is a character"},
      {"MONO_PLAIN", Text(u"\0a", 2), u"", kNul, 0, "a NUL first: empty"},
      {"MONO_PLAIN", Text(u"a\0b", 3), u"ab", 0, -1, "a NUL without major key, value 0"},
      // A side with major keys left reads no further, also while a value
      // waits for its successor: the texts are read in step.
      {"MONO_CONTRACT", Text(u"\u00C9c\u00E6'\0", 5), Text(u"\u00C9-c\u00E6'\0", 6), kAI, 1,
       "in step after an expansion"},
      {"MONO_CONTRACT", u"Ec\u00E6'-", u"E-c\u00E6'-", 0, 1, "in step after an expansion"},
      {"MONO_CONTRACT", u"Chaach", u"chaacz", 0, 1, "equal characters after a pair, then a pair"},
      {"MONO_PLAIN", u"Abbbbbc", u"abbbbbd", 0, -1, "equal characters after a minor difference"},
      {"MONO_PLAIN", u"Abbbbb", u"abbbbb", 0, 1, "the minor difference before equal characters"},
  };
  child([&](Env &e) {
    for (Cs c : {Cs::Latin1, Cs::Utf8, Cs::Utf16}) {
      for (const Edge &x : cases) {
        lxlangid h = handle(e, cs_name(c), x.sort);
        EXPECT_EQ(compare(e, h, encode(x.a, c), encode(x.b, c), x.flags), x.want)
            << x.why << " (" << cs_name(c) << ")";
        EXPECT_EQ(e.glo.status, 0u) << x.why;
      }
    }
  });
}

// Characters beyond Latin-1 in Unicode text, and a surrogate pair taken as
// the low 16 bits of its value (UTF-8) or as two units (UTF-16).
TEST_F(Mono, UnicodeCharacters) {
  child([&](Env &e) {
    for (Cs c : {Cs::Utf8, Cs::Utf16}) {
      lxlangid h = handle(e, cs_name(c), "MONO_SPECIAL");
      EXPECT_EQ(compare(e, h, encode(u"\u0153", c), encode(u"oe", c), 0), 1);
      EXPECT_EQ(compare(e, h, encode(u"\u0153", c), encode(u"of", c), 0), -1);
      EXPECT_EQ(compare(e, h, encode(u"\u0152", c), encode(u"\u0153", c), kCI), 0);
      EXPECT_EQ(compare(e, h, encode(u"a\u4E00b", c), encode(u"ab", c), 0), 1);
      // ā has no major key: its value's bytes 01 01 go to the minor level
      // ahead of the other text's minor keys, which then lag two behind
      // through the equal characters that follow.
      EXPECT_EQ(compare(e, h, encode(u"\u0101abBbbbbbx", c), encode(u"abBbbbbbx", c), 0), -1);
      EXPECT_EQ(compare(e, h, encode(u"abBbbbbbx", c), encode(u"\u0101abBbbbbbx", c), 0), 1);
      // A character folding to three: the areas hold what two of them give.
      Text ffi, plain;
      for (int i = 0; i < 100; ++i) {
        ffi += u"\uFB03";
        plain += u"FFI";
      }
      for (const SortName &s : kSorts) {
        if (!s.bases) continue;
        lxlangid hs = handle(e, cs_name(c), s.name);
        EXPECT_EQ(compare(e, hs, encode(ffi, c), encode(plain, c), kCI), 0) << s.name;
        EXPECT_EQ(compare(e, hs, encode(ffi + u"a", c), encode(plain + u"b", c), kCI), -1) << s.name;
        EXPECT_EQ(compare(e, hs, encode(u"\u00DF" + ffi, c), encode(u"SS" + plain, c), kCI), 0)
            << s.name;
      }
    }
    lxlangid h = handle(e, "AL32UTF8", "MONO_PLAIN");
    EXPECT_EQ(compare(e, h, "a\xF0\x9F\x98\x80" "b", "ab", 0), 1);
    EXPECT_EQ(compare(e, h, "a\xF0\x9F\x98\x80" "b", "a\xF0\x9F\x98\x81" "b", 0), -1);
  });
}

// Long texts: equal prefixes, differences at either end, long runs of
// characters without major keys against a held key, many pairs and
// expansions after a minor difference. Nothing is written past the areas
// (the sanitizer tree sees it) and the order is the model's.
TEST_F(Mono, LongTexts) {
  child([&](Env &e) {
    for (const SortName &s : kSorts) {
      lxlangid h = handle(e, "WE8ISO8859P1", s.name);
      Model m{mono_sort(s.name, s.id, s.flags, s.bases), folds(), 0};
      Text base(3000, u'q');
      std::vector<std::pair<Text, Text>> pairs = {
          {base + u"a", base + u"b"},
          {u"a" + base, u"b" + base},
          {u"A" + base, u"a" + base},
          {base, base},
          {u"\u00DF" + Text(40, u'-') + u"s", u"s" + Text(41, u'-') + u"s"},
          {u"\u00DF" + Text(200, u'-') + u"sa", u"s" + Text(200, u'-') + u"sb"},
          {u"A" + Text(300, u'c') + u"h", u"a" + Text(300, u'c') + u"h"},
          {u"A" + Text(60, u'\u00DF'), u"a" + Text(120, u's')},
          {Text(90, u'\u00E6') + u"b", Text(90, u'\u00E6') + u"a"},
      };
      Text pairs_run;
      for (int i = 0; i < 200; ++i) pairs_run += u"chll";
      pairs.insert(pairs.end(), {{u"A" + pairs_run, u"a" + pairs_run},
                                 {u"A" + pairs_run + u"a", u"a" + pairs_run + u"b"},
                                 {u"a" + pairs_run + u"-", u"A" + pairs_run}});
      for (const auto &p : pairs) {
        for (uint32_t f : {0u, kCI}) {
          m.flags = f;
          std::optional<int> want = m.order(p.first, p.second);
          int got = compare(e, h, encode(p.first, Cs::Latin1), encode(p.second, Cs::Latin1), f);
          if (want) {
            EXPECT_EQ(got, *want) << s.name << " " << p.first.size() << " flags " << f;
          }
          int back = compare(e, h, encode(p.second, Cs::Latin1), encode(p.first, Cs::Latin1), f);
          if (want) {
            EXPECT_EQ(back, -*want) << s.name << " " << p.first.size() << " flags " << f;
          }
        }
      }
    }
  });
}

// Without a base-letter table or BINARY_AI, accent-insensitive texts are
// put in byte order: different texts never compare equal, and the status
// tells why.
TEST_F(Mono, MissingBaseLettersFallBackToBytes) {
  child([&](Env &e) {
    lxlangid h = handle(e, "WE8ISO8859P1", "MONO_NOBASE");
    Bytes a = encode(u"\u00E9t\u00E9", Cs::Latin1), b = encode(u"ete", Cs::Latin1);
    EXPECT_EQ(compare(e, h, a, b, kAI), 1);
    EXPECT_EQ(e.glo.status, 26u);
    EXPECT_EQ(compare(e, h, b, a, kAI), -1);
    EXPECT_EQ(compare(e, h, "abc", "abc", kAI), 0);
    EXPECT_EQ(compare(e, h, "abc", "ab", kAI), 1);
    EXPECT_EQ(compare(e, h, Bytes("ab\0x", 4), "ab", kAI | kNul), 0);
  });
}

// ---- generated texts against the model ------------------------------------------

// Texts of a few related characters, and a second text made from the first
// by small changes (case, accents, expansions, ignored characters), so that
// most pairs agree at the major level.
struct Gen {
  std::mt19937 rng;
  bool unicode;
  explicit Gen(unsigned seed, bool u) : rng(seed), unicode(u) {}
  Text pool() const {
    Text p = u"abcehlstABCEHLS\u00E9\u00E8\u00C9\u00E4\u00C4\u00F6\u00DF\u00E6\u00C6\u00FE-' .1";
    if (unicode) p += u"\u0153\u0152";
    return p;
  }
  char16_t pick() {
    Text p = pool();
    if (rng() % 40 == 0) return 0;
    return p[rng() % p.size()];
  }
  Text text() {
    Text t;
    for (int n = rng() % 7; n > 0; --n) t += pick();
    return t;
  }
  Text mutate(Text t) {
    for (int k = rng() % 3; k >= 0; --k) {
      size_t i = t.empty() ? 0 : rng() % t.size();
      switch (rng() % 7) {
        case 0: t.insert(i, 1, pick()); break;
        case 1: if (!t.empty()) t.erase(i, 1); break;
        case 2: if (!t.empty()) t[i] = pick(); break;
        case 3: if (!t.empty() && t[i] >= 'a' && t[i] <= 'z') t[i] = char16_t(t[i] - 32); break;
        case 4: if (!t.empty() && t[i] == u'\u00DF') t.replace(i, 1, u"ss"); break;
        case 5: t.insert(i, 1, u'-'); break;
        default: if (!t.empty() && t[i] == 'e') t[i] = u'\u00E9'; break;
      }
    }
    return t;
  }
};

TEST_F(Mono, GeneratedTextsAgreeWithTheWholeKeyModel) {
  child([&](Env &e) {
    const uint32_t flag_sets[] = {0, kCI, kAI, kNul, kCI | kNul, kAI | kNul};
    for (Cs c : {Cs::Latin1, Cs::Utf8, Cs::Utf16}) {
      for (const SortName &s : kSorts) {
        if (!s.bases) continue;
        lxlangid h = handle(e, cs_name(c), s.name);
        Model m{mono_sort(s.name, s.id, s.flags, s.bases), folds(), 0};
        Gen g(17 + s.id, c != Cs::Latin1);
        size_t checked = 0, total = 0;
        for (int i = 0; i < 3000; ++i) {
          Text a = g.text();
          Text b = i % 3 == 0 ? g.text() : g.mutate(a);
          m.flags = flag_sets[i % 6];
          std::optional<int> want = m.order(a, b);
          int got = compare(e, h, encode(a, c), encode(b, c), m.flags);
          ++total;
          if (!want) continue;
          ++checked;
          std::string shown;
          for (char16_t u : a) shown += std::to_string(u) + ",";
          shown += " / ";
          for (char16_t u : b) shown += std::to_string(u) + ",";
          ASSERT_EQ(got, *want) << s.name << " " << cs_name(c) << " flags " << m.flags << ": "
                                << shown;
        }
        EXPECT_GT(checked, total * 9 / 10) << s.name;
      }
    }
  });
}

// The comparison that decides from differing first characters gives what
// the passes give, value for value and status for status, in every sort,
// set and flag set: each pair compared both ways, the second time with the
// shortcut turned off.
TEST_F(Mono, FirstCharactersDecideAsThePassesDo) {
  child([&](Env &e) {
    const uint32_t flag_sets[] = {0, kCI, kAI, kNul, kCI | kNul, kAI | kNul, 0x10000, 0x400};
    for (Cs c : {Cs::Latin1, Cs::Utf8, Cs::Utf16}) {
      for (const SortName &s : kSorts) {
        lxlangid h = handle(e, cs_name(c), s.name);
        Gen g(29 + s.id, c != Cs::Latin1);
        size_t decided_first = 0;
        for (int i = 0; i < 4000; ++i) {
          Text ta = g.text(), tb = i % 4 == 0 ? g.mutate(ta) : g.text();
          Bytes a = encode(ta, c), b = encode(tb, c);
          const uint32_t flags = flag_sets[i % 8];
          const nlstest::RoadResults res = nlstest::cmpstr_both_roads(a, b, &h, &e.glo, flags);
          const int *got = res.value;
          const uint32_t *status = res.status;
          if (!a.empty() && !b.empty() && a[0] != b[0]) ++decided_first;
          ASSERT_EQ(got[0], got[1]) << s.name << " " << cs_name(c) << " flags " << flags << " pair " << i;
          ASSERT_EQ(status[0], status[1]) << s.name << " " << cs_name(c) << " pair " << i;
        }
        EXPECT_GT(decided_first, 200u) << s.name << " " << cs_name(c);
      }
    }
  });
}

}  // namespace
