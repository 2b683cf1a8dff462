// Case conversion: the multibyte case maps, case folding through
// CASE_FOLDING, the engine in every class of character set and its
// byte-string form, against references Python wrote at build time (simple
// per-character case forms, str.casefold of whole texts).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "caseinst.h"
#include "casetest.h"
#include "lxh.h"
#include "lxo.h"
#include "lxp.h"
#include "nlstest.h"

namespace {

#include "case_refs.inc"

using caseinst::kSI;
using caseinst::kSO;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kUpper = LXO_EXACTLEN | LXO_CASE_UPPER;
constexpr uint32_t kLower = LXO_EXACTLEN | LXO_CASE_LOWER;
constexpr uint32_t kInitCap = LXO_EXACTLEN | LXO_CASE_INITCAP;
constexpr uint32_t kFold = LXO_EXACTLEN | LXO_CASE_FOLD;

enum Form { kText = 0, kUp = 1, kLo = 2, kFolded = 3 };
enum Encoding { kUtf8 = 0, kUtf16 = 1, kLatin1 = 2 };

Bytes bytes(const Enc &e) { return Bytes(e.b, e.b + e.n); }
Bytes bytes(const char *s, size_t n) { return Bytes(s, s + n); }

std::string hex(const Bytes &b) {
  std::string s;
  char buf[4];
  for (uint8_t x : b) {
    snprintf(buf, sizeof buf, "%02X ", x);
    s += buf;
  }
  return s;
}

using casetest::folds;

class Case : public ::testing::Test {
 protected:
  static std::string install(caseinst::Options o) {
    return caseinst::write(kCaseForms, std::size(kCaseForms), folds(), o);
  }
  static void SetUpTestSuite() {
    dir_ = install({});
    nofold_ = install({false, false});
    swapped_ = install({true, true});
  }
  // Runs body in a child over the installation at dir.
  static void child(const std::string &dir, const std::function<void(nlstest::Env &)> &body) {
    nlstest::in_installation(dir, body);
  }
  static void child(const std::function<void(nlstest::Env &)> &body) { child(dir_, body); }
  inline static std::string dir_, nofold_, swapped_;
};

lxlangid handle(nlstest::Env &e, const char *cs) { return nlstest::american_handle(e, cs); }

// The result of one byte-string conversion into a guarded buffer.
struct Result {
  Bytes out;
  size_t r;
  uint32_t status;
  size_t nbytes, nbytes2, ncount, ncount2;
  bool guard_intact;
};

constexpr uint8_t kGuard = 0xA5;

Result convert(const lxlangid &h, nlstest::Env &e, const Bytes &src, size_t dstlen, uint32_t flags) {
  std::vector<uint8_t> buf(dstlen + 16, kGuard);
  e.glo.status = 0xDEAD;
  size_t r = lxsCnvCase(buf.data(), dstlen, src.data(), src.size(), flags, &h, &e.glo);
  Result run{Bytes(buf.begin(), buf.begin() + static_cast<long>(r < dstlen ? r : dstlen)), r,
          e.glo.status, e.glo.nbytes, e.glo.nbytes2, e.glo.ncount, e.glo.ncount2, true};
  for (size_t i = dstlen; i < buf.size(); ++i)
    if (buf[i] != kGuard) run.guard_intact = false;
  return run;
}

// ---- the reference texts in every Unicode set and in ISO 8859-1 ----------

struct SetCase {
  const char *cs;
  Encoding enc;
  bool bmp_only;
};

constexpr SetCase kSets[] = {
    {"AL32UTF8", kUtf8, false}, {"UTF8", kUtf8, true}, {"AL16UTF16", kUtf16, false},
    {"WE8ISO8859P1", kLatin1, false}};

constexpr struct {
  Form form;
  uint32_t flags;
} kConversions[] = {{kUp, kUpper}, {kLo, kLower}, {kFolded, kFold}};

TEST_F(Case, ReferenceTextsInEverySet) {
  child([](nlstest::Env &e) {
    for (const SetCase &sc : kSets) {
      lxlangid h = handle(e, sc.cs);
      for (const TextRef &t : kTexts) {
        if (!t.forms[kText][sc.enc].b || (sc.bmp_only && !t.bmp)) continue;
        const Bytes src = bytes(t.forms[kText][sc.enc]);
        for (const auto &cv : kConversions) {
          const Bytes want = bytes(t.forms[cv.form][sc.enc]);
          SCOPED_TRACE(std::string(sc.cs) + " " + t.name + " form " + std::to_string(cv.form));
          Result full = convert(h, e, src, want.size() + 8, cv.flags);
          EXPECT_EQ(hex(full.out), hex(want));
          EXPECT_EQ(full.status, 0u);
          EXPECT_EQ(full.nbytes, src.size());
          EXPECT_EQ(full.nbytes2, want.size());
          // every room from none to exact: a prefix, never past the room,
          // and status 6 exactly when the result is cut
          for (size_t room = 0; room <= want.size(); ++room) {
            Result cut = convert(h, e, src, room, cv.flags);
            ASSERT_TRUE(cut.guard_intact) << room;
            ASSERT_LE(cut.r, room);
            ASSERT_EQ(hex(cut.out), hex(Bytes(want.begin(), want.begin() + static_cast<long>(cut.r))))
                << room;
            ASSERT_EQ(cut.status, room < want.size() ? 6u : 0u) << room;
            ASSERT_EQ(cut.nbytes2, cut.r) << room;
          }
        }
      }
    }
  });
}

// The same folding with the installation written in the other byte order.
TEST_F(Case, FoldingObjectInTheOtherByteOrder) {
  child(swapped_, [](nlstest::Env &e) {
    lxlangid h = handle(e, "AL16UTF16");
    for (const TextRef &t : kTexts) {
      Result r = convert(h, e, bytes(t.forms[kText][kUtf16]), 200, kFold);
      EXPECT_EQ(hex(r.out), hex(bytes(t.forms[kFolded][kUtf16]))) << t.name;
      EXPECT_EQ(r.status, 0u);
    }
  });
}

TEST_F(Case, FoldingObjectMissing) {
  child(nofold_, [](nlstest::Env &e) {
    lxlangid h = handle(e, "AL32UTF8");
    for (uint32_t flags : {kFold, kFold | LXO_CASE_BINARY}) {
      Result r = convert(h, e, bytes("Abc", 3), 10, flags);
      EXPECT_EQ(r.r, 0u);
      EXPECT_EQ(r.status, 26u);
    }
    // case conversion itself needs no named object
    Result up = convert(h, e, bytes("Abc", 3), 10, kUpper);
    EXPECT_EQ(hex(up.out), hex(bytes("ABC", 3)));
  });
}

// ---- single-byte sets ---------------------------------------------------------

TEST_F(Case, SingleByteEngine) {
  child([](nlstest::Env &e) {
    lxlangid h = handle(e, "WE8ISO8859P1");
    struct {
      const char *src;
      size_t srclen, dstlen;
      uint32_t flags;
      const char *want;
      size_t r;
      uint32_t status;
    } const cases[] = {
        // without the length bound a NUL ends the text and is written
        {"abc\0xyz\0\0", 10, 10, LXO_CASE_UPPER, "ABC\0", 4, 0},
        {"abcde", 5, 3, LXO_EXACTLEN | LXO_CASE_UPPER, "ABC", 3, 6},
        // a text that ends at its NUL in the last byte of room is whole
        {"ab\0de", 5, 3, LXO_CASE_UPPER, "AB\0", 3, 0},
        {"abc", 3, 10, LXO_EXACTLEN | LXO_CASE_UPPER, "ABC", 3, 0},
        {"a\0b", 3, 3, LXO_EXACTLEN | LXO_CASE_UPPER, "A\0B", 3, 0},
        // an apostrophe starts a word, a digit does not
        {"o'neil 3rd mAX", 14, 20, kInitCap, "O'Neil 3rd Max", 14, 0},
        // no conversion bit: nothing
        {"abc", 3, 10, LXO_EXACTLEN, "", 0, 0},
    };
    for (const auto &c : cases) {
      Bytes src = bytes(c.src, c.srclen);
      std::vector<uint8_t> buf(32, kGuard);
      lxmcur in, out;
      lxmcpen(src.data(), src.size(), &in, &h, &e.glo);
      lxmopen(buf.data(), c.dstlen, &out, &h, &e.glo, 1);
      size_t r = lxoCnvCase(&out, c.dstlen, &in, c.srclen, c.flags, &e.glo);
      EXPECT_EQ(r, c.r) << c.src;
      EXPECT_EQ(hex(Bytes(buf.begin(), buf.begin() + static_cast<long>(r))), hex(bytes(c.want, c.r)));
      EXPECT_EQ(e.glo.status, c.status) << c.src;
      EXPECT_EQ(e.glo.nbytes, c.r);
      EXPECT_EQ(e.glo.ncount2, c.r);
      EXPECT_EQ(static_cast<size_t>(out.pos - out.start), r);
      EXPECT_EQ(buf[c.dstlen], kGuard);
    }
  });
}

TEST_F(Case, EntryChecks) {
  child([](nlstest::Env &e) {
    for (const char *cs : {"WE8ISO8859P1", "AL16UTF16", "TESTSHIFT", "AL32UTF8"}) {
      lxlangid h = handle(e, cs);
      uint8_t src[4] = {'a', 0, 'b', 0}, dst[4] = {};
      lxmcur in, out;
      lxmcpen(src, 4, &in, &h, &e.glo);
      lxmopen(dst, 4, &out, &h, &e.glo, 1);
      e.glo.nbytes = e.glo.ncount = 99;
      EXPECT_EQ(lxoCnvCase(&out, 0, &in, 4, kUpper, &e.glo), 0u) << cs;
      EXPECT_EQ(e.glo.status, 6u) << cs;
      EXPECT_EQ(e.glo.nbytes, 0u);
      EXPECT_EQ(e.glo.ncount, 0u);
      EXPECT_EQ(lxoCnvCase(&out, 4, &in, 0, kUpper, &e.glo), 0u) << cs;
      EXPECT_EQ(e.glo.status, 0u) << cs;
    }
  });
}

// An expansion with less room than outputs: what fits is written, and the
// cut is reported even at the end of the source.
TEST_F(Case, FoldingCutsAnExpansion) {
  child([](nlstest::Env &e) {
    lxlangid h = handle(e, "WE8ISO8859P1");
    Result r = convert(h, e, bytes("\xdf", 1), 1, kFold);
    EXPECT_EQ(hex(r.out), hex(bytes("s", 1)));
    EXPECT_EQ(r.status, 6u);
    EXPECT_EQ(r.nbytes, 1u);
    // a value the set lacks becomes its replacement, with the mark
    e.glo.repmark = 0;
    r = convert(h, e, bytes("\xb5", 1), 4, kFold);
    EXPECT_EQ(hex(r.out), hex(bytes("?", 1)));
    EXPECT_EQ(e.glo.repmark, LX_REPMARK);
  });
}

// ---- wide units ------------------------------------------------------------

TEST_F(Case, WideUnits) {
  child([](nlstest::Env &e) {
    lxlangid h = handle(e, "AL16UTF16");
    // a lone low surrogate is copied and the next unit converted
    Result r = convert(h, e, bytes("\xdc\x00\x00\x61", 4), 8, kUpper);
    EXPECT_EQ(hex(r.out), hex(bytes("\xdc\x00\x00\x41", 4)));
    EXPECT_EQ(r.status, 0u);
    EXPECT_EQ(r.ncount, 2u);
    // a high surrogate at the very end is written unchanged
    r = convert(h, e, bytes("\x00\x61\xd8\x01", 4), 8, kUpper);
    EXPECT_EQ(hex(r.out), hex(bytes("\x00\x41\xd8\x01", 4)));
    // a pair that does not fit: its high surrogate alone, and the cut reported
    r = convert(h, e, bytes("\x00\x61\xd8\x01\xdc\x28", 6), 4, kUpper);
    EXPECT_EQ(hex(r.out), hex(bytes("\x00\x41\xd8\x01", 4)));
    EXPECT_EQ(r.status, 6u);
    // less than one unit of room or source writes nothing
    r = convert(h, e, bytes("\x00\x61", 2), 1, kUpper);
    EXPECT_EQ(r.r, 0u);
    EXPECT_EQ(r.status, 6u);
    r = convert(h, e, bytes("\x00", 1), 4, kUpper);
    EXPECT_EQ(r.r, 0u);
    EXPECT_EQ(r.status, 0u);
    // a 0x0000 unit ends an unbounded text; with the terminator flag it is copied
    r = convert(h, e, bytes("\x00\x61\x00\x00\x00\x62", 6), 8, LXO_CASE_UPPER | LXO_NULTERM);
    EXPECT_EQ(hex(r.out), hex(bytes("\x00\x41\x00\x00", 4)));
    EXPECT_EQ(r.ncount2, 2u);
    // folding units of a block that has no page: copied
    r = convert(h, e, bytes("\x4e\x00\x4e\x01\x00\x41\x4e\x02", 8), 8, kFold);
    EXPECT_EQ(hex(r.out), hex(bytes("\x4e\x00\x4e\x01\x00\x61\x4e\x02", 8)));
    // folding a supplementary pair with room for its first unit only
    r = convert(h, e, bytes("\xd8\x01\xdc\x00", 4), 2, kFold);
    EXPECT_EQ(hex(r.out), hex(bytes("\xd8\x01", 2)));
    EXPECT_EQ(r.status, 6u);
  });
}

// ---- multibyte sets: pair and delta maps, lengths that change ---------------

TEST_F(Case, MultibyteCaseMaps) {
  child([](nlstest::Env &e) {
    struct {
      const char *cs;
      const char *src;
      size_t n;
      uint32_t flags;
      const char *want;
      size_t wn;
    } const cases[] = {
        {"TESTEUC", "a\xa3\xc1\xa3\xe2\xa4\xa2", 7, kUpper, "A\xa3\xc1\xa3\xc2\xa4\xa2", 7},
        {"TESTEUC", "A\xa3\xc1\xa3\xe2\x8e\xb1", 7, kLower, "a\xa3\xe1\xa3\xe2\x8e\xb1", 7},
        {"TESTEUC", "\xa3\xe1\xa3\xc2 \xa3\xc3", 7, kInitCap, "\xa3\xc1\xa3\xe2 \xa3\xc3", 7},
        // delta form: one delta shortens a character to one byte, another
        // carries a 2-byte value past 0xFFFF into 3 bytes
        {"TESTEUCD", "\xa3\xc3\xa3\xc1\xa3\xc2", 6, kLower, "\xa3\xe3" "a\x01\xa3\xc2", 6},
        {"TESTEUCD", "\xa3\xe3", 2, kUpper, "\xa3\xc3", 2},
        // a form longer than its character (U+023A in 2 bytes, U+2C65 in 3)
        {"AL32UTF8", "\xc8\xba", 2, kLower, "\xe2\xb1\xa5", 3},
        {"AL32UTF8", "\xe2\xb1\xa5", 3, kUpper, "\xc8\xba", 2},
    };
    for (const auto &c : cases) {
      lxlangid h = handle(e, c.cs);
      Result r = convert(h, e, bytes(c.src, c.n), 16, c.flags);
      EXPECT_EQ(hex(r.out), hex(bytes(c.want, c.wn))) << c.cs << " " << hex(bytes(c.src, c.n));
      EXPECT_EQ(r.status, 0u);
    }
    // the longer form without room: not written, not consumed
    lxlangid h = handle(e, "AL32UTF8");
    Result r = convert(h, e, bytes("a\xc8\xba", 3), 3, kLower);
    EXPECT_EQ(hex(r.out), hex(bytes("a", 1)));
    EXPECT_EQ(r.nbytes, 1u);
    EXPECT_EQ(r.status, 6u);
  });
}

TEST_F(Case, CaseMapPrimitives) {
  child([](nlstest::Env &e) {
    lxlangid h = handle(e, "TESTEUC");
    auto cs = reinterpret_cast<const lxcsobj *>(e.glo.table ? lxlslot(e.glo.table, h.cs) : nullptr);
    ASSERT_NE(cs, nullptr);
    uint8_t out[8];
    // a character whose class lacks the lower-case bit stays, own length
    EXPECT_EQ(lxpmmup(cs, out, reinterpret_cast<const uint8_t *>("\xa3\xc1"), 2), 2);
    EXPECT_EQ(hex(Bytes(out, out + 2)), hex(bytes("\xa3\xc1", 2)));
    // beyond every source value of the pairs
    EXPECT_EQ(lxpmmlo(cs, out, reinterpret_cast<const uint8_t *>("\xa3\xfa"), 2), 2);
    EXPECT_EQ(hex(Bytes(out, out + 2)), hex(bytes("\xa3\xfa", 2)));
    EXPECT_EQ(lxpmmlo(cs, out, reinterpret_cast<const uint8_t *>("\xa3\xda"), 2), 2);
    EXPECT_EQ(hex(Bytes(out, out + 2)), hex(bytes("\xa3\xfa", 2)));
  });
}

// ---- shift-sensitive sets ------------------------------------------------------

TEST_F(Case, ShiftSensitive) {
  child([](nlstest::Env &e) {
    lxlangid h = handle(e, "TESTSHIFT");
    struct {
      const char *src;
      size_t n, room;
      uint32_t flags;
      const char *want;
      size_t wn;
      uint32_t status;
    } const cases[] = {
        // a source that starts shifted in: shift-out before the double-byte run
        {"a\x0e\xa3\xe1\xa3\xe2\x0f" "b", 8, 16, kUpper, "A\x0e\xa3\xc1\xa3\xc2\x0f" "B", 8, 0},
        {"\x0e\xa3\xc1\x0f" "a", 5, 16, kLower, "\x0e\xa3\xe1\x0f" "a", 5, 0},
        // the converted double-byte text fills the room: the last character
        // and its shift-out go back, shift-in closes the output
        {"a\x0e\xa3\xe1", 4, 4, kUpper, "A", 1, 6},
        {"\x0e\xa3\xe1\xa3\xe2", 5, 5, kUpper, "\x0e\xa3\xc1\x0f", 4, 6},
        // folding: each output in the state its length needs, room kept for
        // the closing shift-in
        {"A\x0e\xa3\xc1\x0f", 5, 16, kFold, "a\x0e\xa3\xe1\x0f", 5, 0},
        {"A\x0e\xa3\xc1\x0f", 5, 4, kFold, "a", 1, 6},
        // the terminator after the closing shift-in
        {"\x0e\xa3\xe1", 3, 8, LXO_CASE_UPPER | LXO_NULTERM, "\x0e\xa3\xc1\x0f\0", 5, 0},
    };
    for (const auto &c : cases) {
      Result r = convert(h, e, bytes(c.src, c.n), c.room, c.flags);
      EXPECT_EQ(hex(r.out), hex(bytes(c.want, c.wn))) << hex(bytes(c.src, c.n)) << " room " << c.room;
      EXPECT_EQ(r.status, c.status) << hex(bytes(c.src, c.n));
      EXPECT_TRUE(r.guard_intact);
    }
    // the engine leaves the output shifted out for the caller to close
    Bytes src = bytes("a\x0e\xa3\xe1", 4);
    uint8_t dst[16];
    lxmcur in, out;
    lxmcpen(src.data(), src.size(), &in, &h, &e.glo);
    lxmopen(dst, sizeof dst, &out, &h, &e.glo, 1);
    size_t r = lxoCnvCase(&out, sizeof dst, &in, src.size(), kUpper, &e.glo);
    EXPECT_EQ(hex(Bytes(dst, dst + r)), hex(bytes("A\x0e\xa3\xc1", 4)));
    EXPECT_EQ(out.shifted, 1);
    EXPECT_EQ(out.mark2, 2u);
    EXPECT_EQ(e.glo.ncount, 2u);
  });
}

// ---- the byte-string wrapper's terminator ----------------------------------------

TEST_F(Case, Terminators) {
  child([](nlstest::Env &e) {
    lxlangid h = handle(e, "AL32UTF8");
    const uint32_t nul = LXO_CASE_UPPER | LXO_NULTERM;
    // a source already ending in a NUL: copied once
    Result r = convert(h, e, bytes("ab\0", 3), 8, nul);
    EXPECT_EQ(hex(r.out), hex(bytes("AB\0", 3)));
    // no NUL in the source: one appended
    r = convert(h, e, bytes("ab", 2), 8, nul);
    EXPECT_EQ(hex(r.out), hex(bytes("AB\0", 3)));
    EXPECT_EQ(r.status, 0u);
    // an output that fills the room exactly: no terminator, and said so
    r = convert(h, e, bytes("ab", 2), 2, nul);
    EXPECT_EQ(hex(r.out), hex(bytes("AB", 2)));
    EXPECT_EQ(r.status, 6u);
    lxlangid w = handle(e, "AL16UTF16");
    r = convert(w, e, bytes("\x00\x61", 2), 4, nul);
    EXPECT_EQ(hex(r.out), hex(bytes("\x00\x41\x00\x00", 4)));
    r = convert(w, e, bytes("\x00\x61", 2), 3, nul);
    EXPECT_EQ(r.r, 2u);
    EXPECT_EQ(r.status, 6u);
  });
}

// Base letters without a base-letter table need BINARY_AI, which this
// installation lacks.
TEST_F(Case, BaseLettersWithoutTheirObject) {
  child([](nlstest::Env &e) {
    lxlangid h = handle(e, "WE8ISO8859P1");
    Result r = convert(h, e, bytes("\xe9", 1), 4, LXO_EXACTLEN | LXO_CASE_BASE);
    EXPECT_EQ(r.r, 0u);
    EXPECT_EQ(r.status, 26u);
  });
}

// ---- long UTF-16 texts ------------------------------------------------------

// All reference texts one after another, several times over, so that units
// that stay, units that fold to one unit, expansions and supplementary pairs
// meet in every order and at both parities of the unit position; behind a
// lead of 0 to 3 units. Case folding is per character, so the folded form is
// the same concatenation of str.casefold results.
struct LongText {
  Bytes text, folded;
};
LongText long_text(size_t lead) {
  constexpr int kRounds = 5;
  LongText l;
  for (size_t i = 0; i < lead; ++i) {
    const uint8_t unit[2] = {0x00, uint8_t('K' + i)};  // 'K' folds, 'L' and on as well
    l.text.insert(l.text.end(), unit, unit + 2);
    const uint8_t low[2] = {0x00, uint8_t('k' + i)};
    l.folded.insert(l.folded.end(), low, low + 2);
  }
  for (int round = 0; round < kRounds; ++round)
    for (const TextRef &t : kTexts) {
      const Bytes src = bytes(t.forms[kText][kUtf16]), want = bytes(t.forms[kFolded][kUtf16]);
      l.text.insert(l.text.end(), src.begin(), src.end());
      l.folded.insert(l.folded.end(), want.begin(), want.end());
    }
  return l;
}

TEST_F(Case, FoldingLongMixedUtf16Texts) {
  child([](nlstest::Env &e) {
    lxlangid h = handle(e, "AL16UTF16");
    for (size_t lead = 0; lead < 4; ++lead) {
      SCOPED_TRACE("lead " + std::to_string(lead));
      const LongText l = long_text(lead);
      Result r = convert(h, e, l.text, l.folded.size() + 8, kFold);
      EXPECT_EQ(hex(r.out), hex(l.folded));
      EXPECT_EQ(r.status, 0u);
      EXPECT_EQ(r.nbytes, l.text.size());
      EXPECT_EQ(r.ncount, l.text.size() / 2);
      EXPECT_EQ(r.ncount2, l.folded.size() / 2);
      // too little room anywhere: a prefix of the folded text, the cut reported
      for (size_t room = 0; room < l.folded.size(); room += 7) {
        Result cut = convert(h, e, l.text, room, kFold);
        ASSERT_TRUE(cut.guard_intact) << room;
        ASSERT_EQ(hex(cut.out), hex(Bytes(l.folded.begin(), l.folded.begin() + static_cast<long>(cut.r))))
            << room;
        ASSERT_GE(cut.r + 1, room) << room;  // short of the room by at most an odd byte
        ASSERT_EQ(cut.status, 6u) << room;
      }
    }
  });
}

// Without the length bound a 0x0000 unit ends the text wherever it stands:
// the result is the bounded folding of what precedes it, then the unit.
TEST_F(Case, FoldingLongUtf16TextEndsAtAZeroUnit) {
  child([](nlstest::Env &e) {
    lxlangid h = handle(e, "AL16UTF16");
    const LongText l = long_text(0);
    constexpr uint32_t kFoldUnbounded = LXO_CASE_FOLD;
    for (size_t at = 0; at + 2 <= l.text.size(); at += 2) {
      Bytes src(l.text.begin(), l.text.begin() + static_cast<long>(at));
      Result before = convert(h, e, src, 2 * src.size() + 8, kFold);
      src.push_back(0);
      src.push_back(0);
      src.insert(src.end(), l.text.begin() + static_cast<long>(at), l.text.end());
      Result r = convert(h, e, src, 2 * src.size() + 8, kFoldUnbounded);
      Bytes want = before.out;
      want.push_back(0);
      want.push_back(0);
      ASSERT_EQ(hex(r.out), hex(want)) << at;
      ASSERT_EQ(r.nbytes, at + 2) << at;
      ASSERT_EQ(r.status, 0u) << at;
    }
  });
}

}  // namespace
