// Linguistic special casing: case conversion under a sort whose special
// upper-case, lower-case and base-letter entries turn one character, or a
// pair, into up to three characters. The fixture sort TESTCASE (caseinst.h)
// holds sharp s to "SS", "ij" to "IJ" at a word start, a final sigma, the
// fractions and ligatures with three outputs, and base letters; the expected
// texts follow from those entries and the sets' simple case forms.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "caseinst.h"
#include "casetest.h"
#include "lxh.h"
#include "lxo.h"
#include "lxp.h"
#include "lxuc.h"
#include "nlstest.h"

namespace {

#include "case_refs.inc"

using Bytes = std::vector<uint8_t>;
using caseinst::kSI;
using caseinst::kSO;

constexpr uint32_t kUpper = LXO_EXACTLEN | LXO_CASE_UPPER;
constexpr uint32_t kLower = LXO_EXACTLEN | LXO_CASE_LOWER;
constexpr uint32_t kInitCap = LXO_EXACTLEN | LXO_CASE_INITCAP;
constexpr uint32_t kBase = LXO_EXACTLEN | LXO_CASE_BASE;
constexpr uint8_t kGuard = 0xA5;
// Room beyond the result's length after which every conversion is whole:
// a character is tested against the room by its own converted length.
constexpr size_t kSlack = 4;

std::string hex(const Bytes &b) {
  std::string s;
  char buf[4];
  for (uint8_t x : b) {
    snprintf(buf, sizeof buf, "%02X ", x);
    s += buf;
  }
  return s;
}

// The character sets of the tests and how a text is written in them.
enum Set { kLatin1, kUtf8, kAl32, kUtf16, kSetCount };
constexpr const char *kSetNames[kSetCount] = {"WE8ISO8859P1", "UTF8", "AL32UTF8", "AL16UTF16"};
constexpr unsigned kAll = 0xF, kUnicode = 0xE, kSuppl = (1u << kAl32) | (1u << kUtf16);

void put_utf8(Bytes &b, uint32_t c) {
  if (c < 0x80) {
    b.push_back(uint8_t(c));
  } else if (c < 0x800) {
    b.push_back(uint8_t(0xC0 | c >> 6));
    b.push_back(uint8_t(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    b.push_back(uint8_t(0xE0 | c >> 12));
    b.push_back(uint8_t(0x80 | ((c >> 6) & 0x3F)));
    b.push_back(uint8_t(0x80 | (c & 0x3F)));
  } else {
    b.push_back(uint8_t(0xF0 | c >> 18));
    b.push_back(uint8_t(0x80 | ((c >> 12) & 0x3F)));
    b.push_back(uint8_t(0x80 | ((c >> 6) & 0x3F)));
    b.push_back(uint8_t(0x80 | (c & 0x3F)));
  }
}

void put_unit(Bytes &b, uint32_t u) {
  b.push_back(uint8_t(u >> 8));
  b.push_back(uint8_t(u));
}

// The text in the set (a value of 0xDC00..0xDFFF alone: a lone unit).
Bytes encode(Set set, const std::u32string &t) {
  Bytes b;
  for (char32_t c : t) {
    switch (set) {
      case kLatin1: b.push_back(uint8_t(c)); break;
      case kUtf8:
      case kAl32: put_utf8(b, c); break;
      case kUtf16:
        if (c > 0xFFFF) {
          put_unit(b, 0xD800 + ((c - 0x10000) >> 10));
          put_unit(b, 0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
          put_unit(b, c);
        }
        break;
      default: break;
    }
  }
  return b;
}

using casetest::folds;

class Special : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = caseinst::write(kCaseForms, std::size(kCaseForms), folds(), {});
    swapped_ = caseinst::write(kCaseForms, std::size(kCaseForms), folds(), {true, true});
  }
  // Runs body in a child over the installation.
  static void child(const std::function<void(nlstest::Env &)> &body, bool swapped = false) {
    nlstest::in_installation(swapped ? swapped_ : dir_, body);
  }
  inline static std::string dir_, swapped_;
};

// A handle for the set with the sort installed (no sort for nullptr).
lxlangid handle(nlstest::Env &e, const char *cs, const char *sort) {
  return nlstest::american_handle(e, cs, sort ? sort : "");
}

// One engine call into a guarded buffer of exactly dstlen bytes, with
// every result field.
struct Outcome {
  Bytes out;
  size_t r;
  uint32_t status;
  size_t nbytes, nbytes2, ncount, ncount2, mark2;
  int shifted;
  bool guard_intact;
};

Outcome engine(const lxlangid &h, nlstest::Env &e, const Bytes &src, size_t dstlen, uint32_t flags) {
  std::vector<uint8_t> buf(dstlen + 16, kGuard);
  lxmcur in, out;
  lxmcpen(src.data(), src.size(), &in, &h, &e.glo);
  lxmopen(buf.data(), dstlen, &out, &h, &e.glo, 1);
  const size_t skipped = size_t(in.pos - in.start);
  e.glo.status = 0xDEAD;
  const size_t r = lxoCnvCase(&out, dstlen, &in, src.size() - skipped, flags, &e.glo);
  Outcome run{Bytes(buf.begin(), buf.begin() + long(r < dstlen ? r : dstlen)),
          r, e.glo.status, e.glo.nbytes, e.glo.nbytes2, e.glo.ncount, e.glo.ncount2, out.mark2,
          out.shifted, true};
  for (size_t i = dstlen; i < buf.size(); ++i)
    if (buf[i] != kGuard) run.guard_intact = false;
  return run;
}

Outcome bytes_call(const lxlangid &h, nlstest::Env &e, const Bytes &src, size_t dstlen, uint32_t flags) {
  std::vector<uint8_t> buf(dstlen + 16, kGuard);
  e.glo.status = 0xDEAD;
  const size_t r = lxsCnvCase(buf.data(), dstlen, src.data(), src.size(), flags, &h, &e.glo);
  Outcome run{Bytes(buf.begin(), buf.begin() + long(r < dstlen ? r : dstlen)),
          r, e.glo.status, e.glo.nbytes, e.glo.nbytes2, e.glo.ncount, e.glo.ncount2, 0, 0, true};
  for (size_t i = dstlen; i < buf.size(); ++i)
    if (buf[i] != kGuard) run.guard_intact = false;
  return run;
}

// ---- the special entries in every set that takes them -------------------------

struct TextCase {
  const char *what;
  unsigned sets;  // bit per Set
  uint32_t flags;
  std::u32string src, want;
  bool stops = false;  // the conversion ends before the source does, without a status
};

const TextCase kSpecialTexts[] = {
    {"sharp s to SS", kAll, kUpper, U"stra\u00dfe", U"STRASSE"},
    {"ij at a word start", kAll, kInitCap, U"ijssel ijs rijk", U"IJssel IJs Rijk"},
    {"ij inside a word is looked up in lower case", kAll, kInitCap, U"xij ij", U"Xij IJ"},
    {"three outputs", kAll, kUpper, U"\u00bd a\u00bd", U"1/2 A1/2"},
    {"three outputs of a ligature", kUnicode, kUpper, U"\ufb03x", U"FFIX"},
    {"the last character with a second key of 0", kAll, kUpper, U"caf\u00e9", U"CAFE"},
    {"a second key other than 0", kAll, kUpper, U"caf\u00e9s \u00e9 ", U"CAF\u00c9S \u00c9 "},
    {"final sigma", kUnicode, kLower, U"\u039f\u0394\u039f\u03a3", U"\u03bf\u03b4\u03bf\u03c2"},
    {"sigma inside a text", kUnicode, kLower, U"\u039f\u0394\u039f\u03a3 \u0391",
     U"\u03bf\u03b4\u03bf\u03c3 \u03b1"},
    {"AE in lower case", kAll, kLower, U"\u00c6BLE \u00e6", U"aeble ae"},
    {"three lower-case outputs", kAll, kLower, U"\u00bc A\u00bc", U"1/4 a1/4"},
    {"capital I with dot", kUnicode, kLower, U"\u0130X", U"i\u0307x"},
    {"base letters and entries", kAll, kBase, U"\u00c6ble caf\u00e9 \u00d6l", U"AEble cafe Ol"},
    {"an entry covering a combining mark", kUnicode, kBase, U"o\u0308 o\u0301", U"oe o\u0301"},
    {"three base outputs", kUnicode, kBase, U"\ufb03", U"ffi"},
    {"three base outputs in every set", kAll, kBase, U"\u00be \u00e0", U"3/4 a"},
    // a character followed by a supplementary one takes no lookup; both are
    // written, the first as its base letter in base-letter mode
    {"before a supplementary character", kSuppl, kUpper, U"\u00e9\U00010428a",
     U"\u00c9\U00010428A"},
    {"a supplementary character", kSuppl, kUpper, U"\U00010428\u00e9", U"\U00010428E"},
    {"base letter before a supplementary character", kSuppl, kBase, U"\u00e9\U00010428\u00e0",
     U"e\U00010428a"},
};

TEST_F(Special, EntriesInEverySet) {
  child([](nlstest::Env &e) {
    for (unsigned s = 0; s < kSetCount; ++s) {
      const Set set = Set(s);
      lxlangid h = handle(e, kSetNames[s], "TESTCASE");
      for (const TextCase &t : kSpecialTexts) {
        if (!(t.sets & (1u << s))) continue;
        SCOPED_TRACE(std::string(kSetNames[s]) + ": " + t.what);
        const Bytes src = encode(set, t.src), want = encode(set, t.want);
        const Outcome full = engine(h, e, src, want.size() + kSlack, t.flags);
        EXPECT_EQ(hex(full.out), hex(want));
        EXPECT_EQ(full.status, 0u);
        EXPECT_EQ(full.nbytes, src.size());
        EXPECT_EQ(full.nbytes2, want.size());
        EXPECT_EQ(full.mark2, full.ncount2);
        // every room: never past it, a prefix of the result, and status 6
        // exactly when the result is cut
        for (size_t room = 0; room < want.size() + kSlack; ++room) {
          const Outcome cut = engine(h, e, src, room, t.flags);
          ASSERT_TRUE(cut.guard_intact) << room;
          ASSERT_LE(cut.r, room);
          ASSERT_EQ(hex(cut.out), hex(Bytes(want.begin(), want.begin() + long(cut.r)))) << room;
          ASSERT_EQ(cut.status, cut.r < want.size() ? 6u : 0u) << room;
          ASSERT_EQ(cut.nbytes2, cut.r) << room;
        }
      }
    }
  });
}

// Counts of the engine: source characters consumed, characters written
// (code units in AL16UTF16, bytes in single-byte sets).
TEST_F(Special, Counts) {
  child([](nlstest::Env &e) {
    struct {
      Set set;
      uint32_t flags;
      std::u32string src;
      size_t ncount, ncount2;
    } const cases[] = {
        {kAl32, kInitCap, U"ij", 2, 2},          // one entry covering two
        {kAl32, kUpper, U"\u00bd", 1, 3},        // three outputs
        {kAl32, kUpper, U"\u00dfx", 2, 3},
        {kUtf16, kUpper, U"\u00bd", 1, 3},
        {kUtf16, kUpper, U"a\U00010428", 3, 3},  // units
        {kLatin1, kUpper, U"\u00bd", 1, 3},     // bytes
        {kUtf8, kLower, U"\u03a3", 1, 1},
    };
    for (const auto &c : cases) {
      lxlangid h = handle(e, kSetNames[c.set], "TESTCASE");
      const Outcome r = engine(h, e, encode(c.set, c.src), 32, c.flags);
      EXPECT_EQ(r.ncount, c.ncount) << kSetNames[c.set] << " " << hex(encode(c.set, c.src));
      EXPECT_EQ(r.ncount2, c.ncount2) << kSetNames[c.set] << " " << hex(encode(c.set, c.src));
      EXPECT_EQ(r.mark2, c.ncount2);
    }
  });
}

// Outputs dropped for want of room: what fits is written, and the result is
// never a success, also at the end of the source.
TEST_F(Special, CutOutputsAreReported) {
  child([](nlstest::Env &e) {
    struct {
      Set set;
      uint32_t flags;
      std::u32string src;
      size_t room;
      const char *want;
      size_t nbytes;
    } const cases[] = {
        {kLatin1, kUpper, U"\u00bdx", 2, "1/", 1},
        {kLatin1, kUpper, U"\u00bd", 2, "1/", 1},
        {kLatin1, kUpper, U"\u00df", 1, "S", 1},
        {kAl32, kUpper, U"\u00bd", 2, "1/", 2},
        {kAl32, kBase, U"\u00c6", 1, "A", 2},
    };
    for (const auto &c : cases) {
      lxlangid h = handle(e, kSetNames[c.set], "TESTCASE");
      const Outcome r = engine(h, e, encode(c.set, c.src), c.room, c.flags);
      EXPECT_EQ(hex(r.out), hex(Bytes(c.want, c.want + strlen(c.want))));
      EXPECT_EQ(r.status, 6u) << c.want;
      EXPECT_EQ(r.nbytes, c.nbytes) << c.want;
      EXPECT_TRUE(r.guard_intact);
    }
    // wide units: the outputs that fit in whole units
    lxlangid h = handle(e, "AL16UTF16", "TESTCASE");
    const Outcome r = engine(h, e, encode(kUtf16, U"\u00bd"), 5, kUpper);
    EXPECT_EQ(hex(r.out), hex(encode(kUtf16, U"1/")));
    EXPECT_EQ(r.status, 6u);
    EXPECT_TRUE(r.guard_intact);
  });
}

// A base letter of 0 ends the conversion at that character, which is
// consumed (and stays written in single-byte sets), without a status.
TEST_F(Special, BaseLetterOfZeroEnds) {
  child([](nlstest::Env &e) {
    for (unsigned s = 0; s < kSetCount; ++s) {
      lxlangid h = handle(e, kSetNames[s], "TESTCASE");
      const Bytes src = encode(Set(s), U"\u00e9b\u00adcd");
      const Outcome r = engine(h, e, src, 16, kBase);
      const Bytes want = encode(Set(s), s == kLatin1 ? U"eb\u00ad" : U"eb");
      EXPECT_EQ(hex(r.out), hex(want)) << kSetNames[s];
      EXPECT_EQ(r.status, 0u);
      EXPECT_EQ(r.nbytes, encode(Set(s), U"\u00e9b\u00ad").size()) << kSetNames[s];
    }
  });
}

// Which conversions go to the special entries: the sort's flags, the
// binary flag, and the set's class.
TEST_F(Special, ConditionsOfTheLinguisticBranch) {
  child([](nlstest::Env &e) {
    struct {
      const char *cs, *sort;
      uint32_t flags;
      std::u32string src, want;
    } const cases[] = {
        // TESTUPPER has special upper-case entries only
        {"AL32UTF8", "TESTUPPER", kUpper, U"\u00df", U"SS"},
        {"AL32UTF8", "TESTUPPER", kLower, U"\u03a3", U"\u03c3"},
        {"AL32UTF8", "TESTUPPER", kInitCap, U"ij", U"IJ"},
        {"WE8ISO8859P1", "TESTUPPER", kLower, U"\u00c6", U"\u00e6"},
        // base letters: the table alone without the base-letter flag
        {"AL32UTF8", "TESTUPPER", kBase, U"\u00c6\u00e9", U"\u00c6e"},
        {"WE8ISO8859P1", "TESTUPPER", kBase, U"\u00c6\u00e9", U"\u00c6e"},
        // upper and lower together need both kinds of entries
        {"AL32UTF8", "TESTUPPER", kUpper | LXO_CASE_LOWER, U"\u00df", U"\u00df"},
        {"AL32UTF8", "TESTCASE", kUpper | LXO_CASE_LOWER, U"\u00df", U"SS"},
        // binary: no sort
        {"AL32UTF8", "TESTCASE", kUpper | LXO_CASE_BINARY, U"\u00df", U"\u00df"},
        {"WE8ISO8859P1", "TESTCASE", kUpper | LXO_CASE_BINARY, U"\u00df", U"\u00df"},
        {"AL16UTF16", "TESTCASE", kUpper | LXO_CASE_BINARY, U"\u00df", U"\u00df"},
        // no sort at all
        {"AL32UTF8", nullptr, kUpper, U"\u00df", U"\u00df"},
    };
    for (const auto &c : cases) {
      lxlangid h = handle(e, c.cs, c.sort);
      const Set set = std::string(c.cs) == "WE8ISO8859P1" ? kLatin1
                      : std::string(c.cs) == "AL16UTF16"  ? kUtf16
                                                          : kAl32;
      const Outcome r = engine(h, e, encode(set, c.src), 16, c.flags);
      EXPECT_EQ(hex(r.out), hex(encode(set, c.want)))
          << c.cs << " " << (c.sort ? c.sort : "-") << " flags " << std::hex << c.flags;
    }
    // multibyte sets outside the Unicode family keep the basic loop
    lxlangid h = handle(e, "TESTEUC", "TESTCASE");
    const Outcome r = engine(h, e, Bytes{0xA3, 0xE9, 'j'}, 8, kInitCap);
    EXPECT_EQ(hex(r.out), hex(Bytes{0xA3, 0xC9, 'j'}));
  });
}

// Wide units: a lone surrogate passes unchanged without a lookup, also as
// the character after one that would have an entry.
TEST_F(Special, WideUnitSurrogates) {
  child([](nlstest::Env &e) {
    lxlangid h = handle(e, "AL16UTF16", "TESTCASE");
    const Outcome r = engine(h, e, Bytes{0x00, 0xE9, 0xDC, 0x00, 0x00, 0xDF}, 16, kUpper);
    EXPECT_EQ(hex(r.out), hex(Bytes{0x00, 0xC9, 0xDC, 0x00, 0x00, 'S', 0x00, 'S'}));
    EXPECT_EQ(r.status, 0u);
    // a high surrogate at the end
    const Outcome end = engine(h, e, Bytes{0x00, 0xE9, 0xD8, 0x01}, 16, kUpper);
    EXPECT_EQ(hex(end.out), hex(Bytes{0x00, 0xC9, 0xD8, 0x01}));
  });
}

// The terminator under the NUL flag, and a NUL ending an unbounded text.
TEST_F(Special, Terminators) {
  child([](nlstest::Env &e) {
    lxlangid h = handle(e, "AL32UTF8", "TESTCASE");
    Outcome r = bytes_call(h, e, Bytes{'c', 0xC3, 0xA9, 0, 'x'}, 16, LXO_CASE_UPPER | LXO_NULTERM);
    EXPECT_EQ(hex(r.out), hex(Bytes{'C', 'E', 0}));  // the NUL is not a second key
    r = engine(h, e, Bytes{0xC3, 0x9F, 0, 'x'}, 16, LXO_CASE_UPPER);
    EXPECT_EQ(hex(r.out), hex(Bytes{'S', 'S'}));
    EXPECT_EQ(r.status, 0u);
    lxlangid l = handle(e, "WE8ISO8859P1", "TESTCASE");
    r = bytes_call(l, e, Bytes{0xE9, 0, 'x'}, 16, LXO_CASE_UPPER | LXO_NULTERM);
    EXPECT_EQ(hex(r.out), hex(Bytes{'E', 0}));
    // length-bounded: a NUL is an ordinary character; as a second key it
    // reads as the end of the text, but the entry does not take it
    r = engine(l, e, Bytes{0xE9, 0, 'x'}, 16, kUpper);
    EXPECT_EQ(hex(r.out), hex(Bytes{'E', 0, 'X'}));
    EXPECT_EQ(r.ncount, 3u);
  });
}

// Shift-sensitive text: base letters with the special base-letter entries,
// each output in the shift state its length needs.
TEST_F(Special, ShiftSensitiveBaseLetters) {
  child([](nlstest::Env &e) {
    lxlangid h = handle(e, "TESTSHIFT", "TESTCASE");
    struct {
      Bytes src, want;
    } const cases[] = {
        // a one-byte base letter after a double-byte run: shift-in first
        {{kSO, 0xA3, 0xC2, 0xA3, 0xC1, kSI, 'x'}, {kSO, 0xA3, 0xC2, kSI, 'A', 'x'}},
        // all three outputs of an entry, mixing both lengths
        {{kSO, 0xA3, 0xC3, kSI}, {'C', kSO, 0xA3, 0xC3, kSI, 'c'}},
        {{'a', kSO, 0xA3, 0xE1, 0xA3, 0xC4, kSI}, {'a', 'a', kSO, 0xA3, 0xC4, kSI}},
    };
    for (const auto &c : cases) {
      const Outcome r = bytes_call(h, e, c.src, 32, kBase);
      EXPECT_EQ(hex(r.out), hex(c.want)) << hex(c.src);
      EXPECT_EQ(r.status, 0u) << hex(c.src);
      // every room: never past it, status 6 whenever the result is cut
      for (size_t room = 0; room < c.want.size(); ++room) {
        const Outcome cut = bytes_call(h, e, c.src, room, kBase);
        ASSERT_TRUE(cut.guard_intact) << room;
        ASSERT_LE(cut.r, room);
        ASSERT_EQ(cut.status, 6u) << hex(c.src) << " room " << room;
      }
    }
    // the engine leaves the output shifted in after a one-byte base letter
    const Outcome r = engine(h, e, Bytes{kSO, 0xA3, 0xC2, 0xA3, 0xC1}, 16, kBase);
    EXPECT_EQ(hex(r.out), hex(Bytes{kSO, 0xA3, 0xC2, kSI, 'A'}));
    EXPECT_EQ(r.shifted, 0);
    EXPECT_EQ(r.ncount, 2u);
    EXPECT_EQ(r.ncount2, 2u);
    // the first output does not fit: the character is left
    const Outcome cut = engine(h, e, Bytes{'a', kSO, 0xA3, 0xC3}, 2, kBase);
    EXPECT_EQ(hex(cut.out), hex(Bytes{'a', 'C'}));
    EXPECT_EQ(cut.status, 6u);
  });
}

// The sort written in the other byte order gives the same entries in every
// set, the third output of upper-case, lower-case and base-letter entries
// included.
TEST_F(Special, SortInTheOtherByteOrder) {
  child(
      [](nlstest::Env &e) {
        for (unsigned s = 0; s < kSetCount; ++s) {
          lxlangid h = handle(e, kSetNames[s], "TESTCASE");
          for (const TextCase &t : kSpecialTexts) {
            if (!(t.sets & (1u << s))) continue;
            const Outcome r = engine(h, e, encode(Set(s), t.src), 64, t.flags);
            EXPECT_EQ(hex(r.out), hex(encode(Set(s), t.want))) << kSetNames[s] << ": " << t.what;
          }
        }
      },
      true);
}

// The charsets' own multibyte case maps, in pair form (the Unicode sets and
// TESTEUC) and in delta form (TESTEUCD), convert alike from an installation
// written in either byte order.
TEST_F(Special, CaseMapsInEitherByteOrder) {
  struct MapCase {
    const char *cs;
    uint32_t flags;
    Bytes src, want;
  };
  std::vector<MapCase> cases;
  const std::u32string lower = U"caf\u00e9 \u03c3\u0436\u1e01\uff41",
                       upper = U"CAF\u00c9 \u03a3\u0416\u1e00\uff21";
  for (Set s : {kUtf8, kAl32, kUtf16}) {
    cases.push_back({kSetNames[s], kUpper, encode(s, lower), encode(s, upper)});
    cases.push_back({kSetNames[s], kLower, encode(s, upper), encode(s, lower)});
  }
  // fullwidth A, B and z; in delta form A lowers to "a" and B to 01 A3 C2
  cases.push_back({"TESTEUC", kLower, {0xA3, 0xC1, 0xA3, 0xC2, 'Q'}, {0xA3, 0xE1, 0xA3, 0xE2, 'q'}});
  cases.push_back({"TESTEUC", kUpper, {0xA3, 0xFA, 'q'}, {0xA3, 0xDA, 'Q'}});
  cases.push_back({"TESTEUCD", kLower, {0xA3, 0xC1, 0xA3, 0xC2, 0xA3, 0xC3},
                   {'a', 0x01, 0xA3, 0xC2, 0xA3, 0xE3}});
  cases.push_back({"TESTEUCD", kUpper, {0xA3, 0xFA, 'q'}, {0xA3, 0xDA, 'Q'}});
  for (bool swapped : {false, true})
    child(
        [&](nlstest::Env &e) {
          for (const MapCase &c : cases) {
            lxlangid h = handle(e, c.cs, nullptr);
            const Outcome r = bytes_call(h, e, c.src, c.want.size() + kSlack, c.flags);
            EXPECT_EQ(hex(r.out), hex(c.want)) << c.cs << (swapped ? " (other byte order)" : "");
          }
        },
        swapped);
}

}  // namespace

namespace {

using Units = std::vector<uint16_t>;

Units to_units(const std::u32string &t) {
  Units u;
  for (char32_t c : t) {
    if (c > 0xFFFF) {
      u.push_back(uint16_t(0xD800 + ((c - 0x10000) >> 10)));
      u.push_back(uint16_t(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      u.push_back(uint16_t(c));
    }
  }
  return u;
}

// The collation's units of a text: base letters and case folding come from
// the case conversion, character by character.
TEST_F(Special, CollationUnitsThroughTheCaseConversion) {
  child([](nlstest::Env &e) {
    struct {
      const char *cs, *sort;
      Set set;
      uint32_t flags;
      std::u32string src, want;
    } const cases[] = {
        {"AL32UTF8", nullptr, kAl32, LXO_CASE_FOLD, U"Stra\u00dfe \ufb03", U"strasse ffi"},
        {"AL16UTF16", nullptr, kUtf16, LXO_CASE_FOLD, U"\u00c9\U00010400", U"\u00e9\U00010428"},
        {"WE8ISO8859P1", nullptr, kLatin1, LXO_CASE_FOLD, U"A\u00df", U"ass"},
        {"AL32UTF8", "TESTCASE", kAl32, LXO_CASE_BASE, U"\u00c6ble caf\u00e9", U"AEble cafe"},
        {"WE8ISO8859P1", "TESTCASE", kLatin1, LXO_CASE_BASE, U"\u00c6\u00e9", U"AEe"},
        // lower case alone through the tables
        {"AL32UTF8", nullptr, kAl32, LXO_CASE_LOWER, U"A\u00c9", U"a\u00e9"},
    };
    for (const auto &c : cases) {
      lxlangid h = handle(e, c.cs, c.sort);
      const Bytes src = encode(c.set, c.src);
      lxmcur cur;
      lxmcpen(src.data(), src.size(), &cur, &h, &e.glo);
      uint16_t units[LXUC_UNITS];
      size_t used = 0;
      const size_t n = lxucom2u(units, LXUC_UNITS, &cur, &used, 100, c.flags, &e.glo);
      EXPECT_EQ(Units(units, units + n), to_units(c.want)) << c.cs << " " << std::hex << c.flags;
      EXPECT_EQ(used, src.size());
    }
    // an expansion that would pass the capacity waits for the next call
    lxlangid h = handle(e, "AL32UTF8", nullptr);
    const Bytes src = encode(kAl32, U"a\ufb03");
    lxmcur cur;
    lxmcpen(src.data(), src.size(), &cur, &h, &e.glo);
    uint16_t units[4];
    size_t used = 0;
    EXPECT_EQ(lxucom2u(units, 4, &cur, &used, 100, LXO_CASE_FOLD, &e.glo), 1u);
    EXPECT_EQ(used, 1u);
    EXPECT_EQ(lxucom2u(units, 4, &cur, &used, 100, LXO_CASE_FOLD, &e.glo), 3u);
    EXPECT_EQ(Units(units, units + 3), to_units(U"ffi"));
  });
}

}  // namespace

// ---- a shadow model on generated texts ------------------------------------------

namespace {

// The special casing rules over code points, from the fixture sort's
// description (not its object) and the sets' simple case forms.
class Model {
 public:
  enum class Mode { Upper, Lower, Base };

  Model(Set set, Mode mode) : single_(set == kLatin1), mode_(mode), sort_(caseinst::special_sort()) {}

  std::u32string convert(const std::u32string &t) const {
    std::u32string out;
    size_t i = 0;
    while (i < t.size()) {
      const char32_t c = t[i];
      const char32_t m = form(c);
      const char32_t u1 = single_ || mode_ == Mode::Base ? c : m;
      if (u1 > 0xFFFF) {
        out += m;
        ++i;
        continue;
      }
      const bool has_next = i + 1 < t.size();
      const char32_t nf = has_next ? form(t[i + 1]) : 0;
      if (has_next && nf > 0xFFFF) {
        if (mode_ == Mode::Base) {
          const char32_t b = base(u1);
          if (b == 0) return out;
          out += b;
        } else {
          out += m;
        }
        out += nf;
        i += 2;
        continue;
      }
      if (const nlsw::SortRecord *e = entry(char16_t(u1), char16_t(nf))) {
        for (uint16_t v : e->v)
          if (v) out += char32_t(v);
        i += !e->any_second && nf != 0 ? 2 : 1;
      } else if (mode_ == Mode::Base) {
        const char32_t b = base(u1);
        if (b == 0) {
          if (single_) out += c;
          return out;
        }
        out += b;
        ++i;
      } else {
        out += m;
        ++i;
      }
    }
    return out;
  }

 private:
  char32_t form(char32_t c) const {
    if (mode_ == Mode::Base) return c;
    const bool up = mode_ == Mode::Upper;
    if (single_ || c < 0x80) {
      const bool small = (c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7);
      const bool capital = (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7);
      if (up && small) return c - 0x20;
      if (!up && capital) return c + 0x20;
      if (single_ || c < 0x80) return c;
    }
    for (const CaseForm &f : kCaseForms)
      if (f.cp == c) return up ? f.up : f.lo;
    return c;
  }
  char32_t base(char32_t v) const {
    auto it = sort_.base_letters.find(uint16_t(v));
    return it == sort_.base_letters.end() ? v : it->second;
  }
  const nlsw::SortRecord *entry(char16_t key, char16_t second) const {
    const std::vector<nlsw::SortRecord> &recs =
        mode_ == Mode::Upper ? sort_.upper : mode_ == Mode::Lower ? sort_.lower : sort_.base_records;
    if (mode_ == Mode::Lower && key < 128) return nullptr;
    for (const nlsw::SortRecord &r : recs)
      if (r.ch == key && (r.any_second || r.second == second)) return &r;
    return nullptr;
  }

  bool single_;
  Mode mode_;
  nlsw::SortDesc sort_;
};

TEST_F(Special, GeneratedTextsAgainstTheModel) {
  child([](nlstest::Env &e) {
    const std::u32string unicode = U"aijIJs \u00df\u00e9\u00c9\u00bd\u00c6\u00e6\u03a3\u03c3o\u0308\u0130\ufb03\u00ad\u00e0";
    const std::u32string latin = U"aijIJs \u00df\u00e9\u00c9\u00bd\u00c6\u00e6o\u00ad\u00e0";
    const struct {
      Model::Mode mode;
      uint32_t flags;
    } modes[] = {{Model::Mode::Upper, kUpper}, {Model::Mode::Lower, kLower}, {Model::Mode::Base, kBase}};
    std::mt19937 rng(2026);
    for (unsigned s = 0; s < kSetCount; ++s) {
      const Set set = Set(s);
      lxlangid h = handle(e, kSetNames[s], "TESTCASE");
      std::u32string alphabet = set == kLatin1 ? latin : unicode;
      if (set == kAl32 || set == kUtf16) alphabet += U"\U00010428";
      for (const auto &md : modes) {
        const Model model(set, md.mode);
        for (int k = 0; k < 300; ++k) {
          std::u32string t;
          for (size_t n = rng() % 10; n > 0; --n) t += alphabet[rng() % alphabet.size()];
          const Bytes src = encode(set, t), want = encode(set, model.convert(t));
          const Outcome r = engine(h, e, src, 4 * src.size() + 8, md.flags);
          ASSERT_EQ(hex(r.out), hex(want)) << kSetNames[s] << " flags " << std::hex << md.flags
                                           << " text " << hex(src);
          ASSERT_EQ(r.status, 0u);
          if (t.find(U'\u00ad') == std::u32string::npos || md.mode != Model::Mode::Base) {
            ASSERT_EQ(r.nbytes, src.size());
          }
        }
      }
    }
  });
}

}  // namespace

namespace {

// A special entry's own counts are checked: no outputs or a covered count
// other than 1 or 2 reads as no entry, more than three outputs give three.
TEST_F(Special, DamagedEntryCounts) {
  child([](nlstest::Env &e) {
    lxlangid h = handle(e, "AL32UTF8", "TESTCASE");
    auto sort = reinterpret_cast<const lxsrtobj *>(lxlslot(e.table, h.sort));
    ASSERT_NE(sort, nullptr);
    uint8_t *entry = const_cast<uint8_t *>(lxligsu(sort, 0xDF, 0));
    ASSERT_NE(entry, nullptr);
    constexpr size_t kCovers = 10, kCount = 11;
    struct {
      uint8_t covers, count;
      Bytes want;
    } const cases[] = {
        {1, 2, {'S', 'S'}},
        {1, 0, {0xC3, 0x9F}},        // no outputs: the upper case of sharp s, itself
        {3, 2, {0xC3, 0x9F}},        // covers three: none
        {0, 2, {0xC3, 0x9F}},
        {1, 200, {'S', 'S', 0x00}},  // three outputs, the third U+0000
    };
    for (const auto &c : cases) {
      entry[kCovers] = c.covers;
      entry[kCount] = c.count;
      const Outcome r = engine(h, e, Bytes{0xC3, 0x9F}, 16, kUpper);
      EXPECT_EQ(hex(r.out), hex(c.want)) << int(c.covers) << " " << int(c.count);
      EXPECT_EQ(r.status, 0u);
    }
  });
}

}  // namespace
