// Resumable, stateful (ISO-2022, HZ) and GB18030 conversion over a written
// installation: base charsets from Python's codecs and iconv (gen_maps.py),
// encodings by Python's codecs (conv_cases.inc), ISO-2022-CN against iconv,
// and every two-piece split of a text against the whole-string conversion.
// Every test runs in a child.
#include <gtest/gtest.h>
#include <iconv.h>
#include <stdlib.h>
#include <string.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#ifdef QEN_HAVE_ICU
#include <unicode/ucnv.h>
#endif

#include "lxg.h"
#include "lxh.h"
#include "nlsconv.h"
#include "nlskit.h"
#include "nlsobjw.h"
#include "nlstest.h"

namespace {

#include "conv_cases.inc"

using nlstest::Env;
using Bytes = std::string;

using namespace nlsconv;

class Conv : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string err;
    dir_ = nlskit::write(nlsconv::installation(NLS_MAPS), err);
    if (dir_.empty()) ADD_FAILURE() << err;
  }
  static void child(const std::function<void(Env &)> &body) {
    nlstest::in_installation(dir_, body);
  }
  inline static std::string dir_;
};

const lxcsobj *cs(Env &e, uint16_t id) {
  const lxcsobj *c = lxhci2h(id, &e.glo);
  EXPECT_NE(c, nullptr) << id;
  return c;
}

// Whole-string conversion into a large (2-byte aligned) buffer.
Bytes convert(Env &e, uint16_t to, const Bytes &src, uint16_t from, size_t room = 4096) {
  std::vector<uint16_t> out(room / 2 + 1);
  size_t n = lxgcnv(out.data(), cs(e, to), room, src.data(), cs(e, from), src.size(), &e.glo);
  return Bytes(reinterpret_cast<char *>(out.data()), n);
}

Bytes hex(const Bytes &b) {
  static const char d[] = "0123456789ABCDEF";
  Bytes s;
  for (unsigned char c : b) {
    s += d[c >> 4];
    s += d[c & 15];
    s += ' ';
  }
  return s;
}

// Converts with glibc iconv; empty when it cannot.
Bytes iconv_conv(const char *to, const char *from, const Bytes &in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == (iconv_t)-1) return {};
  Bytes out(in.size() * 8 + 32, '\0');
  char *ip = const_cast<char *>(in.data()), *op = out.data();
  size_t il = in.size(), ol = out.size();
  size_t r = iconv(cd, &ip, &il, &op, &ol);
  if (r != (size_t)-1) r = iconv(cd, nullptr, nullptr, &op, &ol);
  iconv_close(cd);
  if (r == (size_t)-1) return {};
  out.resize(out.size() - ol);
  return out;
}

// Converts with ICU; empty when ICU is not built in or fails.
Bytes icu_conv(const char *to, const char *from, const Bytes &in) {
#ifdef QEN_HAVE_ICU
  UErrorCode err = U_ZERO_ERROR;
  Bytes out(in.size() * 8 + 32, '\0');
  int32_t n = ucnv_convert(to, from, out.data(), static_cast<int32_t>(out.size()), in.data(),
                           static_cast<int32_t>(in.size()), &err);
  if (U_FAILURE(err)) return {};
  out.resize(static_cast<size_t>(n));
  return out;
#else
  (void)to;
  (void)from;
  (void)in;
  return {};
#endif
}

}  // namespace

// ---- Python's codecs ----------------------------------------------------------

TEST_F(Conv, DecodesWhatPythonEncodes) {
  child([](Env &e) {
    for (const auto &c : kConvCases) {
      Bytes enc(c.enc, c.elen), text(c.text, c.tlen);
      EXPECT_EQ(convert(e, AL32UTF8, enc, c.id), text) << c.codec << ": " << hex(enc);
      EXPECT_EQ(e.glo.status, 0u) << c.codec;
      EXPECT_EQ(e.glo.nbytes, c.elen) << c.codec;
      EXPECT_EQ(e.glo.repmark, 0) << c.codec;
    }
  });
}

TEST_F(Conv, EncodesAsPythonDoes) {
  child([](Env &e) {
    for (const auto &c : kConvCases) {
      Bytes enc(c.enc, c.elen), text(c.text, c.tlen);
      EXPECT_EQ(hex(convert(e, c.id, text, AL32UTF8)), hex(enc)) << c.codec;
      EXPECT_EQ(e.glo.status, 0u) << c.codec;
      EXPECT_EQ(e.glo.nbytes, c.tlen) << c.codec;
      EXPECT_EQ(e.glo.repmark, 0) << c.codec;
      // and through UTF-16 units both ways
      std::vector<uint16_t> u(512);
      uint32_t nu = lxgt2u(u.data(), 512, c.enc, cs(e, c.id), static_cast<uint32_t>(c.elen), 0, &e.glo);
      uint32_t need = lxgt2u(u.data(), 0, c.enc, cs(e, c.id), static_cast<uint32_t>(c.elen), 0, &e.glo);
      EXPECT_EQ(need, nu) << c.codec;
      char back[1024];
      uint32_t nb = lxgu2t(back, cs(e, c.id), sizeof back, u.data(), nu, 0, &e.glo);
      EXPECT_EQ(hex(Bytes(back, nb)), hex(enc)) << c.codec << " through units";
      EXPECT_EQ(lxgu2t(nullptr, cs(e, c.id), 0, u.data(), nu, 0, &e.glo), nb) << c.codec << " measured";
    }
  });
}

// ---- Stateful sets: the rules of the sets -------------------------------------

TEST_F(Conv, StatefulEdgeCases) {
  child([](Env &e) {
    // JIS X 0208 through its EUC bytes, and back with the closing ESC ( B
    EXPECT_EQ(hex(convert(e, JA16EUC, "\x1b\x24\x42\x30\x21", ISO2022JP)), "B0 A1 ");
    EXPECT_EQ(hex(convert(e, ISO2022JP, "\xb0\xa1", JA16EUC)), "1B 24 42 30 21 1B 28 42 ");
    // after ESC ( J the bytes pass through, with no return sequence after them
    EXPECT_EQ(convert(e, AL32UTF8, "\x1b\x28\x4a\x5c~a", ISO2022JP), "\\~a");
    // ISO-2022-KR: one designation, SO and SI switch without a new one
    EXPECT_EQ(convert(e, AL32UTF8, "\x1b\x24\x29\x43\x0e\x47\x51\x0f" "a\x0e\x47\x51\x0f", ISO2022KR),
              "\xed\x95\x9c" "a" "\xed\x95\x9c");
    // ISO-2022-CN: a single shift affects one character only
    Bytes cns2 = iconv_conv("UTF-8", "EUC-TW", "\x8e\xa2\xa1\xa1");
    ASSERT_FALSE(cns2.empty());
    EXPECT_EQ(convert(e, AL32UTF8, "\x1b\x24\x29\x41\x0e\x56\x50\x1b\x24\x2a\x48\x1b\x4e\x21\x21\x56\x50\x0f",
                      ISO2022CN),
              "\xe4\xb8\xad" + cns2 + "\xe4\xb8\xad");
    // HZ: "~{" and "~}" switch, ASCII between them copied, "~~" is "~",
    // a "~" before a newline passes through
    EXPECT_EQ(convert(e, AL32UTF8, "a~{VP~}b~~c~\nd", HZ), "a\xe4\xb8\xad" "b~c~\nd");
    EXPECT_EQ(convert(e, HZ, "~{", AL32UTF8), "~~{");
    EXPECT_EQ(convert(e, AL32UTF8, convert(e, HZ, "a~{b~}~", AL32UTF8), HZ), "a~{b~}~");
    // a destination one byte too short for the closing sequence
    Bytes jp = convert(e, ISO2022JP, "\xb0\xa1", JA16EUC);
    EXPECT_EQ(convert(e, ISO2022JP, "\xb0\xa1", JA16EUC, jp.size() - 1), "");
    EXPECT_EQ(e.glo.status, 6u);
    EXPECT_EQ(e.glo.nbytes, 0u);
    // a designation cut off at the end: no output for it, not consumed
    EXPECT_EQ(convert(e, AL32UTF8, "ab\x1b\x24", ISO2022JP), "ab");
    EXPECT_EQ(e.glo.status, 0u);
    EXPECT_EQ(e.glo.nbytes, 2u);
  });
}

TEST_F(Conv, SequenceLookupsAndBaseMatch) {
  child([](Env &e) {
    const lxcsobj *jp = cs(e, ISO2022JP), *cn = cs(e, ISO2022CN);
    unsigned idx = 99;
    const struct {
      const lxcsobj *set;
      const char *bytes;
      size_t avail;
      int mode;
      int found;
      unsigned idx;
    } cases[] = {
        {jp, "\x1b\x24\x42", 3, 0, 1, 2},      {jp, "\x1b\x28\x4a", 3, 0, 1, 1},
        {jp, "\x1b\x24", 2, 0, 1, 2},          // cut off: still its entry
        {jp, "\x1b\x26\x40\x1b\x24\x42", 6, 0, 1, 4},
        {jp, "\x41", 1, 0, 0, 0},              {jp, "\x41", 1, 2, 1, 0},
        {jp, "\xb0\xa1", 2, 2, 1, 2},          {jp, "\x8e\xb1", 2, 2, 1, 5},
        {jp, "\x8f\xb0\xa1", 3, 2, 1, 6},      {cn, "\x0e", 1, 1, 1, 1},
        {cn, "\x0f", 1, 1, 1, 0},              {cn, "\x1b\x4e", 2, 1, 1, 3},
        {cn, "\x8e\xa1\xa4\xa1", 4, 2, 1, 2},  {cn, "\x8e\xa2\xa1\xa1", 4, 2, 1, 3},
        {cn, "\xd6\xd0", 2, 2, 1, 1},
    };
    for (const auto &c : cases) {
      idx = 99;
      EXPECT_EQ(lx2seq(c.set, reinterpret_cast<const uint8_t *>(c.bytes), &idx, c.mode, c.avail), c.found)
          << hex(c.bytes);
      if (c.found) {
        EXPECT_EQ(idx, c.idx) << hex(c.bytes);
      }
    }
    uint16_t base = 0;
    EXPECT_EQ(lxmatch(cs(e, LATIN1), jp, &base), 1);  // one base: the answer whatever the set
    EXPECT_EQ(base, JA16EUC);
    EXPECT_EQ(lxmatch(cs(e, ZHS16CGB), cn, &base), 1);
    EXPECT_EQ(base, ZHS16CGB);
    EXPECT_EQ(lxmatch(cs(e, ZHT32EUC), cn, &base), 0);
    // base text written in the stateful form, and the status of misuse
    char out[64];
    size_t n = lxg2o2i(out, jp, sizeof out, "a\xb0\xa1" "b", cs(e, JA16EUC), 4, &e.glo);
    EXPECT_EQ(hex(Bytes(out, n)), "61 1B 24 42 30 21 1B 28 42 62 ");
    EXPECT_EQ(lxg2o2i(out, cs(e, LATIN1), sizeof out, "a", cs(e, JA16EUC), 1, &e.glo), 0u);
    EXPECT_EQ(e.glo.status, 20u);
  });
}

TEST_F(Conv, Iso2022CnAgainstIconv) {
  child([](Env &e) {
    if (iconv_conv("ISO-2022-CN", "UTF-8", "a").empty()) GTEST_SKIP() << "no ISO-2022-CN in iconv";
    // GB 2312, CNS plane 1 and plane 2 characters, mixed, over lines
    Bytes cns1 = "\xe6\xb8\xac";  // U+6E2C: CNS plane 1, not in GB 2312
    Bytes cns2 = iconv_conv("UTF-8", "EUC-TW", "\x8e\xa2\xa1\xa1");
    const Bytes texts[] = {
        "\xe4\xb8\xad\xe6\x96\x87 text",
        "\xe4\xb8\xad " + cns1 + " \xe6\x96\x87" + cns1 + "\xe4\xb8\xad\n" + cns1 + " line 2\n",
        cns2 + "a" + cns2 + "\xe4\xb8\xad" + cns2 + cns1 + "\n" + cns2,
    };
    for (const Bytes &t : texts) {
      Bytes ours = convert(e, ISO2022CN, t, AL32UTF8);
      EXPECT_EQ(e.glo.status, 0u);
      EXPECT_EQ(e.glo.repmark, 0) << hex(t);
      EXPECT_EQ(iconv_conv("UTF-8", "ISO-2022-CN", ours), t) << hex(ours);
      // (glibc leaves text after a single-shifted character as if shifted
      // out: its output is read back only for texts without plane 2)
      if (t.find(cns2) == Bytes::npos) {
        Bytes theirs = iconv_conv("ISO-2022-CN", "UTF-8", t);
        ASSERT_FALSE(theirs.empty());
        EXPECT_EQ(convert(e, AL32UTF8, theirs, ISO2022CN), t) << hex(theirs);
      }
      EXPECT_EQ(convert(e, AL32UTF8, ours, ISO2022CN), t);
    }
    // a stale G1 designation is not reused: GB after CNS designates again
    // (U+4EEC is in GB 2312 only; glibc does not take a designation met
    // while shifted out at once, so this text is read back by ICU)
    const Bytes gbcns = "\xe4\xb8\xad" + cns1 + "\xe4\xbb\xac";
    Bytes mixed = convert(e, ISO2022CN, gbcns, AL32UTF8);
    EXPECT_EQ(mixed.substr(0, 5), "\x1b\x24\x29\x41\x0e");
    size_t g = mixed.find("\x1b\x24\x29\x47");
    ASSERT_NE(g, Bytes::npos);
    EXPECT_GT(mixed.rfind("\x1b\x24\x29\x41"), g) << hex(mixed);
    EXPECT_EQ(convert(e, AL32UTF8, mixed, ISO2022CN), gbcns);
    // a line end ends the designation: the next line designates again
    Bytes lines = convert(e, ISO2022CN, "\xe4\xb8\xad\n\xe4\xb8\xad", AL32UTF8);
    EXPECT_EQ(hex(lines), "1B 24 29 41 0E 56 50 0F 0A 1B 24 29 41 0E 56 50 0F ");
    // while ISO-2022-KR designates once for the whole text
    Bytes kr = convert(e, ISO2022KR, "\xed\x95\x9c\n\xed\x95\x9c", AL32UTF8);
    EXPECT_EQ(hex(kr), "1B 24 29 43 0E 47 51 0F 0A 0E 47 51 0F ");
  });
}

TEST_F(Conv, Iso2022CnAgainstIcu) {
  child([](Env &e) {
    if (icu_conv("ISO-2022-CN", "UTF-8", "a").empty()) GTEST_SKIP() << "built without ICU";
    Bytes cns1 = "\xe6\xb8\xac", cns2 = "\xe4\xb9\x82";
    const Bytes texts[] = {
        "\xe4\xb8\xad" + cns1 + "\xe4\xbb\xac",
        cns2 + "a" + cns2 + "\xe4\xb8\xad" + cns2 + "\xe4\xb8\x80\n" + cns2,
        "\xe4\xb8\xad " + cns1 + " \xe6\x96\x87" + cns1 + "\xe4\xbb\xac\n" + cns1 + " line 2\n",
    };
    for (const Bytes &t : texts) {
      Bytes theirs = icu_conv("ISO-2022-CN", "UTF-8", t);
      ASSERT_FALSE(theirs.empty());
      EXPECT_EQ(convert(e, AL32UTF8, theirs, ISO2022CN), t) << hex(theirs);
      Bytes ours = convert(e, ISO2022CN, t, AL32UTF8);
      EXPECT_EQ(icu_conv("UTF-8", "ISO-2022-CN", ours), t) << hex(ours);
    }
  });
}

TEST_F(Conv, WriterStatefulSetWithItsOwnEscapes) {
  child([](Env &e) {
    const Bytes text = "ab\xed\x95\x9c\xea\xb5\xad c";
    Bytes enc = convert(e, JIS7, text, AL32UTF8);
    EXPECT_EQ(hex(enc), "61 62 1B 24 4B 47 51 31 39 1B 28 42 20 63 ");
    EXPECT_EQ(convert(e, AL32UTF8, enc, JIS7), text);
    EXPECT_EQ(convert(e, KO16KSC, enc, JIS7), "ab\xc7\xd1\xb1\xb9 c");
  });
}

TEST_F(Conv, LongKatakanaRunNeverOverflows) {
  child([](Env &e) {
    Bytes src = "\x1b\x28\x49" + Bytes(5000, '\x31') + "\x1b\x28\x42";
    Bytes out = convert(e, AL32UTF8, src, ISO2022JP, 3 * 5000 + 16);
    EXPECT_EQ(out.size(), 3u * 5000u);
    EXPECT_EQ(out.substr(0, 3), "\xef\xbd\xb1");
    EXPECT_EQ(e.glo.nbytes, src.size());
    out = convert(e, JA16EUC, src, ISO2022JP, 2 * 5000 + 16);
    EXPECT_EQ(out.size(), 2u * 5000u);
  });
}

TEST_F(Conv, MeasuringStatefulAndGb18030Text) {
  child([](Env &e) {
    for (const auto &c : kConvCases) {
      std::vector<uint16_t> u(1024);
      uint32_t nu = lxgt2u(u.data(), 1024, c.enc, cs(e, c.id), static_cast<uint32_t>(c.elen), 0, &e.glo);
      EXPECT_EQ(lxgt2u(nullptr, 0, c.enc, cs(e, c.id), static_cast<uint32_t>(c.elen), 0, &e.glo), nu);
      EXPECT_EQ(lxgu2t(nullptr, cs(e, c.id), 0, u.data(), nu, 0, &e.glo), c.elen) << c.codec;
    }
    uint16_t u[4];
    EXPECT_EQ(lxgt2u(u, 0, "\x90\x30\x81\x30", cs(e, GB18030), 4, 0, &e.glo), 2u);
  });
}

TEST_F(Conv, StatefulSetWhoseBaseIsMissing) {
  child([](Env &e) {
    // a copy of ISO-2022-KR whose base id names no charset of the installation
    const lxcsobj *kr = cs(e, ISO2022KR);
    std::vector<uint8_t> img(reinterpret_cast<const uint8_t *>(kr),
                             reinterpret_cast<const uint8_t *>(kr) + 2492);
    for (unsigned i = 0; i < 2; ++i) {
      uint16_t id = 4321;
      memcpy(img.data() + LX_ELEM(lxcsstobj, ent, i) + offsetof(lxcsstent, base), &id, 2);
    }
    auto *bad = reinterpret_cast<const lxcsobj *>(img.data());
    char out[32];
    EXPECT_EQ(lxgcnv(out, bad, sizeof out, "abc", cs(e, US7ASCII), 3, &e.glo), 0u);
    EXPECT_NE(e.glo.status, 0u);
    EXPECT_EQ(lxgcnv(out, cs(e, US7ASCII), sizeof out, "abc", bad, 3, &e.glo), 0u);
    EXPECT_NE(e.glo.status, 0u);
  });
}

// ---- GB18030 --------------------------------------------------------------------

TEST_F(Conv, Gb18030EdgeCases) {
  child([](Env &e) {
    EXPECT_EQ(hex(convert(e, AL32UTF8, "\x81\x30\x81\x30", GB18030)), "C2 80 ");
    EXPECT_EQ(e.glo.nbytes, 4u);
    EXPECT_EQ(e.glo.nbytes2, 1u);
    EXPECT_EQ(hex(convert(e, AL16UTF16, "\x90\x30\x81\x30", GB18030)), "D8 00 DC 00 ");
    EXPECT_EQ(e.glo.nbytes2, 2u);
    EXPECT_EQ(convert(e, AL32UTF8, "ab\x81\x30", GB18030), "ab");
    EXPECT_EQ(e.glo.nbytes, 2u);
    EXPECT_EQ(e.glo.status, 0u);
    // a unit buffer of one byte holds nothing: not a measurement
    EXPECT_EQ(convert(e, UCS, "\x81\x30\x81\x30", GB18030, 1), "");
    EXPECT_EQ(e.glo.status, 6u);
    EXPECT_EQ(hex(convert(e, GB18030, "\xc2\x80", AL32UTF8)), "81 30 81 30 ");
    EXPECT_EQ(hex(convert(e, GB18030, "\xe4\xb8\xad", AL32UTF8)), "D6 D0 ");
    EXPECT_EQ(convert(e, GB18030, "a\xc2\x80", AL32UTF8, 4), "a");
    EXPECT_EQ(e.glo.status, 6u);
    // single-byte destinations through the encoder, with the replacement mark
    EXPECT_EQ(convert(e, LATIN1, "\xd6\xd0" "a\x81\x30\x8b\x37", GB18030), "?a\xff");
    EXPECT_EQ(e.glo.repmark, 1000);
    // character lengths
    const lxcsobj *gb = cs(e, GB18030);
    EXPECT_EQ(lxcgbgwt(gb, reinterpret_cast<const uint8_t *>("\x81\x30\x81\x30"), 4, 0), 4u);
    EXPECT_EQ(lxcgbgwt(gb, reinterpret_cast<const uint8_t *>("\x81\x40"), 2, 0), 2u);
    EXPECT_EQ(lxcgbgwt(gb, reinterpret_cast<const uint8_t *>("\x81"), 1, 0), 2u);
    uint8_t four[4];
    EXPECT_EQ(lxcgbunLinear(1876218, four), 0x90);
    EXPECT_EQ(hex(Bytes(reinterpret_cast<char *>(four), 4)), "90 30 81 30 ");
  });
}

TEST_F(Conv, Gb18030Resumable) {
  child([](Env &e) {
    const lxcsobj *gb = cs(e, GB18030), *u8 = cs(e, AL32UTF8);
    char out[16];
    const char *src = "\x81\x30";
    const void *p = src;
    uint32_t left = 2;
    EXPECT_EQ(lxgcvp(out, u8, sizeof out, &p, gb, &left, 0, &e.glo), 0);
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(e.glo.carry.ncarried, 2u);
    p = src;
    left = 2;
    int32_t n = lxgcvp(out, u8, sizeof out, &p, gb, &left, 1, &e.glo);
    EXPECT_EQ(hex(Bytes(out, n)), "C2 80 ");
    // three bytes of room for a four-byte character: three now, one pending
    e.glo.carry = {};
    const char *u = "\xc2\x80";
    p = u;
    left = 2;
    n = lxgcvp(out, gb, 3, &p, u8, &left, 1, &e.glo);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(e.glo.status, 6u);
    EXPECT_EQ(e.glo.carry.npending, 1u);
    left = 0;
    n = lxgcvp(out + 3, gb, 4, &p, u8, &left, 1, &e.glo);
    EXPECT_EQ(hex(Bytes(out, 3 + n)), "81 30 81 30 ");
  });
}

// ---- Resumable conversion: the rules ----------------------------------------------

TEST_F(Conv, ResumableEdgeCases) {
  child([](Env &e) {
    const lxcsobj *a32 = cs(e, AL32UTF8), *u8 = cs(e, UTF8), *ks = cs(e, KOSHIFT);
    char out[16];
    const void *p;
    uint32_t left;
    auto call = [&](const lxcsobj *d, uint32_t room, const char *s, uint32_t len, const lxcsobj *sc,
                    uint16_t mode) {
      p = s;
      left = len;
      return lxgcvp(out, d, room, &p, sc, &left, mode, &e.glo);
    };
    // a cut character is carried in mode 0 and completed by the next call
    EXPECT_EQ(call(u8, 16, "\xe2\x82", 2, a32, 0), 0);
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(e.glo.carry.ncarried, 2u);
    EXPECT_EQ(call(u8, 16, "\xac", 1, a32, 1), 3);
    EXPECT_EQ(Bytes(out, 3), "\xe2\x82\xac");
    EXPECT_EQ(e.glo.nbytes2, 1u);
    // mode 1 drops it
    EXPECT_EQ(call(u8, 16, "\xe2\x82", 2, a32, 1), 0);
    EXPECT_EQ(e.glo.carry.ncarried, 0u);
    EXPECT_EQ(e.glo.status, 0u);
    // a split output character: pending in mode 1, dropped in mode 2
    EXPECT_EQ(call(u8, 1, "\xc3\xa9", 2, a32, 1), 1);
    EXPECT_EQ(e.glo.status, 6u);
    EXPECT_EQ(e.glo.carry.npending, 1u);
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(call(u8, 4, "", 0, a32, 1), 1);
    EXPECT_EQ(Bytes(out, 1), "\xa9");
    EXPECT_EQ(e.glo.nbytes2, 1u);
    EXPECT_EQ(call(u8, 1, "\xc3\xa9", 2, a32, 2), 0);
    EXPECT_EQ(e.glo.status, 6u);
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(e.glo.carry.npending, 0u);
    // shift-sensitive destination, mode 2: room for SO + character only
    e.glo.carry = {};
    EXPECT_EQ(call(ks, 3, "\xed\x95\x9c", 3, a32, 2), 0);
    EXPECT_EQ(e.glo.status, 6u);
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(call(ks, 4, "\xed\x95\x9c", 3, a32, 2), 4);
    EXPECT_EQ(hex(Bytes(out, 4)), "0E C7 D1 0F ");
    // mode 0 leaves the run open; the next call goes on without a new SO
    e.glo.carry = {};
    EXPECT_EQ(call(ks, 16, "\xed\x95\x9c", 3, a32, 0), 3);
    EXPECT_EQ(e.glo.carry.dst_shift, 1u);
    EXPECT_EQ(call(ks, 16, "\xed\x95\x9c", 3, a32, 1), 3);
    EXPECT_EQ(hex(Bytes(out, 3)), "C7 D1 0F ");
    // a missing set
    EXPECT_EQ(call(nullptr, 16, "ab", 2, a32, 1), -1);
    EXPECT_EQ(e.glo.status, 7u);
    EXPECT_EQ(left, 2u);
    // the wide object (id 799): a code's second byte waits, an odd byte is carried
    const lxcsobj *wide = cs(e, 799), *l1 = cs(e, LATIN1);
    e.glo.carry = {};
    EXPECT_EQ(call(wide, 1, "A", 1, l1, 1), 1);
    EXPECT_EQ(e.glo.status, 6u);
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(call(wide, 4, "B", 1, l1, 1), 3);
    EXPECT_EQ(hex(Bytes(out, 3)), "41 00 42 ");
    EXPECT_EQ(call(l1, 16, "\x00\x41\x00", 3, wide, 0), 1);
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(e.glo.carry.ncarried, 1u);
    EXPECT_EQ(call(l1, 16, "\x42\x07\xcf", 3, wide, 1), 2);
    EXPECT_EQ(Bytes(out, 2), "B\xbf");  // codes above 1998 stand for U+00BF
    // a character whose rest exceeds the pending bytes does not fit
    e.glo.carry = {};
    EXPECT_EQ(call(u8, 1, "\xf0\x9f\x98\x80", 4, a32, 1), 0);
    EXPECT_EQ(e.glo.status, 6u);
    EXPECT_EQ(left, 4u);
  });
}

TEST_F(Conv, ResumableUnits) {
  child([](Env &e) {
    const lxcsobj *a32 = cs(e, AL32UTF8), *ucs = cs(e, UCS);
    alignas(2) char src[8];
    uint16_t units[3] = {0x41, 0xD83D, 0xDE00};
    memcpy(src, units, 6);
    char out[16];
    const void *p = src;
    uint32_t left = 5;
    EXPECT_EQ(lxgcvp(out, a32, 16, &p, ucs, &left, 0, &e.glo), 1);
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(e.glo.carry.ncarried, 3u);
    left = 1;
    p = src + 5;
    int32_t n = lxgcvp(out, a32, 16, &p, ucs, &left, 1, &e.glo);
    EXPECT_EQ(hex(Bytes(out, n)), "F0 9F 98 80 ");
    // a final high surrogate: carried in mode 0, a replacement in mode 1
    e.glo.carry = {};
    p = src;
    left = 4;
    EXPECT_EQ(lxgcvp(out, a32, 16, &p, ucs, &left, 1, &e.glo), 4);
    EXPECT_EQ(hex(Bytes(out, 4)), "41 EF BF BD ");
    EXPECT_EQ(e.glo.repmark, 1000);
    // misaligned unit output
    p = src;
    left = 2;
    EXPECT_EQ(lxgcvp(out + 1, ucs, 8, &p, a32, &left, 1, &e.glo), -1);
    EXPECT_EQ(e.glo.status, 500u);
  });
}

// A caller that loops on lxgcvp with a one-byte output must get somewhere:
// every call writes a byte, and a character wider than the room is split,
// its rest pending for the next call.
TEST_F(Conv, OneByteOutputsAlwaysAdvance) {
  child([](Env &e) {
    struct Case {
      uint16_t from;
      Bytes src;
      const char *want;  // AL16UTF16
    } cases[] = {
        {GB18030, Bytes("\x90\x30\x81\x30", 4), "D8 00 DC 00 "},      // U+10000, four bytes
        {GB18030, Bytes("A\x81\x30\x81\x30", 5), "00 41 00 80 "},     // four-byte BMP
        {AL16UTF16LE, Bytes("\x3d\xd8\x00\xde", 4), "D8 3D DE 00 "},  // a surrogate pair
        {AL16UTF16LE, Bytes("\x41\x00\x3d\xd8\x00\xde", 6), "00 41 D8 3D DE 00 "},
        {AL32UTF8, Bytes("\xf0\x9f\x98\x80", 4), "D8 3D DE 00 "},
    };
    for (uint16_t mode : {0, 1}) {
      for (const auto &c : cases) {
        e.glo.carry = {};
        const void *p = c.src.data();
        uint32_t left = static_cast<uint32_t>(c.src.size());
        Bytes got;
        int guard = 0;
        while ((left > 0 || e.glo.carry.npending > 0) && guard++ < 32) {
          char out[2] = {'#', '#'};
          int32_t n = lxgcvp(out, cs(e, AL16UTF16), 1, &p, cs(e, c.from), &left, mode, &e.glo);
          ASSERT_EQ(n, 1) << c.from << " " << hex(c.src) << " mode " << mode << " left " << left;
          EXPECT_EQ(out[1], '#');
          got.append(out, 1);
        }
        EXPECT_EQ(hex(got), c.want) << c.from << " mode " << mode;
        EXPECT_EQ(left, 0u);
        EXPECT_EQ(e.glo.carry.npending, 0u);
      }
    }
  });
}

// A stateful text closed by one mode-1 call leaves no designation behind:
// the next text on the same record designates again.
TEST_F(Conv, ClosingCallForgetsTheDesignation) {
  child([](Env &e) {
    for (uint16_t to : {ISO2022KR, ISO2022CN}) {
      e.glo.carry = {};
      Bytes first, second;
      for (Bytes *out : {&first, &second}) {
        char buf[32];
        const char *s = to == ISO2022KR ? "\xed\x95\x9c" : "\xe4\xb8\xad";
        const void *p = s;
        uint32_t left = 3;
        int32_t n = lxgcvp(buf, cs(e, to), sizeof buf, &p, cs(e, AL32UTF8), &left, 1, &e.glo);
        ASSERT_GE(n, 0);
        out->assign(buf, static_cast<size_t>(n));
        EXPECT_EQ(e.glo.carry.src_shift, 0u);
      }
      EXPECT_EQ(hex(second), hex(first)) << to;
      if (to == ISO2022KR) {
        EXPECT_EQ(hex(first), "1B 24 29 43 0E 47 51 0F ");
      }
      EXPECT_EQ(convert(e, AL32UTF8, second, to), convert(e, AL32UTF8, first, to));
    }
  });
}

// The GB18030 encoder finds a BMP value's four-byte range by its row; a
// binary search over the ranges must agree for every value.
TEST_F(Conv, Gb18030RangesFoundByRowAsByBinarySearch) {
  child([](Env &e) {
    const lxcsobj *gb = cs(e, GB18030);
    int bad = 0;
    for (uint32_t v = 0; v <= 0xFFFF && bad < 5; ++v) {
      if (v == 0xFFFD || (v >= 0xD800 && v <= 0xDFFF)) continue;
      uint8_t want[8] = {}, got[8] = {};
      int low = 0, high = LXCGB_RANGES - 1, found = -1;
      while (low <= high && found < 0) {
        int mid = (low + high) / 2;
        if (v < lxcgbMaping[mid][0])
          high = mid - 1;
        else if (v > lxcgbMaping[mid][1])
          low = mid + 1;
        else
          found = mid;
      }
      unsigned wn = 4;
      if (found >= 0)
        lxcgbunLinear(LXCGB_BMP0 + lxcgbMaping[found][2] + (v - lxcgbMaping[found][0]), want);
      else
        wn = lxcsu2mx(gb, want, v, 2, &e.glo);
      unsigned gn = lxcsu2mGB18030(gb, got, v, 2, &e.glo);
      if (gn != wn || memcmp(got, want, wn) != 0) {
        ADD_FAILURE() << "U+" << std::hex << v;
        ++bad;
      }
    }
  });
}

// The GB18030 decoder finds a four-byte character's range by its block of
// indexes; a binary search over the ranges must agree for every index of
// the BMP part.
TEST_F(Conv, Gb18030FourByteRangesFoundByBlockAsByBinarySearch) {
  child([](Env &e) {
    const lxcsobj *gb = cs(e, GB18030);
    constexpr uint32_t kLastIndex = 39419;  // U+FFFF
    int bad = 0;
    for (uint32_t idx = 0; idx <= kLastIndex && bad < 5; ++idx) {
      uint8_t p[4];
      lxcgbunLinear(LXCGB_BMP0 + idx, p);
      int low = 0, high = LXCGB_RANGES - 1, found = -1;
      while (low <= high && found < 0) {
        int mid = (low + high) / 2;
        if (idx < lxcgbMaping[mid][2])
          high = mid - 1;
        else if (idx > lxcgbMaping[mid][3])
          low = mid + 1;
        else
          found = mid;
      }
      const uint32_t want = found >= 0 ? lxcgbMaping[found][0] + (idx - lxcgbMaping[found][2])
                                       : lxcsm2ux(gb, p, 4);
      if (lxcsm2uGB18030(gb, p, 4) != want) {
        ADD_FAILURE() << "index " << idx;
        ++bad;
      }
    }
  });
}

// ---- Dedicated loops of the common pairs against the general loop ---------------

namespace {

// Appends code point c to s in UTF-8 (surrogate halves too, as CESU-8
// spells them).
void append_utf8(Bytes &s, uint32_t c) {
  if (c < 0x80) {
    s += static_cast<char>(c);
  } else if (c < 0x800) {
    s += static_cast<char>(0xC0 | c >> 6);
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    s += static_cast<char>(0xE0 | c >> 12);
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | c >> 18);
    s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Random source text in one set, valid and not: ASCII runs, Latin and other
// BMP characters, U+FFFD, surrogate pairs and lone halves, bytes no decoder
// takes, and cut-off last characters.
Bytes random_text(std::mt19937 &rng, uint16_t set, size_t units) {
  auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
  Bytes s;
  auto utf8 = [&](uint32_t c) { append_utf8(s, c); };
  auto unit = [&](uint32_t u) {
    char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u);
    if (set == AL16UTF16LE) std::swap(hi, lo);
    s += hi;
    s += lo;
  };
  for (size_t k = 0; k < units; ++k) {
    uint32_t kind = pick(16), c;
    if (kind < 7) {
      c = 0x20 + pick(0x5F);  // ASCII, often
    } else if (kind < 10) {
      c = 0x80 + pick(0x80);  // Latin
    } else if (kind < 12) {
      c = 0x100 + pick(0xD700);  // other BMP
    } else if (kind == 12) {
      c = 0xFFFD;
    } else if (kind == 13) {
      c = 0x10000 + pick(0x100000);
    } else if (kind == 14) {
      c = 0xD800 + pick(0x800);  // a lone half
    } else {
      c = 0xE000 + pick(0x2000);
    }
    if (set == LATIN1) {
      s += static_cast<char>(kind == 15 ? pick(256) : c & 0xFF);
    } else if (set == AL32UTF8) {
      if (kind == 15) {
        static const char *bad[] = {"\x80", "\xc0\x80", "\xed\xa0\x80", "\xff", "\xe0\x80\x80", "\xf5\x80"};
        s += bad[pick(6)];
      } else if (c >= 0xD800 && c < 0xE000) {
        s += "\xed\xa0\x80";
      } else {
        utf8(c);
      }
    } else if (c >= 0x10000) {
      c -= 0x10000;
      unit(0xD800 | c >> 10);
      unit(0xDC00 | (c & 0x3FF));
    } else {
      unit(c);
    }
  }
  if (pick(4) == 0 && !s.empty()) s.pop_back();  // cut the last character
  return s;
}

}  // namespace

namespace {

// Converts src with the dedicated loops and with the general loop alone
// (lxg_general_only) into a buffer of room bytes; false, with a failure
// added, when they differ in output, status, counts or replacement mark, or
// either wrote past the room.
bool roads_agree(Env &e, uint16_t from, uint16_t to, const Bytes &src, size_t room) {
  struct Result {
    Bytes out;
    lxglo glo;
  } got[2];
  for (int general = 0; general < 2; ++general) {
    lxg_general_only = general;
    std::vector<uint16_t> buf(room / 2 + 16, 0x2323);
    char *out = reinterpret_cast<char *>(buf.data());
    size_t n = lxgcnv(out, cs(e, to), room, src.data(), cs(e, from), src.size(), &e.glo);
    got[general].out.assign(out, n);
    got[general].glo = e.glo;
    for (size_t k = room; k < room + 8; ++k)
      if (out[k] != '#') {
        ADD_FAILURE() << "written past the room";
        break;
      }
  }
  lxg_general_only = 0;
  const lxglo &a = got[0].glo, &b = got[1].glo;
  if (got[0].out != got[1].out || a.status != b.status || a.nbytes != b.nbytes ||
      a.nbytes2 != b.nbytes2 || a.ncount2 != b.ncount2 || a.repmark != b.repmark) {
    ADD_FAILURE() << from << " -> " << to << " room " << room << "\n  src " << hex(src)
                  << "\n  road    " << hex(got[0].out) << " status " << a.status << " consumed "
                  << a.nbytes << " chars " << a.nbytes2 << "/" << a.ncount2 << " mark " << a.repmark
                  << "\n  general " << hex(got[1].out) << " status " << b.status << " consumed "
                  << b.nbytes << " chars " << b.nbytes2 << "/" << b.ncount2 << " mark " << b.repmark;
    return false;
  }
  return true;
}

}  // namespace

// Every pair of AL32UTF8, AL16UTF16 (both orders) and a single-byte set,
// GB18030 with AL32UTF8, and the stateful sets into ordinary ones take
// dedicated loops in lxgcnv; with them turned off the results must be the
// same byte for byte: output, status, counts and replacement mark, and
// nothing written past the room.
TEST_F(Conv, DedicatedLoopsEqualTheGeneralLoop) {
  child([](Env &e) {
    // sources first; US7ASCII lacks most Latin characters
    const uint16_t sets[] = {AL32UTF8, AL16UTF16, AL16UTF16LE, LATIN1, GB18030, ISO2022JP,
                             ISO2022KR, ISO2022CN, HZ, UTF8, US7ASCII};
    const size_t nsources = 9, nsets = sizeof sets / sizeof sets[0];
    std::mt19937 rng(20261211);
    int failures = 0;
    for (int round = 0; round < 40000 && failures < 5; ++round) {
      uint16_t from = sets[rng() % nsources], to = sets[rng() % nsets];
      if (from == to) continue;
      size_t units = rng() % 4 == 0 ? rng() % 8 : rng() % 300;
      Bytes src;
      if (from == GB18030 || from == ISO2022JP || from == ISO2022KR || from == ISO2022CN || from == HZ) {
        // text of every length, with stray bytes put in: digits and lead
        // bytes for GB18030, escapes, shifts and "~" for the stateful sets
        src = convert(e, from, random_text(rng, AL32UTF8, units), AL32UTF8);
        static const char stray[] = {'\x1b', '\x0e', '\x0f', '~', '{', '$', ')', '\x81', '0'};
        for (int k = rng() % 4; k > 0 && !src.empty(); --k)
          src.insert(src.begin() + static_cast<long>(rng() % src.size()),
                     from == GB18030 ? static_cast<char>(rng() % 2 ? 0x81 + rng() % 0x7E : 0x30 + rng() % 10)
                                     : stray[rng() % sizeof stray]);
        if (rng() % 4 == 0 && !src.empty()) src.pop_back();
      } else {
        src = random_text(rng, from, units);
      }
      size_t room = rng() % 3 == 0 ? rng() % 12 : rng() % (src.size() * 3 + 8);
      if (!roads_agree(e, from, to, src, room)) ++failures;
    }
  });
}

namespace {

// Text for the stateful and GB18030 sets: ASCII words and line ends, "~",
// runs of kana, Hangul, CJK ideographs and Latin letters (a set switch at
// every change), characters outside BMP, and now and then an invalid byte.
Bytes cjk_text(std::mt19937 &rng, size_t runs) {
  auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
  Bytes s;
  auto utf8 = [&](uint32_t c) { append_utf8(s, c); };
  static const uint32_t kBlocks[][2] = {{0x20, 0x5F},    {0x3041, 0x5E}, {0x30A1, 0x5E},
                                        {0xAC00, 0x2BA4}, {0x4E00, 0x51A6}, {0xA0, 0x60},
                                        {0x391, 0x40},   {0x10000, 0x1000}};
  for (size_t r = 0; r < runs; ++r) {
    const auto &b = kBlocks[pick(sizeof kBlocks / sizeof kBlocks[0])];
    for (uint32_t k = 1 + pick(12); k > 0; --k) utf8(b[0] + pick(b[1]));
    if (pick(8) == 0) s += pick(2) ? '\n' : '~';
    if (pick(40) == 0) s += static_cast<char>(0x80 + pick(0x80));
  }
  return s;
}

}  // namespace

// The roads of the stateful and GB18030 sets on long text, where the pairs
// memo of the decoder and the ASCII probes start: both directions, with
// stray sequence bytes in the sources and rooms that end anywhere.
TEST_F(Conv, StatefulAndGb18030RoadsEqualTheGeneralLoopOnLongText) {
  child([](Env &e) {
    const uint16_t sets[] = {ISO2022JP, ISO2022KR, ISO2022CN, HZ, GB18030};
    std::mt19937 rng(20261212);
    int failures = 0;
    for (int round = 0; round < 200 && failures < 5; ++round) {
      const uint16_t set = sets[rng() % (sizeof sets / sizeof sets[0])];
      const Bytes text = cjk_text(rng, 200 + rng() % 1500);
      Bytes src = text;
      uint16_t from = AL32UTF8, to = set;
      if (rng() % 2) {
        src = convert(e, set, text, AL32UTF8, 4 * text.size());
        static const char stray[] = {'\x1b', '\x0e', '\x0f', '~', '{', '$', ')', '\x81', '0'};
        for (int k = rng() % 6; k > 0 && !src.empty(); --k)
          src.insert(src.begin() + static_cast<long>(rng() % src.size()), stray[rng() % sizeof stray]);
        std::swap(from, to);
      }
      const size_t full = 4 * src.size() + 16;
      const size_t room = rng() % 2 ? full : rng() % full;
      if (!roads_agree(e, from, to, src, room)) ++failures;
    }
  });
}

// ---- Resumability: every two-piece split against the whole conversion -----------

namespace {

struct Piecewise {
  Bytes out;
  bool ok = true;
  std::string why;
};

// Feeds src[0..cut) and src[cut..) through rooms of `room` bytes, all in mode
// 0, then closes with mode-1 calls on an empty source.
Piecewise pieces(Env &e, const lxcsobj *d, const lxcsobj *s, const Bytes &src, size_t cut, uint32_t room) {
  Piecewise r;
  e.glo.carry = {};
  alignas(8) char buf[64];
  const void *p = src.data();
  auto feed = [&](uint32_t len, uint16_t mode) {
    uint32_t left = len;
    for (int guard = 0; guard < 4000; ++guard) {
      memset(buf, '#', sizeof buf);
      int32_t n = lxgcvp(buf, d, room, &p, s, &left, mode, &e.glo);
      if (n < 0 || static_cast<uint32_t>(n) > room) {
        r.ok = false;
        r.why = "result " + std::to_string(n);
        return;
      }
      for (size_t i = room; i < sizeof buf; ++i)
        if (buf[i] != '#') {
          r.ok = false;
          r.why = "written past dstlen";
          return;
        }
      r.out.append(buf, static_cast<size_t>(n));
      bool busy = left > 0 || e.glo.carry.npending > 0 || (mode != 0 && e.glo.status == LXG_ST_SMALL);
      if (!busy) return;
    }
    r.ok = false;
    r.why = "no progress";
  };
  feed(static_cast<uint32_t>(cut), 0);
  if (r.ok) feed(static_cast<uint32_t>(src.size() - cut), 0);
  if (r.ok) feed(0, 1);
  return r;
}

}  // namespace

namespace {
uint32_t min_room(uint16_t to) {
  switch (to) {
    case UCS: case UTF8: return 2;
    case ISO2022JP: case ISO2022KR: case ISO2022CN: case HZ: case JIS7: return 4;
    default: return 1;
  }
}
}  // namespace

TEST_F(Conv, EveryTwoPieceSplitGivesTheWholeConversion) {
  child([](Env &e) {
    const uint16_t sets[] = {LATIN1, UTF8,      AL32UTF8,  AL16UTF16, AL16UTF16LE, UCS,  KOSHIFT,
                             ISO2022JP, ISO2022KR, ISO2022CN, HZ,        JIS7,        GB18030};
    const uint32_t rooms[] = {1, 2, 3, 5, 8};
    size_t k = 0;
    for (uint16_t from : sets) {
      for (uint16_t to : sets) {
        if (from == to && from != UCS) continue;
        const auto &c = kConvCases[k++ % (sizeof kConvCases / sizeof kConvCases[0])];
        Bytes text(c.text, c.tlen);
        Bytes src = convert(e, from, text, AL32UTF8);
        if (src.size() > 48) src = convert(e, from, text.substr(0, 24), AL32UTF8);
        Bytes whole = convert(e, to, src, from);
        bool stateful_to = to == ISO2022JP || to == ISO2022KR || to == ISO2022CN || to == HZ || to == JIS7;
        Bytes want = stateful_to ? convert(e, AL32UTF8, whole, to) : whole;
        int fails = 0;
        for (size_t cut = 0; cut <= src.size() && fails < 3; ++cut) {
          for (uint32_t room : rooms) {
            // an output character must fit this room and the pending bytes
            if (room < min_room(to)) continue;
            Piecewise r = pieces(e, cs(e, to), cs(e, from), src, cut, room);
            Bytes got = stateful_to ? convert(e, AL32UTF8, r.out, to) : r.out;
            if (!r.ok || got != want) {
              ADD_FAILURE() << from << " -> " << to << " cut " << cut << " room " << room << ": "
                            << r.why << "\n  src  " << hex(src) << "\n  want " << hex(want)
                            << "\n  got  " << hex(got);
              ++fails;
              break;
            }
          }
        }
      }
    }
  });
}

// The whole-string conversion of the stateful and GB18030 sets takes its
// roads on text this long; resumable calls (the general step) over every
// two-piece split must give the same text.
TEST_F(Conv, StatefulRoadsAgreeWithResumablePieces) {
  child([](Env &e) {
    const uint16_t sets[] = {ISO2022JP, ISO2022KR, ISO2022CN, HZ, GB18030};
    std::mt19937 rng(20261213);
    for (uint16_t set : sets) {
      for (int dir = 0; dir < 2; ++dir) {
        const Bytes text = convert(e, AL32UTF8, convert(e, set, cjk_text(rng, 12), AL32UTF8), set);
        const uint16_t utf8 = AL32UTF8, from = dir ? set : utf8, to = dir ? utf8 : set;
        const Bytes src = dir ? convert(e, set, text, AL32UTF8) : text;
        ASSERT_GE(src.size(), 64u) << set;
        const Bytes whole = convert(e, to, src, from);
        const bool stateful_to = to != AL32UTF8 && to != GB18030;
        const Bytes want = stateful_to ? convert(e, AL32UTF8, whole, to) : whole;
        int fails = 0;
        for (size_t cut = 0; cut <= src.size() && fails < 3; ++cut) {
          Piecewise r = pieces(e, cs(e, to), cs(e, from), src, cut, 8);
          Bytes got = stateful_to ? convert(e, AL32UTF8, r.out, to) : r.out;
          if (!r.ok || got != want) {
            ADD_FAILURE() << from << " -> " << to << " cut " << cut << ": " << r.why << "\n  src  "
                          << hex(src) << "\n  want " << hex(want) << "\n  got  " << hex(got);
            ++fails;
          }
        }
      }
    }
  });
}

// ---- Whole-string conversion of long text (ASCII runs) ---------------------------

TEST_F(Conv, LongTextAgainstIconv) {
  child([](Env &e) {
    Bytes latin, bmp;
    for (int k = 0; k < 40; ++k) {
      latin += "plain ASCII words, then caf\xc3\xa9 na\xc3\xafve \xc3\x9f\xc3\xbf ";
      bmp += "ASCII run " + std::to_string(k) + " \xe6\x97\xa5\xe6\x9c\xac \xd0\x96 \xc3\xa9\n";
    }
    const struct {
      uint16_t id;
      const char *iconv_name;
      const Bytes *text;
    } cases[] = {{LATIN1, "ISO-8859-1", &latin}, {AL16UTF16, "UTF-16BE", &bmp},
                 {AL16UTF16LE, "UTF-16LE", &bmp},  {UTF8, "UTF-8", &bmp},
                 {AL16UTF16, "UTF-16BE", &latin}, {LATIN1, "ISO-8859-1", &latin}};
    for (const auto &c : cases) {
      Bytes want = iconv_conv(c.iconv_name, "UTF-8", *c.text);
      ASSERT_FALSE(want.empty()) << c.iconv_name;
      EXPECT_EQ(convert(e, c.id, *c.text, AL32UTF8, 4 * c.text->size()), want) << c.iconv_name;
      EXPECT_EQ(e.glo.nbytes, c.text->size());
      EXPECT_EQ(e.glo.repmark, 0);
      EXPECT_EQ(convert(e, AL32UTF8, want, c.id, 4 * want.size()), *c.text) << c.iconv_name;
      // an output that ends inside an ASCII run: whole characters, status 6
      size_t room = want.size() / 2 + 1;
      Bytes part = convert(e, c.id, *c.text, AL32UTF8, room);
      EXPECT_EQ(e.glo.status, 6u);
      EXPECT_EQ(part, want.substr(0, part.size()));
      EXPECT_LE(part.size(), room);
      EXPECT_EQ(convert(e, c.id, c.text->substr(0, e.glo.nbytes), AL32UTF8, 4 * c.text->size()), part);
    }
    // characters the destination lacks, between ASCII runs
    Bytes lossy = convert(e, LATIN1, bmp, AL32UTF8, 4 * bmp.size());
    EXPECT_EQ(e.glo.repmark, 1000);
    EXPECT_EQ(lossy.substr(0, 14), "ASCII run 0 ??");
  });
}
