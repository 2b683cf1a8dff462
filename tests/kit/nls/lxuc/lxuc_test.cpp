// Collation elements: table look-up and derived elements, expansions,
// contractions (cut by the end of the text), canonical combining characters
// after their base, Thai and Lao vowels written first, surrogate pairs,
// Hangul jamo composed into syllables, and the conversion of cursor text
// into units. Sorts are written with the object writer; the elements of a
// text are collected by feeding its units as the comparison does.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "lxm.h"
#include "lxuc.h"
#include "sortinst.h"

namespace {

using nlstest::Env;
using Elems = std::vector<uint32_t>;
using Units = std::vector<uint16_t>;

constexpr uint32_t E(uint16_t p, uint8_t s = 0x20, uint8_t t = 0x02) {
  return static_cast<uint32_t>(p) << 16 | s << 8 | t;
}

nlsw::MultiSortDesc test_sort() {
  nlsw::MultiSortDesc d;
  d.name = "TEST_M";
  d.id = 4100;
  d.flags = 0x8 | 0x80;  // Thai reordering, Hangul
  for (uint16_t c = 'a'; c <= 'z'; ++c) d.elements[c] = E(0x1000 + c);
  d.elements[0x0301] = E(0, 0x30);                 // acute: a mark
  d.expansions[0x00E6] = {E(0x1061), E(0x1065)};   // æ = a e
  d.elements[0x00E9] = 0xFFF01234u;                // an implicit weight
  d.contractions[{'c', 'h'}] = {E(0x1063, 0x21)};
  d.contractions[{'l', 'l', 'l'}] = {E(0x106C, 0x22)};
  d.contractions[{'l', 'l'}] = {E(0x106C, 0x21), E(0x106C, 0x23)};
  d.canonicals[{0x0301, 'a', 0}] = E(0x2000);       // a + acute keys as one
  d.elements[0x0E01] = E(0x3001);
  d.elements[0x0E40] = E(0x3040);
  d.elements[0x0EC0] = E(0x30C0);
  d.elements[0xAC01] = E(0x4001);
  d.elements[0xAC00] = E(0x4000);
  d.supplementary[0x1F600] = {E(0x5000)};
  d.supplementary[0x1F601] = {E(0x5001), E(0x5002)};
  return d;
}

class Elements : public sortinst::Installed {
 protected:
  static void SetUpTestSuite() {
    nlsw::BootObject o;
    o.type = LX_TSORT;
    o.id = 4100;
    o.name = "TEST_M";
    nlsw::Image off = nlsw::build_multi_sort(test_sort());
    // The same sort with expansions switched off.
    nlsw::BootObject o2 = o;
    o2.id = 4101;
    o2.name = "TEST_NOEXP";
    nlsw::Image noexp = off;
    noexp.put16(92, 4101);
    noexp.put32(152, noexp.get32(152) & ~0x2u);
    write_with({{o, off}, {o2, noexp}});
  }
};

const void *sort_object(Env &e, const char *name) {
  uint16_t opts = 0;
  int nf = 0;
  uint16_t idx = lxpsget(name, strlen(name), e.table, 0, &opts, &nf);
  EXPECT_EQ(nf, 0) << name;
  return lxdgetobj(idx, LXP_TYPE_SORT, &e.glo);
}

// All elements of units, fed one unit at a time as the text's characters.
Elems elements(const void *sort, const Units &text) {
  lxucstate st{};
  uint16_t buf[LXUC_UNITS];
  uint32_t el[LXUC_ELEMS];
  size_t next = 0;
  st.need = 1;
  Elems out;
  for (int guard = 0; guard < 1000; ++guard) {
    while (st.need > 0 && next < text.size()) {
      size_t at = st.nunits;
      buf[at] = text[next++];
      st.nunits = at + 1;
      --st.need;
    }
    st.need = 0;
    st.eot = next >= text.size();
    if (st.nunits == 0) break;
    int code = lxucGetKeys(sort, &st, buf, el, nullptr);
    if (code == LXUC_K_ELEMS) {
      out.insert(out.end(), el, el + st.nelems);
      if (st.nunits == 0) st.need = 1;
    } else if (code == LXUC_K_HANGUL && st.need == 0) {
      continue;
    }
  }
  return out;
}

TEST_F(Elements, SingleUnits) {
  child([](Env &e) {
    const void *s = sort_object(e, "TEST_M");
    ASSERT_NE(s, nullptr);
    struct Case {
      const char *what;
      Units text;
      Elems want;
    } cases[] = {
        {"table element", {'b'}, {E(0x1062)}},
        {"no element: derived pair", {0x4E00}, {0xFFFF0000u, 0x4E000000u}},
        {"unit 0", {0}, {1}},
        {"expansion", {0xE6}, {E(0x1061), E(0x1065)}},
        {"implicit weight", {0xE9}, {0xFFF00101u, 0x12340101u}},
        {"mark after a base without an entry", {'b', 0x0301}, {E(0x1062), E(0, 0x30)}},
        {"canonical entry of the base", {'a', 0x0301}, {E(0x1061), E(0x2000)}},
        {"mark alone", {0x0301}, {E(0, 0x30)}},
    };
    for (const auto &c : cases) EXPECT_EQ(elements(s, c.text), c.want) << c.what;
    const void *off = sort_object(e, "TEST_NOEXP");
    EXPECT_EQ(elements(off, {0xE6, 'b'}), Elems{E(0x1062)}) << "a disabled kind gives nothing";
  });
}

TEST_F(Elements, Contractions) {
  child([](Env &e) {
    const void *s = sort_object(e, "TEST_M");
    struct Case {
      const char *what;
      Units text;
      Elems want;
    } cases[] = {
        {"ch contracts", {'c', 'h', 'a'}, {E(0x1063, 0x21), E(0x1061)}},
        {"c alone", {'c', 'a'}, {E(0x1063), E(0x1061)}},
        {"c at the end", {'c'}, {E(0x1063)}},
        {"the longest first", {'l', 'l', 'l', 'l'},
         {E(0x106C, 0x22), E(0x106C)}},
        {"cut by the end: the longest that fits", {'l', 'l'},
         {E(0x106C, 0x21), E(0x106C, 0x23)}},
        {"l alone", {'l', 'a'}, {E(0x106C), E(0x1061)}},
    };
    for (const auto &c : cases) EXPECT_EQ(elements(s, c.text), c.want) << c.what;
  });
}

TEST_F(Elements, ThaiSurrogatesHangul) {
  child([](Env &e) {
    const void *s = sort_object(e, "TEST_M");
    struct Case {
      const char *what;
      Units text;
      Elems want;
    } cases[] = {
        {"Thai leading vowel after its consonant", {0x0E40, 0x0E01}, {E(0x3001), E(0x3040)}},
        {"Lao leading vowel before a Latin letter", {0x0EC0, 'a'}, {E(0x30C0), E(0x1061)}},
        {"leading vowel at the end", {0x0E40}, {E(0x3040)}},
        {"supplementary character", {0xD83D, 0xDE00}, {E(0x5000)}},
        {"supplementary expansion", {0xD83D, 0xDE01}, {E(0x5001), E(0x5002)}},
        {"empty surrogate entry: both units derived", {0xD83D, 0xDE02},
         {0xFFFF0000u, 0xD83D0000u, 0xFFFF0000u, 0xDE020000u}},
        {"no block for the high surrogate", {0xD800, 0xDC00},
         {0xFFFF0000u, 0xD8000000u, 0xFFFF0000u, 0xDC000000u}},
        {"lone high surrogate at the end", {'a', 0xD83D}, {E(0x1061), 0xFFFF0000u, 0xD83D0000u}},
        {"jamo L V T = syllable", {0x1100, 0x1161, 0x11A8}, {E(0x4001)}},
        {"jamo L V = syllable", {0x1100, 0x1161, 'a'}, {E(0x4000), E(0x1061)}},
        {"U+11A7 does not combine", {0xAC00, 0x11A7},
         {E(0x4000), 0xFFFF0000u, 0x11A70000u}},
    };
    for (const auto &c : cases) EXPECT_EQ(elements(s, c.text), c.want) << c.what;
    EXPECT_EQ(elements(s, {0xAC01}), elements(s, {0x1100, 0x1161, 0x11A8}));
  });
}

TEST(Hangul, Composition) {
  struct Case {
    Units in, out;
    size_t consumed;
  } cases[] = {
      {{0x1100, 0x1161}, {0xAC00}, 2},
      {{0x1100, 0x1161, 0x11A8}, {0xAC01}, 3},
      {{0x1112, 0x1175, 0x11C2}, {0xD7A3}, 3},
      {{0xAC00, 0x11A8}, {0xAC01}, 2},
      {{0xAC01, 0x11A8}, {0xAC01, 0x11A8}, 2},  // a syllable with a final takes no second
      {{0xAC00, 0x11C3}, {0xAC00, 0x11C3}, 2},
      {{0x1100, 'x', 0x1161}, {0x1100, 'x'}, 2},  // stops after the first other unit
  };
  for (const auto &c : cases) {
    uint16_t out[8];
    size_t n = 0, used = 0;
    EXPECT_EQ(lxujmc(out, &n, c.in.data(), &used, 0, c.in.size()), c.out.size());
    EXPECT_EQ(Units(out, out + n), c.out);
    EXPECT_EQ(used, c.consumed);
  }
}

TEST_F(Elements, CursorTextToUnits) {
  child([](Env &e) {
    lxlangid u8 = sortinst::handle(e, "AL32UTF8");
    std::string t = "A\xC3\xA9\xF0\x9F\x98\x80z";
    lxmcur c;
    lxmcpen(t.data(), t.size(), &c, &u8, &e.glo);
    uint16_t units[LXUC_UNITS];
    size_t used = 99;
    EXPECT_EQ(lxucom2u(units, LXUC_UNITS, &c, &used, 10, 0, &e.glo), 5u);
    EXPECT_EQ(Units(units, units + 5), (Units{'A', 0xE9, 0xD83D, 0xDE00, 'z'}));
    EXPECT_EQ(used, t.size());
    // Characters counted, capacity kept, lower case, a NUL ending the text.
    lxmcpen(t.data(), t.size(), &c, &u8, &e.glo);
    EXPECT_EQ(lxucom2u(units, LXUC_UNITS, &c, &used, 2, 0x10, &e.glo), 2u);
    EXPECT_EQ(units[0], 'a');
    EXPECT_EQ(used, 3u);
    EXPECT_EQ(c.pos - c.start, 3);
    lxmcpen(t.data(), t.size(), &c, &u8, &e.glo);
    EXPECT_EQ(lxucom2u(units, 3, &c, &used, 10, 0, &e.glo), 2u);
    std::string z("ab\0c", 4);
    lxmcpen(z.data(), z.size(), &c, &u8, &e.glo);
    EXPECT_EQ(lxucom2u(units, LXUC_UNITS, &c, &used, 10, 0x10000000, &e.glo), 2u);
    // A character cut by the end is not converted.
    std::string cut = "a\xE3\x81";
    lxmcpen(cut.data(), cut.size(), &c, &u8, &e.glo);
    EXPECT_EQ(lxucom2u(units, LXUC_UNITS, &c, &used, 10, 0, &e.glo), 1u);
    EXPECT_EQ(used, 1u);
  });
}

}  // namespace
