// Whole-string conversion and UTF-16 unit conversion over a written
// installation, against encodings made by Python's codecs (cases.inc, from
// gen_cases.py) and the rules of the converters. Every test runs in a child.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "lxg.h"
#include "lxh.h"
#include "nlsfix.h"

using namespace nlsfix;

namespace {

using nlstest::Env;
using Bytes = std::string;

Bytes B(const char *s, size_t n) { return Bytes(s, n); }

class Lxg : public Installed {};

const lxcsobj *cs(Env &e, uint16_t id) { return lxhci2h(id, &e.glo); }

// The UTF-16 units of a text, from its AL16UTF16 encoding.
std::vector<uint16_t> units_of(const TextCase &t) {
  std::vector<uint16_t> u;
  for (const auto &enc : t.enc)
    if (enc.id == 2000)
      for (size_t i = 0; i + 1 < enc.len; i += 2)
        u.push_back(static_cast<uint16_t>((static_cast<uint8_t>(enc.bytes[i]) << 8) |
                                          static_cast<uint8_t>(enc.bytes[i + 1])));
  return u;
}

Bytes convert(Env &e, uint16_t to, const Bytes &src, uint16_t from, size_t room = 256) {
  std::vector<char> out(room + 1);
  size_t n = lxgcnv(out.data(), cs(e, to), room, src.data(), cs(e, from), src.size(), &e.glo);
  return Bytes(out.data(), n);
}

}  // namespace

TEST_F(Lxg, ValidTextBetweenEverySetPair) {
  child([](Env &e) {
    int pairs = 0;
    for (const auto &t : kTexts) {
      for (const auto &s : t.enc) {
        if (!s.ok) continue;
        for (const auto &d : t.enc) {
          if (!d.ok || s.len == 0) continue;
          Bytes got = convert(e, d.id, B(s.bytes, s.len), s.id);
          EXPECT_EQ(got, B(d.bytes, d.len)) << t.name << ": " << s.id << " -> " << d.id;
          EXPECT_EQ(e.glo.status, 0u) << t.name << ": " << s.id << " -> " << d.id;
          EXPECT_EQ(e.glo.nbytes, s.len) << t.name << ": " << s.id << " -> " << d.id;
          EXPECT_EQ(e.glo.repmark, 0) << t.name << ": " << s.id << " -> " << d.id;
          ++pairs;
        }
      }
    }
    EXPECT_GT(pairs, 150);
  });
}

TEST_F(Lxg, ValidTextToAndFromUnits) {
  child([](Env &e) {
    for (const auto &t : kTexts) {
      std::vector<uint16_t> want = units_of(t);
      for (const auto &s : t.enc) {
        if (!s.ok || s.len == 0) continue;
        uint16_t u[128];
        // measuring gives the count that converting writes
        uint32_t need = lxgt2u(u, 0, s.bytes, cs(e, s.id), static_cast<uint32_t>(s.len), 0, &e.glo);
        EXPECT_EQ(need, want.size()) << t.name << " from " << s.id;
        uint32_t n = lxgt2u(u, 128, s.bytes, cs(e, s.id), static_cast<uint32_t>(s.len), 0, &e.glo);
        EXPECT_EQ(std::vector<uint16_t>(u, u + n), want) << t.name << " from " << s.id;
        EXPECT_EQ(e.glo.nbytes, s.len) << t.name << " from " << s.id;
        EXPECT_EQ(e.glo.status, 0u);
        char out[256];
        uint32_t len = lxgu2t(nullptr, cs(e, s.id), 0, want.data(),
                              static_cast<uint32_t>(want.size()), 0, &e.glo);
        EXPECT_EQ(len, s.len) << t.name << " measured into " << s.id;
        len = lxgu2t(out, cs(e, s.id), sizeof out, want.data(), static_cast<uint32_t>(want.size()),
                     0, &e.glo);
        EXPECT_EQ(B(out, len), B(s.bytes, s.len)) << t.name << " into " << s.id;
        EXPECT_EQ(e.glo.nbytes, want.size());
        EXPECT_EQ(e.glo.repmark, 0);
      }
    }
  });
}

TEST_F(Lxg, UnitsThroughTheBuiltinUcsObject) {
  child([](Env &e) {
    const auto &t = kTexts[5];  // with two surrogate pairs
    std::vector<uint16_t> want = units_of(t);
    alignas(2) char buf[256];
    const auto &u8 = t.enc[3];
    ASSERT_EQ(u8.id, 873);
    size_t n = lxgcnv(buf, cs(e, 1000), sizeof buf, u8.bytes, cs(e, 873), u8.len, &e.glo);
    ASSERT_EQ(n, 2 * want.size());
    EXPECT_EQ(memcmp(buf, want.data(), n), 0);
    EXPECT_EQ(e.glo.nbytes2, want.size());
    char back[256];
    size_t m = lxgcnv(back, cs(e, 873), sizeof back, buf, cs(e, 1000), n, &e.glo);
    EXPECT_EQ(B(back, m), B(u8.bytes, u8.len));
    EXPECT_EQ(e.glo.nbytes, n);
    // misaligned unit buffers
    EXPECT_EQ(lxgcnv(buf + 1, cs(e, 1000), 10, "ab", cs(e, 1), 2, &e.glo), 0u);
    EXPECT_EQ(e.glo.status, 500u);
    EXPECT_EQ(lxgcnv(back, cs(e, 1), 10, buf + 1, cs(e, 1000), 2, &e.glo), 0u);
    EXPECT_EQ(e.glo.status, 500u);
    // a unit buffer of one byte holds nothing: not a measurement
    EXPECT_EQ(lxgcnv(buf, cs(e, 1000), 1, "ab", cs(e, 1), 2, &e.glo), 0u);
    EXPECT_EQ(e.glo.status, 6u);
  });
}

TEST_F(Lxg, LengthsAndMissingSets) {
  child([](Env &e) {
    char out[16];
    EXPECT_EQ(lxgcnv(out, cs(e, 31), 16, "abc", cs(e, 1), 0, &e.glo), 0u);
    EXPECT_EQ(e.glo.status, 0u);
    EXPECT_EQ(lxgcnv(out, cs(e, 31), 0, "abcde", cs(e, 1), 5, &e.glo), 0u);
    EXPECT_EQ(e.glo.status, 6u);
    EXPECT_EQ(lxgcnv(out, nullptr, 4, "0123456789", cs(e, 1), 10, &e.glo), 4u);
    EXPECT_EQ(e.glo.status, 8u);
    EXPECT_EQ(e.glo.nbytes, 4u);
    EXPECT_EQ(B(out, 4), "0123");
    EXPECT_EQ(lxgcnv(out, cs(e, 1), 16, "xy", nullptr, 2, &e.glo), 2u);
    EXPECT_EQ(e.glo.status, 8u);
  });
}

TEST_F(Lxg, SingleByteReplacement) {
  child([](Env &e) {
    EXPECT_EQ(convert(e, 1, "a\xe4z", 31), "a?z");
    EXPECT_EQ(e.glo.repmark, 1000);
    EXPECT_EQ(convert(e, 1, "a?z", 31), "a?z");
    EXPECT_EQ(e.glo.repmark, 0);
    // cut: status 6 with the bytes taken
    EXPECT_EQ(convert(e, 1, "abcdef", 31, 4), "abcd");
    EXPECT_EQ(e.glo.status, 6u);
    EXPECT_EQ(e.glo.nbytes, 4u);
    // multibyte into single-byte
    EXPECT_EQ(convert(e, 31, "\xe6\x97\xa5x", 873), "?x");
    EXPECT_EQ(e.glo.repmark, 1000);
    // a single-byte character without a Unicode value decodes to U+FFFD
    EXPECT_EQ(convert(e, 873, "a\x81", 178), "a\xef\xbf\xbd");
  });
}

TEST_F(Lxg, SameSetCopies) {
  child([](Env &e) {
    // three two-byte characters into five bytes
    EXPECT_EQ(convert(e, 832, "\x93\xfa\x96\x7b\x8c\xea", 832, 5), "\x93\xfa\x96\x7b");
    EXPECT_EQ(e.glo.nbytes2, 2u);
    EXPECT_EQ(e.glo.status, 6u);
    EXPECT_EQ(convert(e, 2000, B("\0a\0b\0", 5), 2000, 5), B("\0a\0b", 4));
    EXPECT_EQ(e.glo.nbytes2, 2u);
    EXPECT_EQ(convert(e, 31, "abc", 31), "abc");
    EXPECT_EQ(e.glo.nbytes2, 3u);
    // a shift-sensitive window that ends inside a run gets its shift-in
    const Bytes text = "a\x0e\x93\xfa\x96\x7b\x0f" "b";
    for (size_t room = 1; room <= text.size(); ++room) {
      Bytes got = convert(e, 900, text, 900, room);
      EXPECT_LE(got.size(), room);
      size_t so = 0, si = 0;
      for (char c : got) {
        so += c == '\x0e';
        si += c == '\x0f';
      }
      EXPECT_EQ(so, si) << "room " << room << ": " << got.size();
    }
    EXPECT_EQ(convert(e, 900, text, 900, 6), "a\x0e\x93\xfa\x0f");
    EXPECT_EQ(e.glo.status, 6u);
    EXPECT_EQ(convert(e, 900, text, 900), text);
    EXPECT_EQ(e.glo.nbytes2, 4u);
    // a text that ends inside a run keeps its last character and is closed;
    // the room for the shift-in is the output's, not the source's
    EXPECT_EQ(convert(e, 900, "\x0e\x93\xfa", 900), "\x0e\x93\xfa\x0f");
    EXPECT_EQ(e.glo.status, 0u);
    EXPECT_EQ(e.glo.nbytes, 3u);
    EXPECT_EQ(e.glo.nbytes2, 1u);
    // an output as long as that source has no room for the shift-in: the
    // character is not taken, and the call says so
    EXPECT_EQ(convert(e, 900, "\x0e\x93\xfa", 900, 3), "");
    EXPECT_EQ(e.glo.status, 6u);
  });
}

TEST_F(Lxg, ShiftSensitiveConversion) {
  child([](Env &e) {
    const Bytes u8 = "a\xe6\x97\xa5\xe6\x9c\xac" "b";
    const Bytes sh = "a\x0e\x93\xfa\x96\x7b\x0f" "b";
    EXPECT_EQ(convert(e, 900, u8, 873), sh);
    EXPECT_EQ(e.glo.status, 0u);
    EXPECT_EQ(e.glo.nbytes2, 4u);
    EXPECT_EQ(convert(e, 873, sh, 900), u8);
    EXPECT_EQ(e.glo.nbytes, sh.size());
    // ends in a run: closed
    EXPECT_EQ(convert(e, 900, "\xe6\x97\xa5", 873), "\x0e\x93\xfa\x0f");
    // room for the shift-out and the character but not the shift-in: not taken
    EXPECT_EQ(convert(e, 900, u8, 873, 4), "a");
    EXPECT_EQ(e.glo.status, 6u);
    EXPECT_EQ(e.glo.nbytes, 1u);
    EXPECT_EQ(convert(e, 900, u8, 873, 5), "a\x0e\x93\xfa\x0f");
    EXPECT_EQ(e.glo.nbytes, 4u);
    // measuring into the shift-sensitive set: two characters, both shift bytes
    uint16_t two[] = {0x65e5, 0x672c};
    EXPECT_EQ(lxgu2t(nullptr, cs(e, 900), 0, two, 2, 0, &e.glo), 6u);
    char out[16];
    EXPECT_EQ(lxgu2t(out, cs(e, 900), sizeof out, two, 2, 0, &e.glo), 6u);
    EXPECT_EQ(B(out, 6), "\x0e\x93\xfa\x96\x7b\x0f");
    uint16_t back[8];
    EXPECT_EQ(lxgt2u(back, 0, sh.data(), cs(e, 900), static_cast<uint32_t>(sh.size()), 0, &e.glo), 4u);
  });
}

TEST_F(Lxg, SurrogatesBetweenUtf8Forms) {
  child([](Env &e) {
    EXPECT_EQ(convert(e, 873, "\xed\xa0\xbd\xed\xb8\x80", 871), "\xf0\x9f\x98\x80");
    EXPECT_EQ(e.glo.nbytes2, 1u);
    EXPECT_EQ(convert(e, 871, "\xf0\x9f\x98\x80", 873), "\xed\xa0\xbd\xed\xb8\x80");
    EXPECT_EQ(e.glo.nbytes2, 2u);  // six bytes in a set that counts them as two
    EXPECT_EQ(convert(e, 2000, "\xf0\x9f\x98\x80", 873), B("\xd8\x3d\xde\x00", 4));
    EXPECT_EQ(e.glo.nbytes2, 2u);
    EXPECT_EQ(convert(e, 873, B("\xd8\x3d\xde\x00", 4), 2000), "\xf0\x9f\x98\x80");
    // an odd last byte of UTF-16 text is left
    EXPECT_EQ(convert(e, 1, B("\0a\0b\0", 5), 2000), "ab");
    EXPECT_EQ(e.glo.nbytes, 4u);
    // an incomplete last character: not converted, no status
    EXPECT_EQ(convert(e, 31, "ab\xe6", 873), "ab");
    EXPECT_EQ(e.glo.nbytes, 2u);
    EXPECT_EQ(e.glo.status, 0u);
    // a character that does not fit is not taken
    EXPECT_EQ(convert(e, 873, "a\xe4", 31, 2), "a");
    EXPECT_EQ(e.glo.nbytes, 1u);
    EXPECT_EQ(e.glo.status, 6u);
  });
}

TEST_F(Lxg, WideObjectCodes) {
  child([](Env &e) {
    const lxcsobj *wkb = cs(e, 799);
    char out[8];
    // code 1999 converts through its own entry, U+20AC
    size_t n = lxgcnv(out, cs(e, 178), 8, "\x07\xcf\x00\x41", wkb, 4, &e.glo);
    EXPECT_EQ(B(out, n), "\x80" "A");
    EXPECT_EQ(e.glo.status, 0u);
    EXPECT_EQ(e.glo.nbytes, 4u);
    EXPECT_EQ(e.glo.nbytes2, 2u);
    // codes beyond the table stand for U+00BF
    n = lxgcnv(out, cs(e, 31), 8, "\x08\x00", wkb, 2, &e.glo);
    EXPECT_EQ(B(out, n), "\xbf");
    // truncation is reported
    n = lxgcnv(out, cs(e, 31), 1, "\x00\x41\x00\x42", wkb, 4, &e.glo);
    EXPECT_EQ(B(out, n), "A");
    EXPECT_EQ(e.glo.status, 6u);
    EXPECT_EQ(e.glo.nbytes, 2u);
    n = lxgcnv(out, wkb, 3, "AB", cs(e, 31), 2, &e.glo);
    EXPECT_EQ(B(out, n), B("\0A", 2));
    EXPECT_EQ(e.glo.status, 6u);
    EXPECT_EQ(e.glo.nbytes, 1u);
    n = lxgcnv(out, wkb, 4, "AB", cs(e, 31), 2, &e.glo);
    EXPECT_EQ(B(out, n), B("\0A\0B", 4));
    EXPECT_EQ(e.glo.status, 0u);
    // between the wide object and a multibyte set: copied, status 8
    n = lxgcnv(out, cs(e, 873), 8, "\x00\x41", wkb, 2, &e.glo);
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(e.glo.status, 8u);
  });
}

TEST_F(Lxg, Ratio) {
  child([](Env &e) {
    EXPECT_EQ(lxgratio(cs(e, 873), cs(e, 873), &e.glo), 1u);
    EXPECT_EQ(lxgratio(cs(e, 31), cs(e, 873), &e.glo), 1u);
    EXPECT_EQ(lxgratio(cs(e, 873), cs(e, 2000), &e.glo), 2u);
    EXPECT_EQ(lxgratio(cs(e, 873), cs(e, 1), &e.glo), 3u);
    EXPECT_EQ(lxgratio(cs(e, 871), cs(e, 2000), &e.glo), 2u);
    EXPECT_EQ(lxgratio(cs(e, 900), cs(e, 31), &e.glo), 3u);
    EXPECT_EQ(lxgratio(nullptr, cs(e, 31), &e.glo), 0u);
    EXPECT_EQ(e.glo.status, 7u);
  });
}

TEST_F(Lxg, StatefulSetWithoutItsBaseCharset) {
  child([](Env &e) {
    // this installation has no JA16EUC, the base of ISO-2022-JP: the
    // conversion ends with a status, never with 0
    char out[16];
    const lxcsobj *iso2022 = reinterpret_cast<const lxcsobj *>(lxd2022arr[0]);
    EXPECT_EQ(lxgcnv(out, iso2022, 16, "abc", cs(e, 1), 3, &e.glo), 0u);
    EXPECT_EQ(e.glo.status, 7u);
    EXPECT_EQ(lxgcnv(out, cs(e, 1), 16, "\x1b\x24\x42\x30\x21", iso2022, 5, &e.glo), 0u);
    EXPECT_EQ(e.glo.status, 7u);
    uint16_t u[4];
    EXPECT_EQ(lxgt2u(u, 4, "abc", iso2022, 3, 0, &e.glo), 0u);
    EXPECT_EQ(e.glo.status, 7u);
  });
}

TEST_F(Lxg, UnitConversionEdges) {
  child([](Env &e) {
    uint16_t u[8];
    EXPECT_EQ(lxgt2u(u, 0, "\xf0\x9f\x98\x80" "A", cs(e, 873), 5, 0, &e.glo), 3u);
    EXPECT_EQ(e.glo.nbytes, 5u);
    EXPECT_EQ(lxgt2u(u, 8, "\xc3", cs(e, 873), 1, 0, &e.glo), 0u);
    EXPECT_EQ(e.glo.nbytes, 0u);
    EXPECT_EQ(e.glo.status, 0u);
    // a pair with room for one unit: reported as too small
    EXPECT_EQ(lxgt2u(u, 1, "\xf0\x9f\x98\x80", cs(e, 873), 4, 0, &e.glo), 0u);
    EXPECT_EQ(e.glo.nbytes, 0u);
    EXPECT_EQ(e.glo.status, 6u);
    EXPECT_EQ(lxgt2u(u, 2, "abc", cs(e, 31), 3, 0, &e.glo), 2u);
    EXPECT_EQ(e.glo.status, 6u);
    EXPECT_EQ(lxgt2u(u, 2, "abc", nullptr, 3, 0, &e.glo), 0u);
    EXPECT_EQ(e.glo.status, 7u);

    char out[16];
    const uint16_t pair[] = {0xD83D, 0xDE00};
    EXPECT_EQ(B(out, lxgu2t(out, cs(e, 873), 16, pair, 2, 0, &e.glo)), "\xf0\x9f\x98\x80");
    EXPECT_EQ(e.glo.nbytes2, 1u);
    EXPECT_EQ(B(out, lxgu2t(out, cs(e, 871), 16, pair, 2, 0, &e.glo)), "\xed\xa0\xbd\xed\xb8\x80");
    const uint16_t lone[] = {0x41, 0xD83D};
    EXPECT_EQ(B(out, lxgu2t(out, cs(e, 873), 16, lone, 2, 0, &e.glo)), "A\xef\xbf\xbd");
    EXPECT_EQ(e.glo.repmark, 1000);
    EXPECT_EQ(B(out, lxgu2t(out, cs(e, 873), 16, lone, 2, LXG_U2T_RESUME, &e.glo)), "A");
    EXPECT_EQ(e.glo.nbytes, 1u);
    const uint16_t three[] = {0x41, 0x42, 0x43};
    EXPECT_EQ(B(out, lxgu2t(out, cs(e, 2002), 5, three, 3, 0, &e.glo)), B("A\0B\0", 4));
    EXPECT_EQ(e.glo.status, 6u);
    const uint16_t q[] = {0x3F, 0x4E00};
    EXPECT_EQ(B(out, lxgu2t(out, cs(e, 31), 1, q, 1, 0, &e.glo)), "?");
    EXPECT_EQ(e.glo.repmark, 0);
    EXPECT_EQ(B(out, lxgu2t(out, cs(e, 31), 2, q, 2, 0, &e.glo)), "??");
    EXPECT_EQ(e.glo.repmark, 1000);
    // a character that does not fit stays unconsumed
    const uint16_t ae[] = {0x41, 0xE4};
    EXPECT_EQ(B(out, lxgu2t(out, cs(e, 873), 2, ae, 2, 0, &e.glo)), "A");
    EXPECT_EQ(e.glo.nbytes, 1u);
    EXPECT_EQ(e.glo.status, 6u);
    // with the resume flag it is split, the rest pending
    e.glo.carry.npending = 0;
    EXPECT_EQ(B(out, lxgu2t(out, cs(e, 873), 2, ae, 2, LXG_U2T_RESUME | 1, &e.glo)), "A\xc3");
    EXPECT_EQ(e.glo.nbytes, 2u);
    EXPECT_EQ(e.glo.carry.npending, 1);
    EXPECT_EQ(e.glo.carry.pending[0], 0xa4);
    EXPECT_EQ(e.glo.status, 6u);
    EXPECT_EQ(B(out, lxgu2t(out, cs(e, 873), 2, ae, 2, LXG_U2T_RESUME | 2, &e.glo)), "A");
    EXPECT_EQ(e.glo.nbytes, 2u);
  });
}

TEST_F(Lxg, CountingVariant) {
  child([](Env &e) {
    const uint16_t text[] = {0x41, 0xE4, 0xD83D, 0xDE00, 0x42};
    char out[32];
    uint32_t ob = sizeof out, oc = 0, sb = 10, su = 5;
    uint32_t n = lxgu2tc(out, cs(e, 873), &ob, &oc, text, &sb, &su, 0, &e.glo);
    EXPECT_EQ(B(out, n), "A\xc3\xa4\xf0\x9f\x98\x80" "B");
    EXPECT_EQ(ob, 8u);
    EXPECT_EQ(oc, 4u);
    EXPECT_EQ(su, 5u);
    EXPECT_EQ(sb, 10u);
    // a character limit
    ob = sizeof out;
    oc = 2;
    su = 5;
    n = lxgu2tc(out, cs(e, 873), &ob, &oc, text, nullptr, &su, 0, &e.glo);
    EXPECT_EQ(B(out, n), "A\xc3\xa4");
    EXPECT_EQ(su, 2u);
    // measuring
    ob = 0;
    su = 5;
    n = lxgu2tc(nullptr, cs(e, 873), &ob, nullptr, text, nullptr, &su, 0, &e.glo);
    EXPECT_EQ(n, 8u);
    EXPECT_EQ(su, 5u);
    // a final high surrogate left unconsumed
    ob = sizeof out;
    su = 3;
    n = lxgu2tc(out, cs(e, 873), &ob, nullptr, text, nullptr, &su, 0x80000000u, &e.glo);
    EXPECT_EQ(B(out, n), "A\xc3\xa4");
    EXPECT_EQ(su, 2u);
    EXPECT_EQ(lxgu2tc(out, nullptr, &ob, nullptr, text, nullptr, &su, 0, &e.glo), 0u);
    EXPECT_EQ(e.glo.status, 7u);
  });
}

// The replacement mark tells of a replacement character that was written,
// not of one the output had no room for.
TEST_F(Lxg, ReplacementMarkOnlyForWrittenReplacements) {
  child([](Env &e) {
    struct Case {
      uint16_t from, to;
      Bytes src;
      size_t room;
      size_t out, consumed;
      uint32_t status;
      int16_t mark;
    } cases[] = {
        {2000, 873, B("\x00\x41\xd8\x3d\x00\x42", 6), 3, 1, 2, 6, 0},     // U+FFFD has no room
        {2000, 873, B("\x00\x41\xd8\x3d\x00\x42", 6), 4, 4, 4, 6, 1000},  // it has
        {2000, 873, B("\x00\x41\xd8\x3d\x00\x42", 6), 5, 5, 6, 0, 1000},
        {2002, 873, B("\x41\x00\x3d\xd8\x42\x00", 6), 3, 1, 2, 6, 0},
        {873, 2000, B("A\xff", 2), 3, 2, 1, 6, 0},
    };
    for (const auto &c : cases) {
      if (!cs(e, c.from) || !cs(e, c.to)) continue;
      Bytes got = convert(e, c.to, c.src, c.from, c.room);
      EXPECT_EQ(got.size(), c.out) << c.from << " -> " << c.to << " room " << c.room;
      EXPECT_EQ(e.glo.nbytes, c.consumed) << c.from << " -> " << c.to << " room " << c.room;
      EXPECT_EQ(e.glo.status, c.status) << c.from << " -> " << c.to << " room " << c.room;
      EXPECT_EQ(e.glo.repmark, c.mark) << c.from << " -> " << c.to << " room " << c.room;
    }
    // units in host order (id 1000), a lone high surrogate before "B"
    alignas(2) uint16_t u[3] = {0x41, 0xD83D, 0x42};
    char out[8];
    for (size_t room : {3, 4}) {
      size_t n = lxgcnv(out, cs(e, 873), room, u, cs(e, 1000), sizeof u, &e.glo);
      EXPECT_EQ(n, room == 3 ? 1u : 4u);
      EXPECT_EQ(e.glo.repmark, room == 3 ? 0 : 1000) << room;
    }
  });
}
