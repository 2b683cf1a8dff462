// Integer to numeric text and back, in ASCII, EBCDIC (code page 037 and the
// set 835), AL16UTF16, UTF8, AL32UTF8 and a shift-sensitive set, at byte
// strings and at cursors; against Python's str(), format() and int()
// (numcases.inc, generated at build time), glibc's snprintf and strtol, and
// a model of the Roman numeral tables.
#include <gtest/gtest.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "lxc.h"
#include "lxh.h"
#include "lxm.h"
#include "lxo.h"
#include "numtest.h"

namespace {

#include "numcases.inc"

using namespace numtest;

struct Written {
  Bytes text;
  size_t ret;
  uint32_t status;
  size_t ncount2;
};

constexpr size_t kGuard = 64;

// Writes into a guarded buffer of size bytes and checks that nothing was
// written past the bytes returned.
Written write(const lxlangid &h, Env &e, int32_t v, size_t width, uint32_t flags,
              size_t size = 48) {
  std::vector<char> buf(size + kGuard, '#');
  e.glo.status = 77;
  e.glo.ncount2 = 77;
  size_t n = lxsCnvIntToNumStr(buf.data(), size, v, width, flags, &h, &e.glo);
  for (size_t i = n; i < buf.size(); ++i)
    if (buf[i] != '#') {
      ADD_FAILURE() << "byte " << i << " written past the text of " << v;
      break;
    }
  return {Bytes(buf.data(), n), n, e.glo.status, e.glo.ncount2};
}

struct Read {
  int32_t v;
  size_t used;
  uint32_t status;
};
Read read(const lxlangid &h, Env &e, const Bytes &t, uint32_t flags) {
  e.glo.status = 77;
  e.glo.nbytes = 77;
  int32_t v = lxsCnvNumStrToInt(t.data(), t.size(), flags, &h, &e.glo);
  return {v, e.glo.nbytes, e.glo.status};
}

}  // namespace

// ---- integer to text ---------------------------------------------------------

TEST_F(NumText, WriterExamples) {
  child([](Env &e) {
    Sets s(e);
    struct Case {
      const lxlangid *h;
      int32_t v;
      size_t width;
      uint32_t flags;
      Bytes text;
      uint32_t status;
      size_t ncount2;
    } cases[] = {
        {&s.as, 0, 0, kDec, "0", 0, 1},
        {&s.as, -1, 0, kDec, "-1", 0, 2},
        {&s.as, -1, 12, kDec, "-00000000001", 0, 12},
        {&s.as, -1, 0, kDec | kUns, "4294967295", 0, 10},
        {&s.as, INT32_MIN, 0, kDec, "-2147483648", 0, 11},
        {&s.as, 1234567, 0, kDec | kGroup, "1,234,567", 0, 9},
        {&s.as, 2147483647, 12, kDec | kGroup, "", 6, 0},
        {&s.as, 1, 12, kDec | kGroup, "0000,000,001", 0, 12},
        {&s.as, -1, 12, kDec | kGroup, "-000,000,001", 0, 12},
        {&s.as, 5, 1, kDec, "5", 0, 1},
        {&s.as, 55, 1, kDec, "", 6, 0},
        {&s.as, 123, 0, kHex, "7b", 0, 2},
        {&s.as, 123, 0, kHex | kUp, "7B", 0, 2},
        {&s.as, -1, 0, kHex | kUns, "ffffffff", 0, 8},
        {&s.as, 2147483647, 0, kHex | kGroup, "7f,fff,fff", 0, 10},
        {&s.as, -123, 0, kHex, "-7b", 0, 3},
        {&s.as, 7, 0, 0, "", 11, 0},
        {&s.as, 7, 0, kUp | kGroup, "", 11, 0},
        {&s.eb, -123, 0, kDec, "\x60\xF1\xF2\xF3", 0, 4},
        {&s.eb, 255, 0, kHex, "\x86\x86", 0, 2},
        {&s.eb, 255, 0, kHex | kUp, "\xC6\xC6", 0, 2},
        {&s.e835, 255, 0, kHex, "\x67\x67", 0, 2},
        {&s.e835, 255, 0, kHex | kUp, "\xC6\xC6", 0, 2},
        {&s.u16, 123, 0, kDec, Bytes("\0" "1\0" "2\0" "3", 6), 0, 3},
        {&s.u16, -5, 6, kDec, Bytes("\0-\0" "0\0" "5", 6), 0, 3},
        {&s.u16, -5, 7, kDec, Bytes("\0-\0" "0\0" "5", 6), 0, 3},  // width rounded down
        {&s.u16, 12, 1, kDec, Bytes("\0" "1\0" "2", 4), 0, 2},      // below 2: none
        {&s.u16, 1234, 0, kDec | kGroup, Bytes("\0" "1\0,\0" "2\0" "3\0" "4", 10), 0, 5},
        {&s.as, 1994, 0, kRom, "mcmxciv", 0, 7},
        {&s.as, 1994, 0, kURom, "mcmxciv", 0, 7},  // no numeral characters in ASCII
        {&s.u8, 1994, 0, kURom, "\u217f\u217d\u217f\u2179\u217d\u2173", 0, 6},
        {&s.u8, 13, 0, kURom, "\u2179\u2172", 0, 2},
        {&s.u8, 11, 0, kURom, "\u217a", 0, 1},
        {&s.u8, 12, 0, kURom, "\u217b", 0, 1},
        {&s.u8, 12, 0, kURom | kRom, "xii", 0, 3},  // not exactly 0x2: letters
        {&s.u16, 12, 0, kURom, Bytes("\x21\x7b", 2), 0, 1},
        {&s.as, 0, 0, kRom, "", 10, 0},
        {&s.as, -1, 0, kRom, "", 10, 0},
        {&s.as, 4000, 0, kRom, "", 10, 0},
        {&s.u8, 4000, 0, kURom, "", 10, 0},
        {&s.as, 3999, 0, kRom, "mmmcmxcix", 0, 9},
        {&s.eb, 14, 0, kRom, "\xA7\x89\xA5", 0, 3},
        {&s.sh, 4, 0, kDec, "4", 0, 1},
    };
    for (const auto &c : cases) {
      Written w = write(*c.h, e, c.v, c.width, c.flags);
      SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
      EXPECT_EQ(w.text, c.text);
      EXPECT_EQ(w.status, c.status);
      EXPECT_EQ(w.ret, c.text.size());
      if (c.status == 0) {
        EXPECT_EQ(w.ncount2, c.ncount2);
      }
    }
  });
}

// Every mode in every set against Python's str() and format(), read back by
// the reader in the same set.
TEST_F(NumText, WriterAgainstPythonAndReadBack) {
  child([](Env &e) {
    Sets s(e);
    const lxlangid *sets[] = {&s.as, &s.eb, &s.e835, &s.u8, &s.u32, &s.u16, &s.sh};
    for (const lxlangid *h : sets) {
      for (const auto &r : kWriterRefs) {
        SCOPED_TRACE(testing::Message() << "set " << h->cs << " value " << r.v);
        struct Mode {
          uint32_t flags;
          const char *want;
          uint32_t readflags;
        } modes[] = {{kDec, r.dec, kDec},
                     {kDec | kGroup, r.grouped, kDec | kGroup},
                     {kHex | kUns, r.hexu, kHex | kUns},
                     {kHex, r.hexs, 0}};
        for (const auto &m : modes) {
          Bytes want = in_set(*h, e, m.want);
          Written w = write(*h, e, r.v, 0, m.flags);
          ASSERT_EQ(w.status, 0u);
          EXPECT_EQ(w.text, want) << m.want;
          if (m.readflags == 0) continue;
          Read back = read(*h, e, w.text, m.readflags);
          if (r.v == INT32_MIN && m.readflags != (kHex | kUns)) {
            EXPECT_EQ(back.status, 10u);  // the signed range ends at 2147483647
            continue;
          }
          EXPECT_EQ(back.status, 0u);
          EXPECT_EQ(back.v, r.v);
          EXPECT_EQ(back.used, w.text.size());
        }
      }
    }
  });
}

// Zero padding in a field against glibc's "%0*d" and "%0*x".
TEST_F(NumText, PaddingAgainstSnprintf) {
  child([](Env &e) {
    Sets s(e);
    for (const auto &r : kWriterRefs) {
      for (size_t width = 1; width <= 14; ++width) {
        char want[32];
        snprintf(want, sizeof want, "%0*d", int(width), r.v);
        Written w = write(s.as, e, r.v, width, kDec);
        if (strlen(want) > width) {
          EXPECT_EQ(w.status, 6u) << r.v << " " << width;
          continue;
        }
        EXPECT_EQ(w.text, want) << width;
        snprintf(want, sizeof want, "%0*x", int(width), uint32_t(r.v));
        w = write(s.as, e, r.v, width, kHex | kUns);
        if (strlen(want) > width) {
          EXPECT_EQ(w.status, 6u);
        } else {
          EXPECT_EQ(w.text, want);
        }
      }
    }
  });
}

// Roman numerals 1-3999 against the model, in letters and in numeral
// characters, read back in free mode.
TEST_F(NumText, RomanAgainstModelAndReadBack) {
  child([](Env &e) {
    Sets s(e);
    for (int32_t v = 1; v < 4000; ++v) {
      SCOPED_TRACE(v);
      Written w = write(s.as, e, v, 0, kRom, 64);
      ASSERT_EQ(w.text, kRomanLetters[v]);
      Bytes upper = w.text;
      for (char &c : upper) c = char(toupper(c));
      EXPECT_EQ(read(s.as, e, upper, kRom).v, v);
      EXPECT_EQ(read(s.as, e, w.text, kRom).v, v);
      Written eb = write(s.eb, e, v, 0, kRom, 64);
      EXPECT_EQ(eb.text, in_set(s.eb, e, kRomanLetters[v]));
      EXPECT_EQ(read(s.eb, e, eb.text, kRom).v, v);
      for (const lxlangid *h : {&s.u8, &s.u32}) {
        Written u = write(*h, e, v, 0, kURom, 64);
        ASSERT_EQ(u.text, kRomanUnicode[v]);
        Read back = read(*h, e, u.text, kRom);
        EXPECT_EQ(back.status, 0u);
        EXPECT_EQ(back.v, v);
        EXPECT_EQ(back.used, u.text.size());
      }
      Written u16 = write(s.u16, e, v, 0, kURom, 64);
      ASSERT_EQ(u16.text, utf16(kRomanUnicode[v]));
      EXPECT_EQ(u16.ncount2 * 2, u16.text.size());
      EXPECT_EQ(read(s.u16, e, u16.text, kRom).v, v);
      Written l16 = write(s.u16, e, v, 0, kRom, 64);
      EXPECT_EQ(read(s.u16, e, l16.text, kRom).v, v);
    }
  });
}

// A field one byte short fails with status 6 and writes nothing, in every
// mode and set; the exact size succeeds.
TEST_F(NumText, OutputOneByteShort) {
  child([](Env &e) {
    Sets s(e);
    const lxlangid *sets[] = {&s.as, &s.eb, &s.u8, &s.u16, &s.sh};
    const uint32_t modes[] = {kDec, kDec | kGroup, kHex, kHex | kUns | kUp, kRom, kURom};
    const int32_t values[] = {0, 1, -1, 9, 1994, 3888, 12, INT32_MIN, INT32_MAX};
    for (const lxlangid *h : sets)
      for (uint32_t m : modes)
        for (int32_t v : values) {
          Written full = write(*h, e, v, 0, m);
          if (full.status != 0) continue;
          SCOPED_TRACE(testing::Message() << h->cs << " " << m << " " << v);
          Written exact = write(*h, e, v, 0, m, full.ret);
          EXPECT_EQ(exact.text, full.text);
          Written short1 = write(*h, e, v, 0, m, full.ret - 1);
          EXPECT_EQ(short1.status, 6u);
          EXPECT_EQ(short1.ret, 0u);
        }
    // Roman numerals in a buffer of 4 bytes for 1994
    EXPECT_EQ(write(s.as, e, 1994, 0, kRom, 4).status, 6u);
    // the shift-in flag moves the field by one byte and waives no check
    EXPECT_EQ(write(s.sh, e, 123, 0, kDec | kMonth, 3).status, 6u);
    Written w = write(s.sh, e, 123, 0, kDec | kMonth, 4);
    EXPECT_EQ(w.ret, 4u);
    EXPECT_EQ(w.text.substr(1), "123");
  });
}

TEST_F(NumText, WriterAtCursors) {
  child([](Env &e) {
    Sets s(e);
    struct Case {
      int32_t v;
      size_t width, room, max;
      int shifted;
      Bytes text;
      uint32_t status;
      int shifted_after;
    } cases[] = {
        {123, 0, 20, 20, 1, "\x0F" "123", 0, 0},
        {-5, 6, 20, 20, 1, "\x0F-0005", 0, 0},
        {123, 0, 20, 20, 0, "123", 0, 0},
        {123, 0, 3, 20, 1, "", 6, 1},   // the shift-in byte needs room too
        {123, 0, 20, 3, 1, "", 6, 1},
        {123, 3, 20, 20, 1, "", 6, 1},  // a width below the count with the shift-in byte
        {123, 0, 4, 20, 1, "\x0F" "123", 0, 0},
        {123, 0, 2, 20, 0, "", 6, 0},
    };
    for (const auto &c : cases) {
      SCOPED_TRACE(&c - cases);
      char buf[40];
      memset(buf, '#', sizeof buf);
      lxmcur cur;
      lxmopen(buf, c.room, &cur, &s.sh, &e.glo, 1);
      cur.shifted = c.shifted;
      cur.mark2 = 5;
      size_t n = lxoCnvIntToNumStr(&cur, c.max, c.v, c.width, kDec, &e.glo);
      EXPECT_EQ(Bytes(buf, n), c.text);
      EXPECT_EQ(size_t(cur.pos - cur.start), n);
      EXPECT_EQ(e.glo.status, c.status);
      EXPECT_EQ(cur.shifted, c.shifted_after);
      EXPECT_EQ(buf[n], '#');
      EXPECT_EQ(cur.mark2, c.status == 0 ? 5u + e.glo.ncount2 : 5u);
    }
    // a Roman numeral at a shifted-out cursor gets no shift-in byte
    char buf[16];
    lxmcur cur;
    lxmopen(buf, sizeof buf, &cur, &s.as, &e.glo, 1);
    EXPECT_EQ(lxoCnvIntToNumStr(&cur, SIZE_MAX, 9, 0, kRom, &e.glo), 2u);
    EXPECT_EQ(Bytes(buf, 2), "ix");
    EXPECT_EQ(cur.mark2, 2u);
  });
}

// ---- text to integer ---------------------------------------------------------

TEST_F(NumText, ReaderExamples) {
  child([](Env &e) {
    Sets s(e);
    struct Case {
      const lxlangid *h;
      Bytes text;
      uint32_t flags;
      int32_t v;
      size_t used;
      uint32_t status;
    } cases[] = {
        {&s.as, "123abc", kDec, 123, 3, 0},
        {&s.as, "2147483648", kDec, 0, 9, 10},
        {&s.as, "-2147483648", kDec, 0, 10, 10},
        {&s.as, "1,234", kDec, 1, 1, 0},
        {&s.as, "", kDec, 0, 0, 0},
        {&s.as, "123", 0, 0, 0, 0},  // no mode: nothing read
        {&s.as, "80000000", kHex | 0x400, INT32_MIN, 8, 0},
        {&s.eb, "\x4E\xF1\xF2\xF3", kDec, 123, 4, 0},
        {&s.eb, "\x60\xF1\xF2\xF3", kDec, -123, 4, 0},
        {&s.eb, "\x86\xC6", kHex, 255, 2, 0},
        {&s.eb, "\xF1\x62", kHex, 1, 1, 0},
        {&s.e835, "\xF1\x62\x67", kHex, 0x1AF, 3, 0},
        {&s.e835, "\xF1\x81", kHex, 1, 1, 0},
        {&s.u16, Bytes("\0" "1\0" "2\0" "3", 6), kDec, 123, 6, 0},
        {&s.u16, Bytes("\0-\0" "1\0" "2", 6), kDec, -12, 6, 0},
        {&s.u16, Bytes("\0" "f\0" "f", 4), kHex, 255, 4, 0},
        {&s.u16, Bytes("\xff\x11\xff\x12", 4), kDec, 12, 4, 0},       // full-width digits
        {&s.u16, Bytes("\x06\x63\x06\x64", 4), kDec, 34, 4, 0},       // Arabic-Indic
        {&s.u16, Bytes("\0" "1\x21\x6f", 4), kDec, 1, 2, 0},           // U+216F is no digit
        {&s.u16, Bytes("\x21\x6f", 2), kDec, 0, 0, 9},
        {&s.u16, Bytes("\x21\x6f", 2), kHex, 0, 0, 9},
        {&s.u16, Bytes("\0" "1\0,\0" "2", 6), kDec | kGroup, 12, 6, 0},
        {&s.u16, Bytes("\0", 1), kDec, 0, 0, 0},
        {&s.u16, Bytes("\0" "1\0", 3), kDec, 1, 2, 0},
        {&s.u8, "12\xe2\x85\xa0", kDec, 12, 2, 0},
        {&s.sh, "12\x0F" "34", kDec, 1234, 5, 0},
        {&s.sh, "12\x0E" "34", kDec, 12, 3, 0},
        {&s.sh, "\x0F" "12", kDec, 0, 0, 9},
        // Roman numerals, free mode
        {&s.as, "MCMXCIV", kRom, 1994, 7, 0},
        {&s.as, "xlv", kRom, 45, 3, 0},
        {&s.as, "xii ", kRom, 0, 3, 9},
        {&s.as, "iiii", kRom, 4, 4, 0},
        {&s.as, "ic", kRom, 101, 2, 0},
        {&s.as, "vx", kRom, 15, 2, 0},
        {&s.as, "mmmm", kRom, 4000, 4, 0},
        {&s.as, "mmmcmxcixi", kRom, 4000, 10, 0},
        {&s.as, Bytes("xv\0x", 4), kRom, 15, 2, 0},
        {&s.as, "", kRom, 0, 0, 9},
        {&s.u16, utf16("\u2169\u216c\u2164"), kRom, 45, 6, 0},
        {&s.u16, utf16("\u216f\u216d\u216f\u2169\u216d\u2163"), kRom, 1994, 12, 0},
        {&s.u16, utf16("\u216f\u2182"), kRom, 9000, 4, 0},
        {&s.u16, utf16("\u2181\u217f\u217f"), kRom, 7000, 6, 0},
        {&s.u16, utf16("\u216b"), kRom, 12, 2, 0},
        {&s.u16, utf16("\u2183"), kRom, 0, 0, 9},
        {&s.u16, utf16("x\u2170"), kRom, 11, 4, 0},
        {&s.u8, "\xe2\x85\xa9\xe2\x85\xac\xe2\x85\xa4", kRom, 45, 9, 0},
        {&s.as, "m\xe2", kRom, 0, 1, 9},
        // Roman numerals, month mode
        {&s.as, "xii", kRom | kMonth, 12, 3, 0},
        {&s.as, "xiii", kRom | kMonth, 12, 3, 0},
        {&s.as, "x1", kRom | kMonth, 10, 1, 0},
        {&s.as, "zx", kRom | kMonth, 0, 0, 12},
        {&s.as, "xiv", kRom | kMonth, 14, 3, 0},
        {&s.as, "mmm", kRom | kMonth, 3000, 3, 0},
        {&s.as, "iv", kRom | kMonth, 4, 2, 0},
        {&s.as, "", kRom | kMonth, 0, 0, 12},
        {&s.eb, in_set(s.eb, e, "IX"), kRom | kMonth, 9, 2, 0},
    };
    for (const auto &c : cases) {
      SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
      Read r = read(*c.h, e, c.text, c.flags);
      EXPECT_EQ(r.v, c.v);
      EXPECT_EQ(r.used, c.used);
      EXPECT_EQ(r.status, c.status);
    }
  });
}

// Generated texts against Python's int() under the reader's rules, in ASCII,
// EBCDIC and AL16UTF16; glibc's strtol where its rules agree.
TEST_F(NumText, ReaderAgainstPythonAndStrtol) {
  child([](Env &e) {
    Sets s(e);
    for (const auto &r : kReaderRefs) {
      Bytes t(r.text, r.len);
      SCOPED_TRACE(testing::Message() << '"' << t << "\" flags " << r.flags);
      Read a = read(s.as, e, t, r.flags);
      EXPECT_EQ(a.v, r.v);
      EXPECT_EQ(a.used, r.used);
      EXPECT_EQ(a.status, r.status);
      Read u = read(s.u16, e, in_set(s.u16, e, t), r.flags);
      EXPECT_EQ(u.v, r.v);
      EXPECT_EQ(u.used, 2 * r.used);
      EXPECT_EQ(u.status, r.status);
      if (t.find('\0') == Bytes::npos && t.find('\xff') == Bytes::npos) {
        Read b = read(s.eb, e, in_set(s.eb, e, t), r.flags);
        EXPECT_EQ(b.v, r.v);
        EXPECT_EQ(b.used, r.used);
        EXPECT_EQ(b.status, r.status);
      }
      // strtol: decimal without separators, a number that starts at once
      if (r.flags == kDec && r.status == 0 && t[0] != ' ') {
        const Bytes z(t);  // NUL-terminated
        errno = 0;
        char *end = nullptr;
        long v = strtol(z.c_str(), &end, 10);
        if (errno == 0 && v >= INT32_MIN && v <= INT32_MAX && t.find('\0') == Bytes::npos) {
          EXPECT_EQ(a.v, v);
          EXPECT_EQ(a.used, size_t(end - z.c_str()));
        }
      }
    }
  });
}

// Free-mode sums beyond the 32-bit range give status 10, never a wrapped sum.
TEST_F(NumText, RomanOverflow) {
  child([](Env &e) {
    Sets s(e);
    Bytes big;
    const Bytes tenk = utf16("\u2182\u2182\u2182");  // 30000 per group
    const size_t groups = size_t(INT32_MAX) / 30000 + 1;
    for (size_t i = 0; i < groups; ++i) big += tenk;
    Read r = read(s.u16, e, big, kRom);
    EXPECT_EQ(r.status, 10u);
    EXPECT_EQ(r.v, 0);
    EXPECT_EQ(r.used, (groups - 1) * tenk.size());
    Read ok = read(s.u16, e, big.substr(0, (groups - 1) * tenk.size()), kRom);
    EXPECT_EQ(ok.status, 0u);
    EXPECT_EQ(ok.v, int32_t((groups - 1) * 30000));
  });
}

TEST_F(NumText, ReaderAtCursors) {
  child([](Env &e) {
    Sets s(e);
    Bytes t = "12\x0E\xA3\xB1";
    lxmcur cur;
    lxmopen(t.data(), t.size(), &cur, &s.sh, &e.glo, 1);
    EXPECT_EQ(lxoCnvNumStrToInt(&cur, SIZE_MAX, kDec, &e.glo), 12);
    EXPECT_EQ(cur.pos - cur.start, 3);
    EXPECT_EQ(cur.shifted, 1);
    EXPECT_EQ(lxoCnvNumStrToInt(&cur, SIZE_MAX, kDec, &e.glo), 0);  // shifted out: nothing
    EXPECT_EQ(e.glo.nbytes, 0u);
    EXPECT_EQ(cur.pos - cur.start, 3);
    // at most maxlen bytes
    Bytes a = "123456";
    lxmopen(a.data(), a.size(), &cur, &s.as, &e.glo, 1);
    EXPECT_EQ(lxoCnvNumStrToInt(&cur, 4, kDec, &e.glo), 1234);
    EXPECT_EQ(lxoCnvNumStrToInt(&cur, SIZE_MAX, kDec, &e.glo), 56);
    EXPECT_EQ(cur.pos - cur.start, 6);
    Bytes m = "xiii";
    lxmopen(m.data(), m.size(), &cur, &s.as, &e.glo, 1);
    EXPECT_EQ(lxoCnvNumStrToInt(&cur, SIZE_MAX, kRom | kMonth, &e.glo), 12);
    EXPECT_EQ(cur.pos - cur.start, 3);
  });
}

TEST(NumTextUnit, HexLetterOfAUnit) {
  struct {
    uint8_t b[2];
    int32_t v;
  } cases[] = {{{0, '0'}, 0}, {{0, '9'}, 9}, {{0, 'a'}, 10}, {{0, 'F'}, 15}, {{0, 'g'}, 0x7FFFFFFF},
               {{1, '1'}, 0x7FFFFFFF}, {{0xFF, 0x21}, 0x7FFFFFFF}, {{0, 0}, 0x7FFFFFFF}};
  for (const auto &c : cases) EXPECT_EQ(lxsCnvNuInvalidNumber(c.b), c.v) << int(c.b[1]);
}
