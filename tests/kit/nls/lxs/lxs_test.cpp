// Character copy and write at cursors, skipping, concatenation, equivalence
// and case conversion of byte strings, numeric text, and the single-byte
// values of characters at a cursor, in the sets of a written installation
// (JA16SJIS with full-width equivalents of some ASCII characters).
#include <gtest/gtest.h>

#include <string.h>

#include <map>
#include <string>

#include "lxc.h"
#include "lxm.h"
#include "lxo.h"
#include "nlsfix.h"

using namespace nlsfix;
using nlstest::Env;

namespace {

const std::map<uint8_t, uint32_t> kFullWidth = {{'%', 0x8193}, {'0', 0x824F}, {'5', 0x8254}};

class Lxs : public Installed {
 protected:
  static void SetUpTestSuite() {
    std::vector<nlsinst::Pair> pairs;
    for (const auto &p : kSjisPairs) pairs.push_back({p.b0, p.b1, p.cp});
    pairs.push_back({0x81, 0x93, 0xFF05});
    pairs.push_back({0x82, 0x4F, 0xFF10});
    pairs.push_back({0x82, 0x54, 0xFF15});
    dir_ = nlsinst::write(pairs, kCp1252High, &kFullWidth);
  }
};

using Bytes = std::string;

struct In {
  Bytes text;
  lxmcur cur;
  In(const lxlangid &h, Env &e, Bytes t, int shifted = 0) : text(std::move(t)) {
    lxmopen(text.data(), text.size(), &cur, &h, &e.glo, 1);
    cur.shifted = shifted;
  }
  size_t at() const { return size_t(cur.pos - cur.start); }
};

}  // namespace

TEST_F(Lxs, CopyAndWriteCharacters) {
  child([](Env &e) {
    lxlangid sh = handle(e, "AMERICAN_AMERICA.TESTSHIFT");
    lxlangid sj = handle(e, "AMERICAN_AMERICA.JA16SJIS");
    {  // a double-byte character into a shifted-in output of room 2 needs 3
      In in(sh, e, "\x93\xfa", 1);
      Out o(sh, e, 2);
      EXPECT_EQ(lxoCpChar(&o.cur, SIZE_MAX, &in.cur, SIZE_MAX, 0, &e.glo), 0u);
      EXPECT_EQ(e.glo.status, 6u);
      EXPECT_EQ(o.used(), 0u);
    }
    {  // 0x200 leaves the input as it was; without it the shift-in goes along
      In in(sh, e, "\x93\xfa\x0F" "A", 1);
      Out o(sh, e, 10, 0, 1);
      EXPECT_EQ(lxoCpChar(&o.cur, SIZE_MAX, &in.cur, SIZE_MAX, LXO_NOADVANCE, &e.glo), 2u);
      EXPECT_EQ(e.glo.nbytes, 0u);
      EXPECT_EQ(in.at(), 0u);
      EXPECT_EQ(in.cur.shifted, 1);
      EXPECT_EQ(lxoCpChar(&o.cur, SIZE_MAX, &in.cur, SIZE_MAX, 0, &e.glo), 2u);
      EXPECT_EQ(e.glo.nbytes, 3u);
      EXPECT_EQ(in.cur.shifted, 0);
      // the next single-byte character gets its shift-in in the output
      EXPECT_EQ(lxoCpChar(&o.cur, SIZE_MAX, &in.cur, SIZE_MAX, 0, &e.glo), 2u);
      EXPECT_EQ(o.written(), "\x93\xfa\x93\xfa\x0F" "A");
    }
    {  // at the end, and a lead byte cut off by the end
      In end(sj, e, "");
      Out o(sj, e, 10);
      e.glo.status = 77;
      EXPECT_EQ(lxoCpChar(&o.cur, SIZE_MAX, &end.cur, SIZE_MAX, 0, &e.glo), 0u);
      EXPECT_EQ(e.glo.status, 0u);
      In cut(sj, e, "\x93");
      EXPECT_EQ(lxoCpChar(&o.cur, SIZE_MAX, &cut.cur, SIZE_MAX, 0, &e.glo), 0u);
      EXPECT_EQ(e.glo.status, 34u);
    }
    {  // lxoWriChar on a shifted-out output
      Out o(sh, e, 10, 0, 1);
      EXPECT_EQ(lxoWriChar(&o.cur, 'x', 0x40000000u, &e.glo), 2u);
      EXPECT_EQ(o.cur.shifted, 0);
      EXPECT_EQ(o.written(), "\x0Fx");
    }
  });
}

TEST_F(Lxs, Skip) {
  child([](Env &e) {
    lxlangid u16 = handle(e, "AMERICAN_AMERICA.AL16UTF16");
    lxlangid sj = handle(e, "AMERICAN_AMERICA.JA16SJIS");
    lxlangid sh = handle(e, "AMERICAN_AMERICA.TESTSHIFT");
    const Bytes pair("\xD8\x00\xDC\x00", 4);
    struct {
      const lxlangid *h;
      Bytes text;
      size_t n;
      uint32_t flags;
      size_t moved;
      uint32_t status;
    } cases[] = {
        {&u16, pair, 2, 0, 0, 0},                      // budget 2 before a pair
        {&u16, pair, 4, 0, 4, 0},
        {&u16, pair, 1, LXO_SKIP_POINTS, 4, 0},        // a pair is one code point
        {&u16, pair, 1, LXO_SKIP_UNITS, 2, 0},
        {&u16, pair, 3, LXO_SKIP_UNITS, 0, 14},        // fewer units than asked
        {&sj, "a\x93\xfa" "b", 3, 0, 3, 0},            // whole characters within 3 bytes
        {&sj, "a\x93\xfa" "b", 2, 0, 1, 0},
        {&sj, "a\x93\xfa" "b", 2, LXO_SKIP_UNITS, 3, 0},
        {&sj, "a\x93\xfa" "b", 4, LXO_SKIP_UNITS, 0, 14},
        {&sj, Bytes("ab\0c", 4), 9, LXO_NULTERM, 2, 0},
        {&sh, "a\x0E\x93\xfa\x0F" "b", 2, LXO_SKIP_UNITS, 5, 0},
    };
    for (const auto &c : cases) {
      In in(*c.h, e, c.text);
      e.glo.nbytes = 99;
      size_t r = lxoSkip(&in.cur, c.n, c.flags, &e.glo);
      EXPECT_EQ(r, c.moved) << "case " << (&c - cases);
      EXPECT_EQ(in.at(), c.moved) << "case " << (&c - cases);
      EXPECT_EQ(e.glo.status, c.status) << "case " << (&c - cases);
      EXPECT_EQ(e.glo.nbytes, c.status ? 99u : c.moved) << "case " << (&c - cases);
    }
  });
}

TEST_F(Lxs, ConcatenateAndConvert) {
  child([](Env &e) {
    lxlangid sh = handle(e, "AMERICAN_AMERICA.TESTSHIFT");
    lxlangid sj = handle(e, "AMERICAN_AMERICA.JA16SJIS");
    lxlangid as = handle(e, "AMERICAN_AMERICA.US7ASCII");
    char buf[32] = "a\x0E\x93\xfa\x0F";
    EXPECT_EQ(lxscat(buf, sizeof buf, "\x0E\x96\x7b\x0F", &sh, &e.glo), 4u);
    EXPECT_STREQ(buf, "a\x0E\x93\xfa\x96\x7b\x0F");  // the two shift bytes are gone
    EXPECT_EQ(e.glo.nbytes2, 8u);
    strcpy(buf, "ab");
    EXPECT_EQ(lxscat(buf, sizeof buf, "cd", &as, &e.glo), 3u);
    EXPECT_STREQ(buf, "abcd");

    // equivalents: full-width % and 5 to ASCII, other characters kept
    char out[32];
    memset(out, '#', sizeof out);
    const Bytes src = "\x81\x93\x82\x54" "d\x93\xfa";
    EXPECT_EQ(lxsCnvEqui(out, sizeof out, src.data(), src.size(), LXS_EQUI_TOSINGLE, &sj, &e.glo),
              6u);
    EXPECT_EQ(Bytes(out, 6), Bytes("%5d\x93\xfa\0", 6));
    EXPECT_EQ(e.glo.nbytes, src.size());
    EXPECT_EQ(lxsCnvEqui(out, 1, "\x93\xfa", 2, LXS_EQUI_TOSINGLE, &sj, &e.glo), 1u);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(lxsCnvEqui(out, sizeof out, "%0", 2, LXS_EQUI_TOMULTI, &sj, &e.glo), 5u);
    EXPECT_EQ(Bytes(out, 5), Bytes("\x81\x93\x82\x4F\0", 5));

    // single-byte case: overlapping areas, initial capitals after a digit
    char ov[16] = "abcdef";
    lxsCnvSimple(ov + 1, ov, 6, LXS_CASE_UPPER | LXO_EXACTLEN, &as, &e.glo);
    EXPECT_EQ(Bytes(ov, 7), "aABCDEF");
    char ic[16];
    lxsCnvSimple(ic, "1abc dEF", 99, LXS_CASE_INITCAP, &as, &e.glo);
    EXPECT_STREQ(ic, "1abc Def");
    lxsCnvSimple(ic, "MiXeD", 99, 0x10000010u, &as, &e.glo);
    EXPECT_STREQ(ic, "mixed");
  });
}

TEST_F(Lxs, NumericText) {
  child([](Env &e) {
    lxlangid as = handle(e, "AMERICAN_AMERICA.US7ASCII");
    lxlangid sh = handle(e, "AMERICAN_AMERICA.TESTSHIFT");
    lxlangid u16 = handle(e, "AMERICAN_AMERICA.AL16UTF16");
    as.numchars[1] = ',';
    const uint32_t dec = LXS_NUM_DEC, hex = LXS_NUM_HEX;
    struct {
      const lxlangid *h;
      Bytes text;
      uint32_t flags;
      int32_t value;
      size_t consumed;
      uint32_t status;
    } cases[] = {
        {&as, "123abc", dec, 123, 3, 0},
        {&as, "+123", dec, 123, 4, 0},
        {&as, "-123", dec, -123, 4, 0},
        {&as, " 1", dec, 0, 0, 9},
        {&as, "-", dec, 0, 1, 9},
        {&as, "2147483647", dec, 2147483647, 10, 0},
        {&as, "2147483648", dec, 0, 9, 10},
        {&as, "2147483648", dec | LXS_NUM_UNSIGNED, INT32_MIN, 10, 0},
        {&as, "4294967295", dec | LXS_NUM_UNSIGNED, -1, 10, 0},
        {&as, "4294967296", dec | LXS_NUM_UNSIGNED, 0, 9, 10},
        {&as, "1,234,567", dec | LXS_NUM_GROUP, 1234567, 9, 0},
        {&as, "1,,2", dec | LXS_NUM_GROUP, 1, 2, 0},
        {&as, "12,", dec | LXS_NUM_GROUP, 12, 3, 0},
        {&as, ",12", dec | LXS_NUM_GROUP, 0, 0, 9},
        {&as, "1,234", dec, 1, 1, 0},
        {&as, "FF", hex, 255, 2, 0},
        {&as, "ff", hex, 255, 2, 0},
        {&as, "+123", hex, 0, 0, 9},
        {&as, "7fffffff", hex, 0x7fffffff, 8, 0},
        {&as, "80000000", hex, 0, 7, 10},
        {&as, "80000000", hex | LXS_NUM_UNSIGNED2, INT32_MIN, 8, 0},
        {&as, "80000000", hex | LXS_NUM_UNSIGNED2 | LXS_NUM_SIGNED, 0, 7, 10},
        {&u16, Bytes("\0001\0002\0003", 6), dec, 123, 6, 0},
        {&sh, "12\x0F" "34", dec, 1234, 5, 0},
        {&sh, "12\x0E" "34", dec, 12, 3, 0},
    };
    for (const auto &c : cases) {
      e.glo.status = 77;
      int32_t v = lxsCnvNumStrToInt(c.text.data(), c.text.size(), c.flags, c.h, &e.glo);
      EXPECT_EQ(v, c.value) << "case " << (&c - cases);
      EXPECT_EQ(e.glo.nbytes, c.consumed) << "case " << (&c - cases);
      EXPECT_EQ(e.glo.status, c.status) << "case " << (&c - cases);
    }
    // at a cursor: it advances, and a shifted-out cursor reads nothing
    In in(sh, e, "12\x0E\x93\xfa");
    EXPECT_EQ(lxoCnvNumStrToInt(&in.cur, SIZE_MAX, 516, &e.glo), 12);
    EXPECT_EQ(in.at(), 3u);
    EXPECT_EQ(in.cur.shifted, 1);
    EXPECT_EQ(lxoCnvNumStrToInt(&in.cur, SIZE_MAX, 516, &e.glo), 0);
    EXPECT_EQ(in.at(), 3u);
  });
}

TEST_F(Lxs, SingleByteValuesAtACursor) {
  child([](Env &e) {
    lxlangid sj = handle(e, "AMERICAN_AMERICA.JA16SJIS");
    lxlangid as = handle(e, "AMERICAN_AMERICA.US7ASCII");
    In pct(sj, e, "\x81\x93");
    EXPECT_EQ(lxmctex(&pct.cur, '%', &e.glo), 1);
    EXPECT_EQ(lxmctex(&pct.cur, '0', &e.glo), 0);
    EXPECT_EQ(lxmtos(&pct.cur, &e.glo), '%');
    EXPECT_EQ(e.glo.nbytes, 2u);
    In kanji(sj, e, "\x93\xfa");
    EXPECT_EQ(lxmtos(&kanji.cur, &e.glo), 0);
    EXPECT_EQ(lxmdigx(&kanji.cur, &e.glo), 0);  // no class trie: class 0
    In five(as, e, "5x");
    EXPECT_NE(lxmdigx(&five.cur, &e.glo), 0);
    EXPECT_EQ(lxmtos(&five.cur, &e.glo), '5');
    five.cur.pos++;
    EXPECT_EQ(lxmdigx(&five.cur, &e.glo), 0);
    auto cs = reinterpret_cast<const lxcsobj *>(lxdgetobj(sj.cs, 2, &e.glo));
    ASSERT_NE(cs, nullptr);
    uint8_t mb[4];
    EXPECT_EQ(lxcss2m(cs, mb, '5'), 2u);
    EXPECT_EQ(Bytes((char *)mb, 2), "\x82\x54");
    EXPECT_EQ(lxcss2m(cs, mb, '6'), 0u);   // inside the range, no equivalent
    EXPECT_EQ(lxcss2m(cs, mb, 'z'), 0u);   // outside the range
    EXPECT_EQ(lxcsm2s(cs, (const uint8_t *)"\x82\x4F", 2), '0');
  });
}
