// The print engine under a formatting context: the grammar's edge cases,
// every result code with its record, integers against glibc's snprintf,
// numbers against Python's decimal, multibyte and shift-sensitive formats,
// and UTF-16 contexts. Every test runs in a child over a written
// installation.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "lsfp_fixture.h"

using namespace lsfpfix;
using nlstest::Env;

namespace {

class Lsfp : public Installed {};

lsf_ctx *ascii_context(Product &p, Env &e, lxlangid &h, int flags = 0) {
  h = nlsfix::handle(e, "AMERICAN_AMERICA.US7ASCII");
  lsf_ctx *ctx = p.context(&h, &e.glo, flags);
  EXPECT_NE(ctx, nullptr);
  return ctx;
}

}  // namespace

TEST_F(Lsfp, EdgeCasesOfTheGrammar) {
  child([](Env &e) {
    Product p;
    lxlangid h;
    lsf_ctx *c = ascii_context(p, e, h);
    int64_t i42 = 42, i5 = 5, i7 = 7, i255 = 255, i8 = 8, m6 = -6, m1 = -1, one = 1;
    int8_t eb = -1, sb = -1;
    int64_t sb8 = -3;
    uint32_t ub4 = 321;
    const char *two = "two", *first = "one";
    uint64_t zero_len = 0;
    const char *txt = "abc";
    uint8_t bytes[] = {1, 171};
    void *ptr = reinterpret_cast<void *>(uintptr_t{0xbeef});
    uint64_t nbytes = 2;
    struct Case {
      Out got;
      int r;
      const char *text;
    } cases[] = {
        {print(c, 100, "%(2)s %(1)s", LSFTXTP, first, LSFTXTP, two), 7, "two one"},
        {print(c, 100, "%(0)s", LSFTXTP, first), LSFP_EPOS, ""},
        {print(c, 100, "%(3)s", LSFTXTP, first, LSFTXTP, two), LSFP_EMISSING, ""},
        {print(c, 100, "%--d", LSFIVALUE, i5), LSFP_EFLAG, ""},
        {print(c, 100, "%+ d", LSFIVALUE, i5), 2, "+5"},
        {print(c, 100, "%-05d", LSFIVALUE, i42), 5, "00042"},
        {print(c, 100, "%*d", LSFIVALUE, m6, LSFIVALUE, i42), 6, "42    "},
        {print(c, 100, "%.*d", LSFIVALUE, m1, LSFIVALUE, i42), LSFP_EPREC, ""},
        {print(c, 100, "%.d", LSFIVALUE, i42), LSFP_EPREC, ""},
        {print(c, 100, "%5.3d", LSFIVALUE, i7), 5, "  007"},
        {print(c, 100, "%#x", LSFIVALUE, i255), 4, "0xff"},
        {print(c, 100, "%#X", LSFIVALUE, i255), 4, "0XFF"},
        {print(c, 100, "%#o", LSFIVALUE, i8), 3, "010"},
        {print(c, 100, "%d", LSFEB1, &eb), 20, "18446744073709551615"},
        {print(c, 100, "%d", LSFSB1, &sb), 2, "-1"},
        {print(c, 100, "%u", LSFSB8, &sb8), 2, "-3"},
        {print(c, 100, "%c", LSFUB4, &ub4), 1, "A"},
        {print(c, 100, "%5c", LSFUB4, &ub4), 1, "A"},
        {print(c, 100, "[%5s]", LSFTXTLN, txt, &zero_len), 2, "[]"},
        {print(c, 100, "%3m", LSFBUFLN, bytes, &nbytes), 7, "  1  ab"},
        {print(c, 100, "%02M", LSFBUFLN, bytes, &nbytes), 5, "01 AB"},
        {print(c, 100, "%ld", LSFIVALUE, i42), 2, "42"},
        {print(c, 100, "%lld", LSFIVALUE, i42), LSFP_ECONV, ""},
        {print(c, 100, "%00d", LSFIVALUE, i42), LSFP_EFLAG, ""},
        {print(c, 100, "%q", LSFIVALUE, i42), LSFP_ECONV, ""},
        {print(c, 100, "ab%", LSFIVALUE, i42), LSFP_ECONV, "ab"},
        {print(c, 5, "abcdef"), LSFP_EFULL, "abcde"},
        {print(c, 5, "abcd"), 4, "abcd"},
        {print(c, 100, "100%%"), 4, "100%"},
        {print(c, 100, "%s-%05d: %s", LSFTXTP, "VUV", LSFIVALUE, i42, LSFTXTP, "text"), 15,
         "VUV-00042: text"},
        {print(c, 100, "%(2)d %(1)d %d", LSFIVALUE, one, LSFIVALUE, i5), 5, "5 1 1"},
        {print(c, 100, "%p|%P|%8p", LSFDVOID, ptr, LSFDVOID, ptr, LSFDVOID, ptr), 22,
         "0xbeef|0XBEEF|  0xbeef"},
        {print(c, 100, "%s", LSFDVOID, ptr), 6, "0xbeef"},
    };
    for (const auto &k : cases) {
      EXPECT_EQ(k.got.r, k.r) << "case " << (&k - cases);
      EXPECT_EQ(k.got.text, k.text) << "case " << (&k - cases);
    }
    lsfcln(c);
  });
}

TEST_F(Lsfp, ExactFillHasNoTerminatorAndNegativeLengthEndsWithNul) {
  child([](Env &e) {
    Product p;
    lxlangid h;
    lsf_ctx *c = ascii_context(p, e, h);
    char buf[16];
    std::memset(buf, '~', sizeof buf);
    EXPECT_EQ(lsfp(c, buf, 4, "abcd", LSFEND), 4);
    EXPECT_EQ(std::string(buf, 5), "abcd~");
    std::memset(buf, '~', sizeof buf);
    EXPECT_EQ(lsfp(c, buf, 6, "ab", LSFEND), 2);
    EXPECT_EQ(std::string(buf, 7), std::string("ab\0\0\0\0~", 7));  // zero-filled over its length
    std::memset(buf, '~', sizeof buf);
    EXPECT_EQ(lsfp(c, buf, -1, "abc", LSFEND), 3);
    EXPECT_EQ(std::string(buf, 5), std::string("abc\0~", 5));
    lsfcln(c);
  });
}

// Decided faults: positions, widths and precisions are read whole; %c and
// "*" are checked; long formats are copied whole; types 28, 32, 33 print.
TEST_F(Lsfp, WholeNumbersRoomChecksAndLengthBoundTexts) {
  child([](Env &e) {
    Product p;
    lxlangid h;
    lsf_ctx *c = ascii_context(p, e, h, LSF_FLAG_RECORD);
    int64_t one = 1;
    Out o = print(c, 100, "%(257)d", LSFIVALUE, one);
    EXPECT_EQ(o.r, LSFP_EMISSING);
    EXPECT_EQ(p.newest(), LSF_NOPOSARG);
    o = print(c, 400, "%300d", LSFIVALUE, one);
    EXPECT_EQ(o.r, 300);
    EXPECT_EQ(o.text, std::string(299, ' ') + "1");
    o = print(c, 400, "%.260d", LSFIVALUE, one);
    EXPECT_EQ(o.r, 260);
    EXPECT_EQ(o.text, std::string(259, '0') + "1");
    o = print(c, 100, "%99999999999d", LSFIVALUE, one);
    EXPECT_EQ(o.r, LSFP_EWIDTH);
    EXPECT_EQ(p.newest(), LSF_BADWIDTH);
    uint32_t ch = 'Z';
    o = print(c, 2, "ab%c", LSFUB4, &ch);
    EXPECT_EQ(o.r, LSFP_EFULL);
    EXPECT_EQ(o.text, "ab");
    EXPECT_EQ(p.newest(), LSF_BUFFULL);
    o = print(c, 100, "%*d", LSFIVALUE, one);
    EXPECT_EQ(o.r, LSFP_EMISSING);
    EXPECT_EQ(p.newest(), LSF_NONEXT);
    o = print(c, 100, "%(1)*d", LSFIVALUE, one);
    EXPECT_EQ(o.r, LSFP_EMISSING);
    EXPECT_EQ(p.newest(), LSF_NOPOSARG);
    // a format beyond the stack copy
    std::string big(3000, 'x');
    big += "%d";
    int64_t v = 77;
    std::vector<char> buf(4000);
    EXPECT_EQ(lsfp(c, buf.data(), 4000, big.c_str(), LSFIVALUE, v, LSFEND), 3002);
    EXPECT_EQ(std::string(buf.data() + 2990), "xxxxxxxxxx77");
    // length-bound texts and buffers without a terminator of their own
    const char data[] = {'a', 'b', 'c', 'd'};
    int64_t len3 = 3;
    o = print(c, 100, "[%s|%s|%m]", LSFBIGTXTLN, data, &len3, LSFBIGDPTXT, data, &len3,
              LSFBIGBUFLN, data, &len3);
    EXPECT_EQ(o.r, 18);
    EXPECT_EQ(o.text, "[abc|abc|61 62 63]");
    lsfcln(c);
  });
}

// Each result code and the record it leaves with "record errors"; without
// it the stack stays as it was.
TEST_F(Lsfp, ResultCodesAndTheirRecords) {
  child([](Env &e) {
    for (int flags : {int(LSF_FLAG_RECORD), 0}) {
      Product p;
      lxlangid h;
      lsf_ctx *c = ascii_context(p, e, h, flags);
      int64_t i = 1;
      double d = 1.5;
      const char *t = "t";
      uint8_t num[] = {0xC1, 0xFF};  // a digit out of range
      struct Case {
        std::function<Out()> run;
        int r, record;
      } cases[] = {
          {[&] { return print(c, 100, "%d", LSFDBLP, &d); }, LSFP_ECLASS, LSF_BADTYPE},
          {[&] { return print(c, 100, "%d", LSFFLTP, &d); }, LSFP_ECLASS, LSF_BADTYPE},
          {[&] { return print(c, 100, "%q", LSFIVALUE, i); }, LSFP_ECONV, LSF_BADCONV},
          {[&] { return print(c, 100, "%++d", LSFIVALUE, i); }, LSFP_EFLAG, LSF_FLAGTWICE},
          {[&] { return print(c, 100, "%(0)d", LSFIVALUE, i); }, LSFP_EPOS, LSF_POSBELOW1},
          {[&] { return print(c, 100, "%(x)d", LSFIVALUE, i); }, LSFP_EPOS, LSF_BADPOSNUM},
          {[&] { return print(c, 100, "%d %d", LSFIVALUE, i); }, LSFP_EMISSING, LSF_NONEXT},
          {[&] { return print(c, 100, "%(2)d", LSFIVALUE, i); }, LSFP_EMISSING, LSF_NOPOSARG},
          {[&] { return print(c, 100, "%(1d", LSFIVALUE, i); }, LSFP_EPAREN, LSF_NOPAREN},
          {[&] { return print(c, 100, "%.x", LSFIVALUE, i); }, LSFP_EPREC, LSF_BADPREC},
          {[&] { return print(c, 100, "%f", LSFTXTP, t); }, LSFP_ECLASS, LSF_BADTYPE},
          {[&] { return print(c, 2, "%5d", LSFIVALUE, i); }, LSFP_EFULL, LSF_BUFFULL},
          {[&] { return print(c, 100, "%f", LSFORANUM, num, 2); }, LSFP_ENUMBER, LSF_INTERNAL},
          {[&] { return print(c, 100, "%s", LSFTXTP, nullptr); }, LSFP_ENULL, LSF_INTERNAL},
      };
      for (const auto &k : cases) {
        const unsigned before = p.depth();
        Out o = k.run();
        EXPECT_EQ(o.r, k.r) << "case " << (&k - cases);
        if (flags)
          EXPECT_EQ(p.newest(), k.record) << "case " << (&k - cases);
        else
          EXPECT_EQ(p.depth(), before) << "case " << (&k - cases);
      }
      // an entry of a type that nothing prints (a list made by hand)
      lsf_entry ents[2] = {};
      ents[0].type = 24;
      lsf_arglist hand{};
      hand.entries = ents;
      lsf_handle handle = &hand;
      char buf[8];
      EXPECT_EQ(lsfpd(c, buf, 8, "%d", &handle), LSFP_EBADTYPE);
      if (flags) {
        EXPECT_EQ(p.newest(), LSF_BADTYPE);
      }
      // no argument list at all
      EXPECT_EQ(lsfpd(c, buf, 8, "%d", nullptr), LSFP_ENOLIST);
      EXPECT_EQ(lsfpd(c, buf, 8, "ok", nullptr), 2);
      lsfcln(c);
      EXPECT_EQ(p.blocks(), 0);
    }
  });
}

// d, i, o, x over flags, widths and precisions against glibc where the two
// sets of rules agree: no "#" with o or x of 0 (the engine always prints the
// prefix), no "+" or " " with unsigned conversions, no zero precision of 0.
TEST_F(Lsfp, IntegersAgreeWithSnprintf) {
  child([](Env &e) {
    Product p;
    lxlangid h;
    lsf_ctx *c = ascii_context(p, e, h);
    const int64_t values[] = {0, 1, -1, 42, -42, 255, 65536, INT64_MAX, INT64_MIN, 1234567890123};
    const char *flag_sets[] = {"", "-", "+", " ", "0", "#", "-+", "+0", " 0", "-#", "0#"};
    const char *widths[] = {"", "1", "5", "25"};
    const char *precs[] = {"", ".1", ".4", ".22"};
    int checked = 0;
    for (char conv : {'d', 'i', 'o', 'x', 'X'}) {
      for (const char *f : flag_sets) {
        const bool alt = std::strchr(f, '#') != nullptr;
        const bool sign = std::strchr(f, '+') || std::strchr(f, ' ');
        if (alt && (conv == 'd' || conv == 'i')) continue;
        if (sign && conv != 'd' && conv != 'i') continue;
        for (const char *w : widths)
          for (const char *pr : precs)
            for (int64_t v : values) {
              if (alt && v == 0) continue;
              if (conv != 'd' && conv != 'i' && v < 0) continue;
              // glibc ignores "0" with a precision; the engine keeps it
              if (std::strchr(f, '0') && *pr) continue;
              // glibc lets "-" win over "0"; the engine lets "0" win
              if (std::strchr(f, '0') && std::strchr(f, '-')) continue;
              // "#" with o: glibc adds the 0 only when the digits lack one
              if (alt && conv == 'o' && *pr) continue;
              std::string ours = std::string("%") + f + w + pr + conv;
              std::string theirs = std::string("%") + f + w + pr + "ll" + conv;
              char want[128];
              std::snprintf(want, sizeof want, theirs.c_str(), (long long)v);
              Out got = print(c, 128, ours.c_str(), LSFIVALUE, v);
              EXPECT_EQ(got.text, want) << ours << " of " << v;
              EXPECT_EQ(got.r, int(std::strlen(want))) << ours << " of " << v;
              ++checked;
            }
      }
    }
    EXPECT_GT(checked, 1000);
    lsfcln(c);
  });
}

// f, e and g against Python's decimal: the value rounded to 15 significant
// digits, then to the precision, both ROUND_HALF_UP (tools/lsf/numcases.py).
TEST_F(Lsfp, NumbersAgreeWithDecimal) {
  child([](Env &e) {
    Product p;
    lxlangid h;
    lsf_ctx *c = ascii_context(p, e, h);
    struct Case {
      const char *fmt;
      double v;
      const char *want;
    } cases[] = {
#include "numcases.inc"
    };
    for (const auto &k : cases) {
      Out got = print(c, 200, k.fmt, LSFDBLP, &k.v);
      EXPECT_EQ(got.text, k.want) << k.fmt << " of " << k.v;
    }
    lsfcln(c);
  });
}

TEST_F(Lsfp, NumberSpecialValuesAndArguments) {
  child([](Env &e) {
    Product p;
    lxlangid h;
    lsf_ctx *c = ascii_context(p, e, h);
    double inf = 1.0 / 0.0, ninf = -inf, nan = 0.0 / 0.0, big = 1e126, x = 2.5;
    float fl = 0.25f;
    EXPECT_EQ(print(c, 50, "[%f]", LSFDBLP, &inf).text, "[~]");
    EXPECT_EQ(print(c, 50, "[%4f]", LSFDBLP, &ninf).text, "[  -~]");
    EXPECT_EQ(print(c, 50, "[%-4f]", LSFDBLP, &inf).text, "[~   ]");
    EXPECT_EQ(print(c, 50, "[%f]", LSFDBLP, &big).text, "[~]");
    // lnxren takes a NaN as positive infinity
    EXPECT_EQ(print(c, 50, "[%3f]", LSFDBLP, &nan).text, "[  ~]");
    EXPECT_EQ(print(c, 50, "%s", LSFDBLP, &x).text, "2.500000");
    EXPECT_EQ(print(c, 50, "%.2f", LSFFLTP, &fl).text, "0.25");
    EXPECT_EQ(print(c, 50, "%.1f", LSFDVOID, &x).text, "2.5");
    EXPECT_EQ(print(c, 50, "%E", LSFDBLP, &x).text, "2.500000E+00");
    EXPECT_EQ(print(c, 50, "%+08.2f", LSFDBLP, &x).text, "+0002.50");
    // NUMBER arguments: 123.456, -2.5 and the two infinities
    uint8_t n1[] = {0xC2, 0x02, 0x18, 0x2E, 0x3D}, n2[] = {0x3E, 0x63, 0x33, 0x66};
    uint8_t n3[] = {5, 0xC2, 0x02, 0x18, 0x2E, 0x3D};  // prefixed form
    uint8_t pinf[] = {0xFF, 0x65}, ninfn[] = {0x00};
    EXPECT_EQ(print(c, 50, "%.3f", LSFORANUM, n1, 5).text, "123.456");
    EXPECT_EQ(print(c, 50, "%.2f", LSFORANUM, n2, 4).text, "-2.50");
    EXPECT_EQ(print(c, 50, "%.1f", LSFORANUM, n3, 0).text, "123.5");
    EXPECT_EQ(print(c, 50, "%f|%f", LSFORANUM, pinf, 2, LSFORANUM, ninfn, 1).text, "~|-~");
    lsfcln(c);
  });
}

// A process that never called anything but the print engine's own set-up
// prints doubles and NUMBERs, and an invalid NUMBER fails.
TEST_F(Lsfp, NumbersWithNoSetUpOfTheirOwn) {
  child([](Env &e) {
    Product p;
    lxlangid h;
    lsf_ctx *c = ascii_context(p, e, h, LSF_FLAG_RECORD);
    double x = 2.5, inf = 1.0 / 0.0;
    uint8_t n1[] = {0xC2, 0x02, 0x18, 0x2E, 0x3D}, bad[] = {0xC1, 0x01};
    EXPECT_EQ(print(c, 50, "[%f]", LSFDBLP, &x).text, "[2.500000]");
    EXPECT_EQ(print(c, 50, "[%4.1e]", LSFDBLP, &inf).text, "[   ~]");
    EXPECT_EQ(print(c, 50, "[%-3g]", LSFORANUM, n1, 5).text, "[123.456000]");
    for (const char *fmt : {"[%s]", "[%f]", "[%e]", "[%g]"}) {
      const auto r = print(c, 50, fmt, LSFORANUM, bad, 2);
      EXPECT_EQ(r.r, LSFP_ENUMBER) << fmt;
      EXPECT_EQ(p.newest(), LSF_INTERNAL) << fmt;
    }
    lsfcln(c);
  });
}

// Formats whose special characters and digits are full-width characters,
// and literal double-byte text, in JA16SJIS.
TEST_F(Lsfp, MultibyteFormats) {
  child([](Env &e) {
    Product p;
    lxlangid h = nlsfix::handle(e, "AMERICAN_AMERICA.JA16SJIS");
    lsf_ctx *c = p.context(&h, &e.glo, 0);
    ASSERT_NE(c, nullptr);
    const char *a = "A", *b = "B";
    int64_t v = 7;
    // ％（２）ｓ-％（１）ｓ
    std::string fmt = "\x81\x93\x81\x69\x82\x51\x81\x6A\x82\x93-\x81\x93\x81\x69\x82\x50\x81\x6A\x82\x93";
    EXPECT_EQ(print(c, 50, fmt.c_str(), LSFTXTP, a, LSFTXTP, b).text, "B-A");
    // %３d: a full-width width digit, literal double-byte characters around
    std::string fmt2 = "\x93\xfa%\x82\x52" "d\x96\x7b";
    EXPECT_EQ(print(c, 50, fmt2.c_str(), LSFIVALUE, v).text, "\x93\xfa  7\x96\x7b");
    // a lead byte cut off by the end of the format ends it
    EXPECT_EQ(print(c, 50, "ab\x93").text, "ab");
    EXPECT_EQ(print(c, 50, "ab%\x93", LSFIVALUE, v).r, LSFP_ECONV);
    // a double-byte character that does not fit whole is not split
    Out o = print(c, 3, "ab\x93\xfa");
    EXPECT_EQ(o.r, LSFP_EFULL);
    EXPECT_EQ(o.text, "ab");
    lsfcln(c);
  });
}

TEST_F(Lsfp, ShiftSensitiveOutput) {
  child([](Env &e) {
    Product p;
    lxlangid h = nlsfix::handle(e, "AMERICAN_AMERICA.TESTSHIFT");
    lsf_ctx *c = p.context(&h, &e.glo, 0);
    ASSERT_NE(c, nullptr);
    int64_t v = 5;
    const char *t = "\x0E\x93\xfa\x0F";
    // shifted-out text before a conversion: the number is written after a shift-in
    EXPECT_EQ(print(c, 50, "\x0E\x93\xfa\x0F%d", LSFIVALUE, v).text, "\x0E\x93\xfa\x0F" "5");
    // a format ending shifted out gets its shift-in
    Out o = print(c, 50, "%d\x0E\x93\xfa", LSFIVALUE, v);
    EXPECT_EQ(o.text, "5\x0E\x93\xfa\x0F");
    EXPECT_EQ(o.r, 5);
    EXPECT_EQ(print(c, 50, "[%s]", LSFTXTP, t).text, "[\x0E\x93\xfa\x0F]");
    // no room for the closing shift-in
    EXPECT_EQ(print(c, 4, "a\x0E\x93\xfa").r, LSFP_EFULL);
    lsfcln(c);
  });
}

TEST_F(Lsfp, Utf16Context) {
  child([](Env &e) {
    Product p;
    lxlangid h = nlsfix::handle(e, "AMERICAN_AMERICA.US7ASCII");
    lsf_ctx *c = p.context(&h, &e.glo, LSF_FLAG_UTF16);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->priv->lang.cs, nlsfix::UTF8);
    const char16_t fmt[] = u"%s=%d \u65e5";
    const char16_t arg[] = u"\u00e4x";
    int64_t v = 42;
    char16_t out[32];
    std::memset(out, 0x55, sizeof out);
    int r = lsfp(c, out, 32, fmt, LSFTXTP, arg, LSFIVALUE, v, LSFEND);
    EXPECT_EQ(r, 7);
    EXPECT_EQ(std::u16string(out, size_t(r > 0 ? r : 0)), u"\u00e4x=42 \u65e5");
    EXPECT_EQ(out[7], 0);
    // units that do not fit the caller's length
    EXPECT_EQ(lsfp(c, out, 3, fmt, LSFTXTP, arg, LSFIVALUE, v, LSFEND), LSFP_EFULL);
    // no limit: the units and a zero unit
    std::memset(out, 0x55, sizeof out);
    r = lsfp(c, out, -1, u"ab%dcd", LSFIVALUE, v, LSFEND);
    EXPECT_EQ(r, 6);
    EXPECT_EQ(std::u16string(out), u"ab42cd");
    lsfcln(c);
    EXPECT_EQ(p.blocks(), 0);
  });
}

// Random formats over every kind of argument never write past the length
// given, and report it when they fill it (the sanitizer trees check reads).
TEST_F(Lsfp, RandomFormatsStayInTheirBuffer) {
  child([](Env &e) {
    Product p;
    for (const char *name : {"AMERICAN_AMERICA.US7ASCII", "AMERICAN_AMERICA.JA16SJIS",
                             "AMERICAN_AMERICA.TESTSHIFT", "AMERICAN_AMERICA.UTF8"}) {
      lxlangid h = nlsfix::handle(e, name);
      lsf_ctx *c = p.context(&h, &e.glo, LSF_FLAG_RECORD);
      ASSERT_NE(c, nullptr);
      const char alphabet[] = "%%%%()-+ *0#.hl123456789diuoxcsmfegpXEGq\x81\x93\x82\x54\x0E\x0F\x93\xfa\xe6\x97";
      unsigned seed = 12345;
      auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
      int64_t iv = -12345;
      double dv = 3.25;
      const char *tv = "text";
      uint8_t bv[] = {1, 2, 3};
      uint64_t bl = 3;
      for (int round = 0; round < 3000; ++round) {
        char fmt[24];
        size_t n = next() % (sizeof fmt - 1);
        for (size_t k = 0; k < n; ++k) fmt[k] = alphabet[next() % (sizeof alphabet - 1)];
        fmt[n] = 0;
        int len = int(next() % 40);
        char buf[64];
        std::memset(buf, 0x5A, sizeof buf);
        int r = lsfp(c, buf, len, fmt, LSFIVALUE, iv, LSFDBLP, &dv, LSFTXTP, tv, LSFBUFLN, bv, &bl,
                     LSFIVALUE, iv, LSFEND);
        EXPECT_LE(r, len) << fmt;
        for (size_t k = size_t(len); k < sizeof buf; ++k)
          ASSERT_EQ(buf[k], 0x5A) << "past the length: " << fmt << " len " << len;
      }
      lsfcln(c);
    }
  });
}

// Widths and precisions past what the NUMBER text's descriptor carries (one
// byte each) are honoured: Python's printf-style formatting is the oracle.
struct WideCase {
  const char *format;
  double value;
  const char *text;
};
constexpr WideCase kWide[] = {
#include "widecases.inc"
};

TEST_F(Lsfp, WideFieldsAgainstPython) {
  child([](Env &e) {
    Product p;
    lxlangid h;
    lsf_ctx *c = ascii_context(p, e, h, LSF_FLAG_RECORD);
    for (const WideCase &k : kWide) {
      double v = k.value;
      const auto r = print(c, 1000, k.format, LSFDBLP, &v);
      EXPECT_EQ(r.text, k.text) << k.format << " of " << k.value;
      EXPECT_EQ(r.r, int(std::strlen(k.text))) << k.format << " of " << k.value;
      // One byte short: the output is full, never a shorter text.
      const int need = int(std::strlen(k.text));
      const auto s = print(c, need - 1, k.format, LSFDBLP, &v);
      EXPECT_EQ(s.r, LSFP_EFULL) << k.format << " of " << k.value;
    }
    lsfcln(c);
  });
}
