// Character cursors over a written installation: opening over leading shift
// bytes, stepping by the character-length rule of each kind of character
// set, and the cut positions of multibyte texts. Every test runs in a child.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lxm.h"
#include "lxp.h"
#include "nlsfix.h"

using namespace nlsfix;
using nlstest::Env;

namespace {

class Lxm : public Installed {};

using Bytes = std::vector<unsigned char>;

// The byte lengths that successive steps return until the cursor leaves its
// text, and the final distance of pos from start.
struct Walk {
  std::vector<size_t> steps;
  size_t end;
};
Walk walk(const lxlangid &h, Bytes &text, Env &e) {
  lxmcur c;
  lxmopen(text.data(), text.size(), &c, &h, &e.glo, 1);
  Walk w;
  while (static_cast<size_t>(c.pos - c.start) < c.len) w.steps.push_back(lxmfwdx(&c, &e.glo));
  w.end = static_cast<size_t>(c.pos - c.start);
  return w;
}

}  // namespace

TEST_F(Lxm, OpeningTakesFlagsFromTheHandle) {
  child([](Env &e) {
    struct {
      const char *name;
      int single, shift;
    } cases[] = {{"AMERICAN_AMERICA.US7ASCII", 1, 0},
                 {"AMERICAN_AMERICA.UTF8", 0, 0},
                 {"AMERICAN_AMERICA.AL16UTF16", 0, 0},
                 {"AMERICAN_AMERICA.TESTSHIFT", 0, 1}};
    for (const auto &c : cases) {
      lxlangid h = handle(e, c.name);
      unsigned char text[4] = {'a', 'b', 'c', 0};
      lxmcur cur;
      cur.shifted = 7;
      cur.mark2 = 9;
      EXPECT_EQ(lxmopen(text, 3, &cur, &h, &e.glo, 1), 0u) << c.name;
      EXPECT_EQ(cur.single_byte, c.single) << c.name;
      EXPECT_EQ(cur.shift_sensitive, c.shift) << c.name;
      EXPECT_EQ(cur.pos, text);
      EXPECT_EQ(cur.start, text);
      EXPECT_EQ(cur.langid, &h);
      EXPECT_EQ(cur.len, 3u);
      EXPECT_EQ(cur.shifted, 0);
      EXPECT_EQ(cur.mark, 1);
      EXPECT_EQ(cur.mark2, 0);
      EXPECT_EQ(lxmcpen(text, 3, &cur, &h, &e.glo), 0u);
      EXPECT_EQ(cur.mark, 0);
    }
  });
}

TEST_F(Lxm, LeadingShiftBytes) {
  child([](Env &e) {
    lxlangid sh = handle(e, "AMERICAN_AMERICA.TESTSHIFT");
    lxlangid utf = handle(e, "AMERICAN_AMERICA.UTF8");
    struct {
      const lxlangid *h;
      Bytes text;
      size_t len;
      int noskip;
      bool cpen;
      size_t skipped;
      int shifted;
    } cases[] = {
        {&sh, {kSO, kSO, 'A'}, 3, 0, false, 2, 1},
        {&sh, {kSO, kSO, 'A'}, 3, 1, false, 0, 0},   // no-skip: nothing stepped
        {&sh, {kSO, kSO, 'A'}, 3, 0, true, 2, 1},
        {&sh, {kSO, kSI, 'A'}, 3, 0, true, 2, 0},    // the last shift byte decides
        {&sh, {kSO, kSO}, 2, 0, true, 2, 1},         // only shift bytes: stops at the end
        {&sh, {kSO, kSO}, 1, 0, true, 1, 1},         // never past the length
        {&sh, {kSO, 'A'}, 0, 0, true, 0, 0},         // empty text
        {&utf, {kSO, kSO, 'A'}, 3, 0, true, 0, 0},   // not shift-sensitive
    };
    for (auto &c : cases) {
      lxmcur cur;
      size_t r = c.cpen ? lxmcpen(c.text.data(), c.len, &cur, c.h, &e.glo)
                        : lxmopen(c.text.data(), c.len, &cur, c.h, &e.glo, c.noskip);
      EXPECT_EQ(r, c.skipped);
      EXPECT_EQ(static_cast<size_t>(cur.pos - cur.start), c.skipped);
      EXPECT_EQ(cur.shifted, c.shifted);
    }
  });
}

TEST_F(Lxm, StepsByCharacterLength) {
  child([](Env &e) {
    lxlangid ascii = handle(e, "AMERICAN_AMERICA.WE8ISO8859P1");
    lxlangid utf8 = handle(e, "AMERICAN_AMERICA.UTF8");
    lxlangid al32 = handle(e, "AMERICAN_AMERICA.AL32UTF8");
    lxlangid u16 = handle(e, "AMERICAN_AMERICA.AL16UTF16");
    lxlangid sjis = handle(e, "AMERICAN_AMERICA.JA16SJIS");
    lxlangid sh = handle(e, "AMERICAN_AMERICA.TESTSHIFT");
    struct {
      const lxlangid *h;
      Bytes text;
      std::vector<size_t> steps;
      size_t end;
    } cases[] = {
        {&ascii, {'a', 0xE4, 0xC3, 0xA4}, {1, 1, 1, 1}, 4},
        {&utf8, {'a', 0xC3, 0xA4, 0xE6, 0x97, 0xA5}, {1, 2, 3}, 6},
        // a lead byte as the last byte: 0, and one byte on, onto the end
        {&utf8, {'a', 0xC3}, {1, 0}, 2},
        {&utf8, {0xE6, 0x97}, {0, 1}, 2},  // then the continuation byte alone
        {&al32, {0xF0, 0x9F, 0x98, 0x80, 'b'}, {4, 1}, 5},
        {&u16, {0x00, 0x41, 0x30, 0x6E}, {2, 2}, 4},
        {&u16, {0x00, 0x41, 0x30}, {2, 0}, 3},
        {&sjis, {0x82, 0xCC, 'x', 0x93, 0xFA}, {2, 1, 2}, 5},
        // the shift bytes after a character go with it
        {&sh, {'A', kSO, 0x82, 0xCC, kSI, 'B'}, {2, 3, 1}, 6},
        {&sh, {'A', kSO, kSI, kSO, 0x82, 0xCC, 0x83, 0x4C}, {4, 2, 2}, 8},
        // a shifted-out character cut off by the end
        {&sh, {'A', kSO, 0x82}, {2, 0}, 3},
    };
    for (auto &c : cases) {
      Walk w = walk(*c.h, c.text, e);
      EXPECT_EQ(w.steps, c.steps) << "case " << (&c - cases);
      EXPECT_EQ(w.end, c.end) << "case " << (&c - cases);
    }
  });
}

TEST_F(Lxm, StepKeepsShiftState) {
  child([](Env &e) {
    lxlangid sh = handle(e, "AMERICAN_AMERICA.TESTSHIFT");
    unsigned char text[] = {'A', kSO, 0x82, 0xCC, kSI, 'B'};
    lxmcur c;
    lxmopen(text, sizeof text, &c, &sh, &e.glo, 1);
    EXPECT_EQ(lxmfwdx(&c, &e.glo), 2u);
    EXPECT_EQ(c.shifted, 1);
    // a two-byte character followed by a shift-in byte: 3, shifted in
    EXPECT_EQ(lxmfwdx(&c, &e.glo), 3u);
    EXPECT_EQ(c.shifted, 0);
    EXPECT_EQ(*c.pos, 'B');
    // a copy carries the state; stepping the copy leaves the original
    lxmcur saved = c;
    EXPECT_EQ(lxmfwdx(&saved, &e.glo), 1u);
    EXPECT_EQ(c.pos, text + 5);
    // stepping at the end: 0 and one byte further each time
    EXPECT_EQ(lxmfwdx(&saved, &e.glo), 0u);
    EXPECT_EQ(saved.pos - saved.start, 7);
  });
}

TEST_F(Lxm, SkipShiftBytesInTheMiddle) {
  child([](Env &e) {
    lxlangid sh = handle(e, "AMERICAN_AMERICA.TESTSHIFT");
    unsigned char text[] = {'A', kSO, kSI, kSO, 0x82, 0xCC};
    lxmcur c;
    lxmopen(text, sizeof text, &c, &sh, &e.glo, 1);
    EXPECT_EQ(lxmskps(&c, &e.glo), 0u);
    c.pos++;
    EXPECT_EQ(lxmskps(&c, &e.glo), 3u);
    EXPECT_EQ(c.shifted, 1);
    EXPECT_EQ(*c.pos, 0x82);
  });
}

TEST(LxptmUtf8, CutPositions) {
  struct {
    Bytes text;
    size_t cut;
  } cases[] = {
      {{0x61, 0xE3, 0x81}, 1},        // a three-byte lead with one continuation byte
      {{0x61, 0xE3, 0x81, 0x82}, 4},  // complete
      {{0x81, 0x82}, 0},              // only continuation bytes: begin
      {{}, 0},
      {{0x61, 0xC3}, 1},
      {{0x61, 0xC3, 0xA4}, 3},
      {{0x61, 0xF0, 0x9F, 0x98}, 1},
      {{0x61, 0xF0, 0x9F, 0x98, 0x80}, 5},
      {{0x61, 0x62}, 2},
  };
  for (auto &c : cases) {
    const unsigned char *b = c.text.data(), *end = b + c.text.size();
    EXPECT_EQ(static_cast<size_t>(lxptmutf8(b, end) - b), c.cut) << "case " << (&c - cases);
  }
}

TEST_F(Lxm, TableDrivenCutPositions) {
  child([](Env &e) {
    lxlangid sjis = handle(e, "AMERICAN_AMERICA.JA16SJIS");  // at most 2 bytes
    lxlangid utf8 = handle(e, "AMERICAN_AMERICA.UTF8");      // at most 3
    lxlangid al32 = handle(e, "AMERICAN_AMERICA.AL32UTF8");  // at most 4
    struct {
      const lxlangid *h;
      Bytes text;
      size_t cut;
      size_t count;  // ncount and ncount2 (99: left as they were)
    } cases[] = {
        {&sjis, {'a', 'b', 'c', 'd'}, 4, 99},        // quick: last byte single
        {&sjis, {'a', 'b', 'c', 0x82}, 3, 0},        // quick: a lead byte at the end
        {&sjis, {0x82, 0xCC, 0x82}, 2, 1},           // short: walked
        {&utf8, {'a', 'b', 'c', 0xE6}, 3, 0},
        {&utf8, {'a', 0xC3, 0xA4, 'b', 'c'}, 5, 99},
        {&utf8, {'a', 'b', 0xE6, 0x97}, 2, 2},       // no quick answer: walked
        {&al32, {'a', 'b', 'c', 'd'}, 4, 0},
        {&al32, {'a', 0xF0, 0x9F, 0x98}, 1, 1},
    };
    for (auto &c : cases) {
      e.glo.ncount = e.glo.ncount2 = 99;
      e.glo.nbytes = 0;
      const unsigned char *t = c.text.data();
      EXPECT_EQ(static_cast<size_t>(lxptmult(t, c.text.size(), c.h, &e.glo) - t), c.cut)
          << "case " << (&c - cases);
      EXPECT_EQ(e.glo.ncount, c.count) << "case " << (&c - cases);
      EXPECT_EQ(e.glo.ncount2, c.count) << "case " << (&c - cases);
      EXPECT_EQ(e.glo.nbytes, c.text.size());
    }
    // an empty text: the text itself, nbytes left as it was
    e.glo.nbytes = 42;
    unsigned char t[1] = {0};
    EXPECT_EQ(lxptmult(t, 0, &sjis, &e.glo), t);
    EXPECT_EQ(e.glo.nbytes, 42u);
  });
}
