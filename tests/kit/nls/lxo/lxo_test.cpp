// Writing characters and copying plain strings at an output cursor, in
// single-byte, multibyte, AL16UTF16 and shift-sensitive character sets of a
// written installation. Every test runs in a child.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "lxm.h"
#include "lxo.h"
#include "nlsfix.h"

using namespace nlsfix;
using nlstest::Env;

namespace {

class Lxo : public Installed {};

using Bytes = std::string;

}  // namespace

TEST_F(Lxo, WriteWideCharacter) {
  child([](Env &e) {
    lxlangid ascii = handle(e, "AMERICAN_AMERICA.US7ASCII");
    lxlangid utf8 = handle(e, "AMERICAN_AMERICA.UTF8");
    lxlangid u16 = handle(e, "AMERICAN_AMERICA.AL16UTF16");
    lxlangid sh = handle(e, "AMERICAN_AMERICA.TESTSHIFT");
    struct {
      const lxlangid *h;
      int shifted;
      size_t room;
      uint32_t wide, flags;
      size_t result;
      uint32_t status;
      Bytes bytes;
      int shifted_after;
    } cases[] = {
        {&ascii, 0, 1, 0x41, 0, 1, 0, "A", 0},
        {&ascii, 0, 0, 0x41, 0, 0, 6, "", 0},
        {&ascii, 0, 0, 0x41, LXO_NOROOMCHECK, 1, 0, "A", 0},
        // AL16UTF16: one unit, or a surrogate pair in four bytes
        {&u16, 0, 4, 0x41, 0, 2, 0, Bytes("\x00\x41", 2), 0},
        {&u16, 0, 4, 0xD83DDE00u, 0, 4, 0, Bytes("\xD8\x3D\xDE\x00", 4), 0},
        {&u16, 0, 1, 0x41, 0, 0, 6, "", 0},
        // byte-oriented sets: as many bytes as the value needs
        {&utf8, 0, 4, 0x41, 0, 1, 0, "A", 0},
        {&utf8, 0, 4, 0xC3A4, 0, 2, 0, "\xC3\xA4", 0},
        {&utf8, 0, 4, 0xE697A5, 0, 3, 0, "\xE6\x97\xA5", 0},
        {&utf8, 0, 4, 0xF09F9880u, 0, 4, 0, "\xF0\x9F\x98\x80", 0},
        {&utf8, 0, 2, 0xE697A5, 0, 0, 6, "", 0},
        // shift-sensitive: the shift byte the state needs comes first
        {&sh, 0, 3, 0x82CC, 0, 3, 0, "\x0E\x82\xCC", 1},
        {&sh, 0, 2, 0x82CC, 0, 0, 6, "\x0E", 1},  // the shift-out byte stays written
        {&sh, 1, 2, 0x82CC, 0, 2, 0, "\x82\xCC", 1},
        {&sh, 1, 2, 0x41, 0, 2, 0, "\x0F\x41", 0},
        {&sh, 1, 1, 0x41, 0, 0, 6, "", 1},
        {&sh, 0, 1, 0x41, 0, 1, 0, "A", 0},
    };
    for (const auto &c : cases) {
      Out o(*c.h, e, c.room, 0, c.shifted);
      e.glo.status = 77;
      EXPECT_EQ(lxoWriWChar(&o.cur, c.wide, c.flags, &e.glo), c.result) << "case " << (&c - cases);
      EXPECT_EQ(e.glo.status, c.status) << "case " << (&c - cases);
      EXPECT_EQ(o.written(), c.bytes) << "case " << (&c - cases);
      EXPECT_EQ(o.cur.shifted, c.shifted_after) << "case " << (&c - cases);
      if (!(c.flags & LXO_NOROOMCHECK)) {
        EXPECT_TRUE(o.guard_intact(c.room));
      }
    }
  });
}

namespace {

struct CopyCase {
  const char *handle;
  Bytes src;
  size_t srclen;   // as passed (counts units or characters for some flags)
  size_t dstsize;  // the cursor's own length is 32
  uint32_t flags;
  Bytes out;       // bytes written
  size_t nbytes, ncount, ncount2;
  int shifted_before = 0, shifted_after = 0;
};

void run(Env &e, const CopyCase *cases, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const CopyCase &c = cases[i];
    lxlangid h = nlsfix::handle(e, c.handle);
    Out o(h, e, 32, 0, c.shifted_before);
    e.glo.status = 77;
    size_t r = lxoCpToOp(&o.cur, c.dstsize, c.src.data(), c.srclen, c.flags, &e.glo);
    EXPECT_EQ(r, c.out.size()) << c.handle << " case " << i;
    EXPECT_EQ(o.written(), c.out) << c.handle << " case " << i;
    EXPECT_EQ(e.glo.status, 0u) << c.handle << " case " << i;
    EXPECT_EQ(e.glo.nbytes, c.nbytes) << c.handle << " case " << i;
    EXPECT_EQ(e.glo.ncount, c.ncount) << c.handle << " case " << i;
    EXPECT_EQ(e.glo.ncount2, c.ncount2) << c.handle << " case " << i;
    EXPECT_EQ(o.cur.shifted, c.shifted_after) << c.handle << " case " << i;
    EXPECT_TRUE(o.guard_intact(c.dstsize < 32 ? c.dstsize : 32)) << c.handle << " case " << i;
  }
}

constexpr uint32_t NUL = LXO_NULTERM, EXACT = LXO_EXACTLEN, CHARS = LXO_CHARLEN;

}  // namespace

TEST_F(Lxo, CopySingleByte) {
  const char *h = "AMERICAN_AMERICA.WE8ISO8859P1";
  const CopyCase cases[] = {
      {h, "abc", 3, 10, NUL, "abc", 3, 3, 3},
      // the NUL ends the text: consumed and counted, not copied
      {h, Bytes("ab\0cd", 5), 5, 10, NUL, "ab", 3, 3, 2},
      {h, Bytes("ab\0cd", 5), 5, 10, EXACT, Bytes("ab\0cd", 5), 5, 5, 5},
      {h, "abcdef", 6, 2, NUL, "ab", 2, 2, 2},
      {h, Bytes("abc\0", 4), 4, 3, NUL, "abc", 4, 4, 3},  // the NUL right after the room
      {h, "abc", static_cast<size_t>(-1), 10, NUL, "abc", 4, 4, 3},  // up to its NUL
      {h, "abc", 0, 10, NUL, "", 0, 0, 0},
      {h, "abc", 3, 0, NUL, "", 0, 0, 0},
      {h, "abc", 3, 100, EXACT, "abc", 3, 3, 3},  // the cursor's length bounds it too
  };
  child([&](Env &e) { run(e, cases, std::size(cases)); });
}

TEST_F(Lxo, CopyUtf8) {
  const char *h = "AMERICAN_AMERICA.UTF8";
  const Bytes marz = "m\xC3\xA4rz";
  const CopyCase cases[] = {
      {h, marz, 5, 10, NUL, marz, 5, 4, 4},
      {h, marz, 5, 2, NUL, "m", 1, 1, 1},           // never a split character
      {h, marz, 5, 3, NUL, "m\xC3\xA4", 3, 2, 2},
      {h, Bytes("a\0b", 3), 3, 10, NUL, "a", 2, 2, 1},
      // length-bounded: cut before a character the window ends inside
      {h, "a\xE6\x97\xA5" "b", 5, 3, EXACT, "a", 1, 0, 0},
      {h, "a\xE6\x97\xA5" "b", 5, 4, EXACT, "a\xE6\x97\xA5", 4, 0, 0},
      {h, Bytes("a\0b", 3), 3, 10, EXACT, Bytes("a\0b", 3), 3, 0, 0},
      // neither flag: the length counts characters
      {h, marz, 2, 10, 0, "m\xC3\xA4", 3, 2, 2},
      {h, marz, 2, 10, CHARS, "m\xC3\xA4", 3, 2, 2},
  };
  child([&](Env &e) { run(e, cases, std::size(cases)); });
}

TEST_F(Lxo, CopyOtherMultibyte) {
  const char *sjis = "AMERICAN_AMERICA.JA16SJIS";
  const char *al32 = "AMERICAN_AMERICA.AL32UTF8";
  const CopyCase cases[] = {
      {sjis, "ab\x82\xCC", 4, 3, NUL, "ab", 2, 2, 2},
      // length-bounded cuts by the table rule, with its counts
      {sjis, "abc\x82\xCC", 5, 4, EXACT, "abc", 3, 0, 0},
      {sjis, "\x82\xCC\x82", 3, 10, EXACT, "\x82\xCC", 2, 1, 1},
      {al32, "a\xF0\x9F\x98\x80", 5, 4, EXACT, "a", 1, 0, 0},
      {al32, "a\xF0\x9F\x98\x80", 5, 5, NUL, "a\xF0\x9F\x98\x80", 5, 2, 2},
  };
  child([&](Env &e) { run(e, cases, std::size(cases)); });
}

TEST_F(Lxo, CopyAl16Utf16) {
  const char *h = "AMERICAN_AMERICA.AL16UTF16";
  const Bytes ab0c("\x00\x41\x00\x42\x00\x00\x00\x43", 8);
  const CopyCase cases[] = {
      // a unit of two zero bytes ends the text; counts are in units
      {h, ab0c, 8, 20, NUL, ab0c.substr(0, 4), 6, 3, 2},
      {h, ab0c, 8, 20, EXACT, ab0c, 8, 4, 4},
      {h, ab0c, 2, 20, 0, ab0c.substr(0, 4), 4, 2, 2},  // the length counts units
      {h, ab0c, 7, 20, EXACT, ab0c.substr(0, 6), 6, 3, 3},  // bytes rounded down to units
      {h, ab0c, 8, 3, NUL, ab0c.substr(0, 2), 2, 1, 1},
  };
  child([&](Env &e) { run(e, cases, std::size(cases)); });
}

TEST_F(Lxo, CopyShiftSensitive) {
  const char *h = "AMERICAN_AMERICA.TESTSHIFT";
  const Bytes mixed = "A\x0E\x82\xCC\x0F" "B";
  CopyCase cases[] = {
      {h, mixed, 6, 20, NUL, mixed, 6, 3, 3},
      // a source that ends with a shift byte has it consumed; the output stays shifted out
      {h, "A\x0E\x82\xCC\x0F", 5, 20, NUL, "A\x0E\x82\xCC", 5, 2, 2, 0, 1},
      // no room for the shift byte and the character: the shift byte stays in the source
      {h, mixed, 6, 3, NUL, "A", 1, 1, 1},
      {h, mixed, 6, 4, NUL, "A\x0E\x82\xCC", 4, 2, 2, 0, 1},
      // an output that is shifted out gets a shift-in before a single-byte character
      {h, "AB", 2, 20, NUL, "\x0F" "AB", 2, 2, 2, 1, 0},
      {h, "\x0E\x82\xCC", 3, 20, NUL, "\x82\xCC", 3, 1, 1, 1, 1},
      // the length counts characters; shift bytes are not characters
      {h, "\x0E\x82\xCC\x83\x4C\x0F" "A", 2, 20, CHARS, "\x0E\x82\xCC\x83\x4C", 5, 2, 2, 0, 1},
      // a NUL ends the text, except with the exact-length flag
      {h, Bytes("A\0B", 3), 3, 20, NUL, "A", 2, 2, 1},
      {h, Bytes("A\0B", 3), 3, 20, 0, "A", 2, 2, 1},
      {h, Bytes("A\0B", 3), 3, 20, EXACT, Bytes("A\0B", 3), 3, 3, 3},
      // a character cut off by the end of the source
      {h, "A\x0E\x82", 3, 20, NUL, "A", 1, 1, 1},
  };
  child([&](Env &e) { run(e, cases, std::size(cases)); });
}
