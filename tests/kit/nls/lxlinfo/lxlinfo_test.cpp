// Locale texts written at a cursor, against the handle's own item reader, in
// single-byte, multibyte, AL16UTF16 and shift-sensitive handles of a written
// installation: cuts at character boundaries, the counts, and the items the
// cursor reader does not know. Every test runs in a child.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "lxh.h"
#include "lxl.h"
#include "lxm.h"
#include "lxo.h"
#include "nlsfix.h"
#include "nlsinst.h"
#include "nlskit.h"

using namespace nlsfix;
using nlstest::Env;

namespace {

class Lxlinfo : public Installed {};

using Bytes = std::string;

// What lxhlinfo gives for the item, without its terminator.
Bytes buffer_item(const lxlangid &h, int item, Env &e) {
  char buf[600];
  lxhlinfo(&h, item, buf, sizeof buf, &e.glo);
  size_t n = (h.flags & LXH_F_WIDE) ? lxsulen(buf) : strlen(buf);
  return Bytes(buf, n);
}

// Items both readers give alike.
constexpr int kCommon[] = {0,  6,  7,  14, 16, 25, 26, 28, 37,  38,  39,  40,  43,  44,  45,
                           46, 47, 50, 51, 52, 54, 56, 58, 59,  60,  61,  62,  63,  64,  65,
                           66, 67, 69, 71, 72, 73, 74, 75, 76,  77,  78,  79,  81,  82,  83,
                           84, 110, 111, 112, 120, 121, 122, 125, 126, 129, 139, 151};

const char *const kHandles[] = {
    "AMERICAN_AMERICA.US7ASCII", "GERMAN_GERMANY.WE8ISO8859P1", "GERMAN_GERMANY.UTF8",
    "GERMAN_GERMANY.AL32UTF8",   "GERMAN_GERMANY.AL16UTF16",    "GERMAN_GERMANY.TESTSHIFT"};

}  // namespace

TEST_F(Lxlinfo, SameTextsAsTheHandleReader) {
  child([](Env &e) {
    for (const char *name : kHandles) {
      lxlangid h = handle(e, name);
      for (int item : kCommon) {
        Bytes want = buffer_item(h, item, e);
        Out o(h, e);
        e.glo.status = 77;
        lxlinfo(&o.cur, 500, item, &e.glo);
        EXPECT_EQ(e.glo.status, 0u) << name << " item " << item;
        EXPECT_EQ(o.written(), want) << name << " item " << item;
        EXPECT_EQ(e.glo.nbytes2, want.size()) << name << " item " << item;
        EXPECT_EQ(e.glo.nbytes, want.size()) << name << " item " << item;
        EXPECT_EQ(o.cur.shifted, 0) << name << " item " << item;
      }
    }
  });
}

TEST_F(Lxlinfo, GregorianInTheHandlesCharset) {
  child([](Env &e) {
    struct {
      const char *name;
      Bytes text;
    } cases[] = {
        {"GERMAN_GERMANY.WE8ISO8859P1", "GREGORIAN"},  // converted from the name charset
        {"AMERICAN_AMERICA.US7ASCII", "GREGORIAN"},
        {"GERMAN_GERMANY.UTF8", "GREGORIAN"},
        {"GERMAN_GERMANY.AL16UTF16",
         Bytes("\0G\0R\0E\0G\0O\0R\0I\0A\0N", 18)},
    };
    for (const auto &c : cases) {
      lxlangid h = handle(e, c.name);
      ASSERT_EQ(h.cal, 0);
      Out o(h, e, 500, 3);  // written after what the cursor passed already
      lxlinfo(&o.cur, 100, 81, &e.glo);
      EXPECT_EQ(e.glo.status, 0u) << c.name;
      EXPECT_EQ(o.written(3), c.text) << c.name;
      EXPECT_EQ(e.glo.nbytes2, c.text.size()) << c.name;
      EXPECT_EQ(o.buf[3 + c.text.size()], '#') << c.name << ": nothing terminated";
    }
  });
}

TEST_F(Lxlinfo, CutAtCharacterBoundary) {
  child([](Env &e) {
    struct {
      const char *name;
      int item;
      size_t size, len;  // the size passed and the cursor's length
      Bytes text;        // written
      uint32_t status;
    } cases[] = {
        // "märz" in UTF-8: m C3 A4 r z
        {"GERMAN_GERMANY.UTF8", 16, 2, 500, "m", 6},
        {"GERMAN_GERMANY.UTF8", 16, 3, 500, "m\xC3\xA4", 6},
        {"GERMAN_GERMANY.UTF8", 16, 4, 500, "m\xC3\xA4r", 6},
        {"GERMAN_GERMANY.UTF8", 16, 5, 500, "m\xC3\xA4rz", 0},
        {"GERMAN_GERMANY.UTF8", 16, 100, 3, "m\xC3\xA4", 6},  // the cursor's length bounds it
        {"GERMAN_GERMANY.WE8ISO8859P1", 22, 4, 500, "sept", 6},
        {"GERMAN_GERMANY.WE8ISO8859P1", 60, 3, 500, "GER", 6},  // a name, converted in place
        {"GERMAN_GERMANY.WE8ISO8859P1", 69, 1, 500, "D", 6},    // a field of the handle
        {"GERMAN_GERMANY.AL16UTF16", 16, 3, 500, Bytes("\0m", 2), 6},
        {"GERMAN_GERMANY.AL16UTF16", 60, 5, 500, Bytes("\0G\0E", 4), 6},
        {"GERMAN_GERMANY.UTF8", 60, 3, 500, "GER", 6},
        {"AMERICAN_AMERICA.TESTSHIFT", 14, 3, 500, "jan", 6},
    };
    for (const auto &c : cases) {
      lxlangid h = handle(e, c.name);
      Out o(h, e, c.len);
      lxlinfo(&o.cur, c.size, c.item, &e.glo);
      EXPECT_EQ(e.glo.status, c.status) << c.name << " size " << c.size;
      EXPECT_EQ(o.written(), c.text) << c.name << " size " << c.size;
      EXPECT_EQ(e.glo.nbytes2, c.text.size()) << c.name << " size " << c.size;
      EXPECT_EQ(o.buf[c.text.size()], '#') << c.name << " size " << c.size;
    }
  });
}

TEST_F(Lxlinfo, ShiftSensitiveTexts) {
  child([](Env &e) {
    lxlangid h = handle(e, "GERMAN_GERMANY.TESTSHIFT");
    // a currency text with a run of two two-byte characters
    const Bytes cur = "\x0E\x82\xCC\x83\x4C\x0FX";
    ASSERT_EQ(lxhlmod(&h, cur.data(), cur.size(), 69, 0, 0, &e.glo), 1);
    ASSERT_EQ(buffer_item(h, 69, e), cur);
    struct {
      size_t size;
      Bytes text;
      uint32_t status;
      int shifted;
    } cases[] = {
        {7, cur, 0, 0},
        {2, "", 6, 0},                              // no room for the shift byte and a character
        {3, "\x0E\x82\xCC", 6, 1},
        {5, "\x0E\x82\xCC\x83\x4C", 6, 1},        // the shift-in before "X" does not fit
        {6, "\x0E\x82\xCC\x83\x4C", 6, 1},
    };
    for (const auto &c : cases) {
      Out o(h, e);
      lxlinfo(&o.cur, c.size, 69, &e.glo);
      EXPECT_EQ(e.glo.status, c.status) << "size " << c.size;
      EXPECT_EQ(o.written(), c.text) << "size " << c.size;
      EXPECT_EQ(e.glo.nbytes2, c.text.size()) << "size " << c.size;
      EXPECT_EQ(e.glo.nbytes, c.text.size()) << "size " << c.size;
      EXPECT_EQ(o.cur.shifted, c.shifted) << "size " << c.size;
    }
  });
}

TEST_F(Lxlinfo, CharacterValues) {
  child([](Env &e) {
    struct {
      const char *name;
      int shifted;
      size_t size;
      Bytes text;
      uint32_t status;
      size_t needed;
    } cases[] = {
        {"GERMAN_GERMANY.WE8ISO8859P1", 0, 1, " ", 0, 1},
        {"GERMAN_GERMANY.UTF8", 0, 1, " ", 0, 1},
        {"GERMAN_GERMANY.AL16UTF16", 0, 2, Bytes("\0 ", 2), 0, 2},
        {"GERMAN_GERMANY.AL16UTF16", 0, 1, "", 6, 2},
        {"GERMAN_GERMANY.TESTSHIFT", 0, 1, " ", 0, 1},
        // a shifted-out cursor needs the shift-in byte too
        {"GERMAN_GERMANY.TESTSHIFT", 1, 2, "\x0F ", 0, 2},
        {"GERMAN_GERMANY.TESTSHIFT", 1, 1, "", 6, 2},
    };
    for (const auto &c : cases) {
      lxlangid h = handle(e, c.name);
      Out o(h, e, 500, 0, c.shifted);
      lxlinfo(&o.cur, c.size, 110, &e.glo);  // the pad character
      EXPECT_EQ(e.glo.status, c.status) << c.name << " size " << c.size;
      EXPECT_EQ(o.written(), c.text) << c.name << " size " << c.size;
      EXPECT_EQ(e.glo.nbytes2, c.needed) << c.name << " size " << c.size;
      EXPECT_EQ(o.buf[c.text.size()], '#');
    }
  });
}

TEST_F(Lxlinfo, ItemsOfTheHandleReaderOnly) {
  child([](Env &e) {
    for (const char *name : kHandles) {
      lxlangid h = handle(e, name);
      for (int item : {85, 119, 130, 131, 132, 200, -1}) {
        Out o(h, e);
        lxlinfo(&o.cur, 100, item, &e.glo);
        EXPECT_EQ(e.glo.status, 9u) << name << " item " << item;
        EXPECT_EQ(o.used(), 0u) << name << " item " << item;
        EXPECT_EQ(e.glo.nbytes2, 0u);
      }
      // the handle reader answers item 119
      EXPECT_FALSE(buffer_item(h, 119, e).empty()) << name;
    }
  });
}

TEST_F(Lxlinfo, SortNameWithoutOptionSuffix) {
  child([](Env &e) {
    lxlangid h = handle(e, "GERMAN_GERMANY.WE8ISO8859P1");
    ASSERT_EQ(lxhlmod(&h, "GERMAN_CI", 9, 80, 0, 0, &e.glo), 1);
    EXPECT_EQ(buffer_item(h, 80, e), "GERMAN_CI");
    Out o(h, e);
    lxlinfo(&o.cur, 100, 80, &e.glo);
    EXPECT_EQ(o.written(), "GERMAN");
    lxlangid a = handle(e, "AMERICAN_AMERICA.US7ASCII");
    Out b(a, e);
    lxlinfo(&b.cur, 100, 80, &e.glo);
    EXPECT_EQ(b.written(), "BINARY");
  });
}

TEST_F(Lxlinfo, NothingWithoutSizeOrHandle) {
  child([](Env &e) {
    lxlangid h = handle(e, "AMERICAN_AMERICA.US7ASCII");
    Out o(h, e);
    e.glo.status = 77;
    e.glo.nbytes2 = 5;
    lxlinfo(&o.cur, 0, 119, &e.glo);  // size 0 before the item is looked at
    EXPECT_EQ(e.glo.status, 0u);
    EXPECT_EQ(e.glo.nbytes2, 0u);
    EXPECT_EQ(o.used(), 0u);
    o.cur.langid = nullptr;
    lxlinfo(&o.cur, 100, 0, &e.glo);
    EXPECT_EQ(e.glo.status, 0u);
    EXPECT_EQ(o.used(), 0u);
    // a cursor already at its end has no room
    Out full(h, e, 4, 4);
    lxlinfo(&full.cur, 100, 0, &e.glo);
    EXPECT_EQ(full.used(), 4u);
    EXPECT_EQ(full.buf[4], '#');
  });
}

// The day and month names, the morning and afternoon words and the era words
// of single-byte handles, whole and cut by one byte, against the handle's own
// reader: the bytes, the counts and the replacement mark of a name with a
// character the set lacks ("märz" in US7ASCII) or has above 0x7F.
TEST_F(Lxlinfo, DateNamesOfSingleByteSets) {
  child([](Env &e) {
    constexpr int16_t kUnset = 77;
    bool lossy = false;
    for (const char *name : {"AMERICAN_AMERICA.US7ASCII", "GERMAN_GERMANY.US7ASCII",
                             "GERMAN_GERMANY.WE8ISO8859P1", "GERMAN_GERMANY.WE8MSWIN1252"}) {
      lxlangid h = handle(e, name);
      for (int item = 0; item <= 43; ++item) {
        e.glo.repmark = kUnset;
        const Bytes want = buffer_item(h, item, e);
        const int16_t mark = e.glo.repmark;
        lossy = lossy || mark != 0;
        ASSERT_FALSE(want.empty()) << name << " item " << item;
        for (size_t size : {want.size() + 5, want.size(), want.size() - 1}) {
          const Bytes text = want.substr(0, size);
          Out o(h, e);
          e.glo.status = kUnset;
          e.glo.repmark = kUnset;
          lxlinfo(&o.cur, size, item, &e.glo);
          const uint32_t status = size < want.size() ? 6u : 0u;
          EXPECT_EQ(e.glo.status, status) << name << " item " << item << " size " << size;
          EXPECT_EQ(o.written(), text) << name << " item " << item << " size " << size;
          EXPECT_EQ(e.glo.nbytes, text.size()) << name << " item " << item << " size " << size;
          EXPECT_EQ(e.glo.nbytes2, text.size()) << name << " item " << item << " size " << size;
          EXPECT_EQ(e.glo.repmark, mark) << name << " item " << item << " size " << size;
          EXPECT_TRUE(o.guard_intact(text.size())) << name << " item " << item;
        }
      }
    }
    EXPECT_TRUE(lossy) << "no name lacked a character of its set";
  });
}

namespace {

// An installation whose single-byte sets have dense encoding rows: AMERICAN
// with "m\xe4rz", "m\xf6nday" and "tu\xe5sday" among its names, and
//  - TESTDENSE (id 950): ASCII, and both U+00E4 and U+00F6 written as the
//    replacement byte 0xFF (only one of them is that byte's own character);
//    U+00E5 has no byte;
//  - TESTDENSEA (id 951): Latin-1 with "a" as the replacement byte.
class DenseRows : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    nlsw::Installation inst;
    nlsw::LanguageDesc am = nlsw::american();
    am.months[2] = "m\xe4rz";
    am.days[1] = "m\xf6nday";
    am.days[2] = "tu\xe5sday";
    nlsw::add_language(inst, am);
    nlsw::add_territory(inst, nlsw::america());
    nlsw::add_charset(inst, nlsw::ascii_charset("US7ASCII", 1));
    nlsw::CharsetDesc d = nlsw::ascii_charset("TESTDENSE", 950);
    d.sparse_rows = false;
    d.sb_repl = 0xFF;
    d.map.push_back({{0xFF}, 0xE4});
    d.map.push_back({{0xFF}, 0xF6});
    nlsw::add_charset(inst, d);
    nlsw::CharsetDesc a = nlsw::latin1_charset();
    a.name = "TESTDENSEA";
    a.id = 951;
    a.sparse_rows = false;
    a.sb_repl = 'a';
    nlsw::add_charset(inst, a);
    dir_ = nlskit::write(inst);
  }
  inline static std::string dir_;
};

}  // namespace

// Whole names, and names cut by one byte, against the handle's own reader:
// the bytes, the counts, the status and the replacement mark, for a
// character written as the replacement byte that is (or is not) that byte's
// own character, and for one the set has no byte for.
TEST_F(DenseRows, DateNamesAsTheHandleReaderWritesThem) {
  nlstest::in_installation(dir_, [](Env &e) {
    constexpr int16_t kUnset = 77;
    for (const char *name : {"AMERICAN_AMERICA.TESTDENSE", "AMERICAN_AMERICA.TESTDENSEA"}) {
      lxlangid h = handle(e, name);
      const bool ascii = strcmp(name, "AMERICAN_AMERICA.TESTDENSE") == 0;
      for (int item = 0; item <= 43; ++item) {
        e.glo.repmark = kUnset;
        const Bytes want = buffer_item(h, item, e);
        const int16_t mark = e.glo.repmark;
        ASSERT_FALSE(want.empty()) << name << " item " << item;
        for (size_t size : {want.size() + 5, want.size(), want.size() - 1}) {
          Out o(h, e);
          e.glo.status = kUnset;
          e.glo.repmark = kUnset;
          lxlinfo(&o.cur, size, item, &e.glo);
          const Bytes text = want.substr(0, size);
          // a character without a byte ends the text as a NUL would
          const bool nul = ascii && item == 2;
          EXPECT_EQ(e.glo.status, (nul || size < want.size()) ? 6u : 0u)
              << name << " item " << item << " size " << size;
          EXPECT_EQ(o.written(), text) << name << " item " << item << " size " << size;
          EXPECT_EQ(e.glo.nbytes2, text.size()) << name << " item " << item << " size " << size;
          EXPECT_EQ(e.glo.repmark, mark) << name << " item " << item << " size " << size;
          EXPECT_TRUE(o.guard_intact(text.size())) << name << " item " << item;
        }
      }
    }
    // Known answers: one of U+00E4 and U+00F6 marks, the other does not;
    // "a" is the replacement byte's own character and never marks.
    lxlangid d = handle(e, "AMERICAN_AMERICA.TESTDENSE");
    int marks = 0;
    for (auto [item, text] : {std::pair{16, Bytes("m\xFFrz")}, std::pair{1, Bytes("m\xFFnday")}}) {
      Out o(d, e);
      lxlinfo(&o.cur, 100, item, &e.glo);
      EXPECT_EQ(o.written(), text);
      marks += e.glo.repmark != 0;
    }
    EXPECT_EQ(marks, 1);
    Out o(d, e);
    lxlinfo(&o.cur, 100, 2, &e.glo);
    EXPECT_EQ(o.written(), "tu");
    EXPECT_EQ(e.glo.nbytes, 3u);
    lxlangid a = handle(e, "AMERICAN_AMERICA.TESTDENSEA");
    Out oa(a, e);
    lxlinfo(&oa.cur, 100, 21, &e.glo);  // august
    EXPECT_EQ(oa.written(), "august");
    EXPECT_EQ(e.glo.repmark, 0);
  });
}
