// The date format compiler: its tables, the compiled bytes and errors of
// output and input formats, DL/DS/TS expansion, and the same formats read
// byte by byte (ASCII and EBCDIC), through cursors (UTF8, a shift-sensitive
// set, a single-byte set under a linguistic sort) and as UTF-16 units.
//
// The NLS installation is written with the object writer; every test body
// runs in a child with it. Errors come back through a longjmp callback.
#include <csetjmp>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ldx.h"
#include "ldxtest.h"
#include "lxh.h"
#include "ldxfmtinst.h"
#include "nlstest.h"
#include "objw_num.h"

namespace {

using namespace ldxfmtinst;

class Fmt : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { dir_ = ldxfmtinst::write(); }
  static void child(const std::function<void(nlstest::Env &)> &body) {
    nlstest::in_installation(dir_, body);
  }
  inline static std::string dir_;
};

lxlangid handle(nlstest::Env &e, const char *name) { return nlstest::lang_handle(e, name); }

// ---- compiling --------------------------------------------------------------

using Bytes = std::vector<uint8_t>;

// What a compile gave: the bytes written, or the error raised.
struct Result {
  int err = 0;
  Bytes bytes;
  bool operator==(const Result &o) const { return err == o.err && bytes == o.bytes; }
};

std::ostream &operator<<(std::ostream &os, const Result &r) {
  if (r.err) return os << "error " << r.err;
  for (uint8_t b : r.bytes) os << int(b) << ' ';
  return os;
}

enum class Kind { Output, Input };

Result compile(nlstest::Env &e, const lxlangid *h, const std::string &text, Kind kind = Kind::Output,
               uint8_t room = 255) {
  jmp_buf jb;
  ldx_ctx ctx;
  uint8_t out[256];
  std::memset(out, 0xEE, sizeof out);
  if (const int err = setjmp(jb)) return {err, {}};
  ldxnbeg(&ctx, h, ldxtest::jump, &jb, e.table, &e.glo);
  const auto n = (kind == Kind::Input ? ldxsti : ldxsto)(&ctx, text.data(), uint8_t(text.size()),
                                                         out, room);
  EXPECT_LE(n, room);
  EXPECT_EQ(out[n], 0xEE) << "written past the bytes reported";
  ldxend(&ctx);
  return {0, Bytes(out, out + n)};
}

// Expected bytes: e(code, flags) for elements, l(flags, text) for literals,
// end(flags) last.
struct Expect {
  Bytes b;
  Expect &e(int code, int flags) {
    b.push_back(uint8_t(code));
    b.push_back(uint8_t(flags));
    return *this;
  }
  Expect &l(int flags, const std::string &text) {
    b.push_back(uint8_t(LDX_LIT + text.size()));
    b.push_back(uint8_t(flags));
    b.insert(b.end(), text.begin(), text.end());
    return *this;
  }
  Result end(int flags) {
    e(LDX_END, flags);
    return {0, b};
  }
};
Result error(int err) { return {err, {}}; }

// ---- tables -------------------------------------------------------------------

TEST(LdxTables, NamesAreSortedWithTheirCodesAndLengths) {
  size_t rows = 0;
  for (const ldx_kwrow *r = ldxfda; r->len; ++r, ++rows) {
    EXPECT_EQ(strnlen(r->name, sizeof r->name), r->len) << rows;
    if (rows) {
      EXPECT_LT(std::string(r[-1].name, r[-1].len), std::string(r->name, r->len));
    }
    EXPECT_GE(r->code, LDX_CC);
    EXPECT_LE(r->code, LDX_TS);
    EXPECT_NE(r->code, LDX_LIT);
  }
  EXPECT_EQ(rows, size_t(LDX_NAMEROWS));
  // Every code but the literal and the spare has a name.
  for (int code = 1; code < LDX_NCODES - 1; ++code) {
    bool named = false;
    for (const ldx_kwrow *r = ldxfda; r->len; ++r) named |= r->code == code;
    EXPECT_EQ(named, code != LDX_LIT) << code;
  }
}

TEST(LdxTables, EbcdicTwinsAreCodePage037) {
  // The names encoded with Python's cp037 codec.
  static const char *const kCp037[LDX_NAMEROWS] = {
      "\xC1\x4B\xC4\x4B", "\xC1\x4B\xD4\x4B", "\xC1\xC4", "\xC1\xD4",
      "\xC2\x4B\xC3\x4B", "\xC2\xC3", "\xC3\xC3", "\xC4",
      "\xC4\xC1\xE8", "\xC4\xC4", "\xC4\xC4\xC4", "\xC4\xD3",
      "\xC4\xE2", "\xC4\xE8", "\xC5", "\xC5\xC5",
      "\xC6\xD4", "\xC6\xE7", "\xC8\xC8", "\xC8\xC8\xF1\xF2",
      "\xC8\xC8\xF2\xF4", "\xC9", "\xC9\xE6", "\xC9\xE8",
      "\xC9\xE8\xE8", "\xC9\xE8\xE8\xE8", "\xD1", "\xD4\xC9",
      "\xD4\xD4", "\xD4\xD6\xD5", "\xD4\xD6\xD5\xE3\xC8", "\xD5\xE8\xE8\xE8\xE8",
      "\xD7\x4B\xD4\x4B", "\xD7\xD4", "\xD8", "\xD9\xD4",
      "\xD9\xD9", "\xD9\xD9\xD9\xD9", "\xE2\xC3\xC3", "\xE2\xE2",
      "\xE2\xE2\xE2\xE2\xE2", "\xE2\xE8\x6B\xE8\xE8\xE8", "\xE2\xE8\xC5\xC1\xD9", "\xE2\xE8\xE8\xE8\xE8",
      "\xE3\xE2", "\xE6", "\xE6\xE6", "\xE8",
      "\xE8\x6B\xE8\xE8\xE8", "\xE8\xC5\xC1\xD9", "\xE8\xE8", "\xE8\xE8\xE8",
      "\xE8\xE8\xE8\xE8"};
  for (int i = 0; i < LDX_NAMEROWS; ++i) {
    EXPECT_EQ(std::string(ldxfde[i].name, ldxfde[i].len), kCp037[i]) << ldxfda[i].name;
    EXPECT_EQ(ldxfde[i].len, ldxfda[i].len);
    EXPECT_EQ(ldxfde[i].code, ldxfda[i].code);
  }
  EXPECT_EQ(ldxfde[LDX_NAMEROWS].len, 0);
  EXPECT_EQ(std::string(ldxfdy[1].name, 4), "\xE2\xD7\xE3\xC8");  // SPTH
  EXPECT_EQ(ldxfdy[1].code, LDX_F_SP | LDX_F_TH);
  EXPECT_EQ(ldxfdy[LDX_SUFFIXROWS].len, 0);
}

TEST(LdxTables, LetterIndexIsTheFirstRowOfEachLetter) {
  const int32_t expected[26] = {0, 4, 6, 7, 14, 16, INT32_MAX, 18, 21, 26, INT32_MAX, INT32_MAX, 27,
                                31, INT32_MAX, 32, 34, 35, 38, 44, INT32_MAX, INT32_MAX, 45,
                                INT32_MAX, 47, INT32_MAX};
  for (int letter = 0; letter < 26; ++letter) {
    int32_t first = INT32_MAX;
    for (int i = LDX_NAMEROWS - 1; i >= 0; --i)
      if (ldxfda[i].name[0] == 'A' + letter) first = i;
    EXPECT_EQ(ldxfdi[letter], first) << char('A' + letter);
    EXPECT_EQ(ldxfdi[letter], expected[letter]) << char('A' + letter);
  }
}

TEST(LdxTables, FieldChecksAndGroups) {
  EXPECT_EQ(ldxfcd[LDX_SY_YYY].attr, 0x36);
  EXPECT_EQ(ldxfcd[LDX_SYEAR].attr, 0xE5);
  EXPECT_EQ(ldxfcd[LDX_J].max, LDX_JMAX);
  EXPECT_EQ(ldxfcd[LDX_SCC].min, -46);
  EXPECT_EQ(ldxfcd[LDX_EE].attr, 0x9E);
  EXPECT_EQ(ldxfcd[50].attr, LDX_A_TEXT);
  // Text elements are exactly MONTH..A.D., RM, E, EE and the two spares.
  for (int code = 0; code < LDX_NCODES; ++code) {
    const bool text = (code >= LDX_YEAR && code <= LDX_SYEAR) || (code >= LDX_MONTH && code <= LDX_RM) ||
                      code == LDX_E || code == LDX_EE || code == LDX_LIT || code == 50;
    EXPECT_EQ((ldxfcd[code].attr & LDX_A_TEXT) != 0, text) << code;
  }
  int rows = 0;
  for (const ldx_pmxrow *g = ldxpmxa; g->err; ++g, ++rows) EXPECT_EQ(g->err, 1811 + rows);
  EXPECT_EQ(rows, 9);
}

// ---- keyword search -------------------------------------------------------------

TEST_F(Fmt, LongestMatch) {
  child([](nlstest::Env &e) {
    lxlangid h = handle(e, "AMERICAN_AMERICA.US7ASCII");
    ldx_ctx ctx;
    ldxnbeg(&ctx, &h, ldxtest::jump, nullptr, e.table, &e.glo);
    auto find = [&](const char *t) {
      const ldx_kwrow *r = ldxmfn(&ctx, reinterpret_cast<const uint8_t *>(t), strlen(t),
                                  ldxfda + ldxfdi[(t[0] & 0xDF) - 'A']);
      return r ? std::string(r->name, r->len) : std::string("-");
    };
    EXPECT_EQ(find("MONTH"), "MONTH");
    EXPECT_EQ(find("Month"), "MONTH");
    EXPECT_EQ(find("MONDAY"), "MON");
    EXPECT_EQ(find("MO"), "-");
    EXPECT_EQ(find("HH24"), "HH24");
    EXPECT_EQ(find("HH2"), "HH");
    EXPECT_EQ(find("hh12mi"), "HH12");
    EXPECT_EQ(find("SY,YYY"), "SY,YYY");
    EXPECT_EQ(find("SY|,YYY"), "-");  // the bar ends the text: SY is no name
    EXPECT_EQ(find("Y|YYY"), "Y");
    EXPECT_EQ(find("YYYYY"), "YYYY");
    EXPECT_EQ(find("a.m."), "A.M.");
    EXPECT_EQ(find("A.X"), "-");
    EXPECT_EQ(find("DAYS"), "DAY");
    const uint8_t units[] = {0, 'M', 0, 'o', 0, 'N', 0, 't', 0, 'H'};
    const ldx_kwrow *r = ldxmfnu(&ctx, units, sizeof units, ldxfda + ldxfdi['M' - 'A'], &h);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->code, LDX_MONTH);
    const uint8_t wide[] = {0, 'M', 0, 'O', 1, 'N'};  // a unit above 0xFF ends the text
    r = ldxmfnu(&ctx, wide, sizeof wide, ldxfda + ldxfdi['M' - 'A'], &h);
    EXPECT_EQ(r, nullptr);
    r = ldxmfncom(&ctx, reinterpret_cast<const uint8_t *>("thsp"), 4, ldxfdx, &h, '|', 1);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->code, LDX_F_TH | LDX_F_SP);
    ldxend(&ctx);
  });
}

// ---- compiled bytes ----------------------------------------------------------------

struct Case {
  const char *text;
  Result want;
};

void expect_cases(nlstest::Env &e, const lxlangid *h, const std::vector<Case> &cases, Kind kind) {
  for (const Case &c : cases) EXPECT_EQ(compile(e, h, c.text, kind), c.want) << '"' << c.text << '"';
}

TEST_F(Fmt, OutputFormats) {
  child([](nlstest::Env &e) {
    lxlangid h = handle(e, "AMERICAN_AMERICA.US7ASCII");
    ASSERT_TRUE(h.flags & 0x200);  // read byte by byte
    const std::vector<Case> cases = {
        {"DD-MON-YYYY", Expect().e(22, 0x18).l(4, "-").e(31, 0x18).l(4, "-").e(10, 0x18).end(0x10)},
        {"fmDD", Expect().e(22, 0x08).end(0)},
        {"FMDDfmMM", Expect().e(22, 0x08).e(17, 0x18).end(0x10)},
        {"fmdd", Expect().e(22, 0).end(0)},
        {"Month", Expect().e(30, 0x14).end(0x10)},
        {"MONTH", Expect().e(30, 0x18).end(0x10)},
        {"month", Expect().e(30, 0x10).end(0x10)},
        {"A.m.", Expect().e(35, 0x14).end(0x10)},
        {"A.M.", Expect().e(35, 0x18).end(0x10)},
        {"P.M.", Expect().e(35, 0x18).end(0x10)},
        {"PM", Expect().e(34, 0x18).end(0x10)},
        {"B.C. BC", Expect().e(37, 0x18).l(2, " ").e(36, 0x18).end(0x10)},
        {"DDTH", Expect().e(22, 0x19).end(0x10)},
        {"DDSPTH", Expect().e(22, 0x1B).end(0x10)},
        {"ddthsp", Expect().e(22, 0x13).end(0x10)},
        {"DdSp", Expect().e(22, 0x16).end(0x10)},
        {"MONTHTH", error(1821)},
        {"YYYY|MM", Expect().e(10, 0x18).e(17, 0x18).end(0x10)},
        {"YYYY||MM", Expect().e(10, 0x18).l(4, "|").e(17, 0x18).end(0x10)},
        {"|DD", Expect().e(22, 0x18).end(0x10)},
        {"DD|", Expect().e(22, 0x18).end(0x10)},
        {"\"at\" HH", Expect().l(1, "at ").e(25, 0x18).end(0x10)},
        {"\"a\"\"b\"", Expect().l(1, "ab").end(0x10)},
        {"\"open", Expect().l(1, "open").end(0x10)},
        {"\"\"DD", Expect().e(22, 0x18).end(0x10)},
        {"  - DD", Expect().l(2, "  ").l(4, "- ").e(22, 0x18).end(0x10)},
        {" \"x\"", Expect().l(2, " ").l(1, "x").end(0x10)},
        {"   ", Expect().l(2, "   ").end(0x10)},
        {"HH12:MI:SS", Expect().e(25, 0x18).l(4, ":").e(26, 0x18).l(4, ":").e(27, 0x18).end(0x10)},
        {"HH24", Expect().e(24, 0x18).end(0x10)},
        {"Y,YYY SY,YYY", Expect().e(11, 0x18).l(2, " ").e(13, 0x18).end(0x10)},
        {"SyYYY", Expect().e(12, 0x14).end(0x10)},
        {"D", Expect().e(21, 0x10).end(0x10)},  // one character left: no case flag
        {"D-mm", Expect().e(21, 0x14).l(4, "-").e(17, 0x10).end(0x10)},
        {"D-", Expect().e(21, 0x18).l(4, "-").end(0x10)},
        {"fm", Expect().end(0)},
        {"FMFM", Expect().end(0x10)},
        {"FXDD", Expect().e(42, 0x18).e(22, 0x18).end(0x10)},
        {"J EE E", Expect().e(29, 0x18).l(2, " ").e(44, 0x18).l(2, " ").e(43, 0x10).end(0x10)},
        {"", Expect().end(0x10)},
        {"9", error(1821)},
        {"DD9", error(1821)},
        {"X", error(1821)},
        {"GG", error(1821)},
        {"MO", error(1821)},
        {"\xE9", Expect().l(4, "\xE9").end(0x10)},  // not a letter of US7ASCII
    };
    expect_cases(e, &h, cases, Kind::Output);
  });
}

TEST_F(Fmt, LiteralLengthAndRoom) {
  child([](nlstest::Env &e) {
    lxlangid h = handle(e, "AMERICAN_AMERICA.US7ASCII");
    const std::string max(LDX_LITMAX, '-');
    EXPECT_EQ(compile(e, &h, max), Expect().l(4, max).end(0x10));
    EXPECT_EQ(compile(e, &h, max + "-"), error(LDX_ERR_LITLEN));
    EXPECT_EQ(compile(e, &h, "\"" + max + "-\""), error(LDX_ERR_LITLEN));
    // Leading spaces split off do not shorten the run.
    EXPECT_EQ(compile(e, &h, " " + max), error(LDX_ERR_LITLEN));
    // Rooms of exactly the compiled size and one less.
    for (const char *t : {"DD-MON-YYYY", "\"at\" HH", "  - DD", "fmDD", ""}) {
      const Result full = compile(e, &h, t);
      ASSERT_EQ(full.err, 0) << t;
      const auto size = uint8_t(full.bytes.size());
      EXPECT_EQ(compile(e, &h, t, Kind::Output, size), full) << t;
      EXPECT_EQ(compile(e, &h, t, Kind::Output, uint8_t(size - 1)), error(LDX_ERR_ROOM)) << t;
    }
    // The room is taken modulo 256 by its type: 0 holds nothing.
    EXPECT_EQ(compile(e, &h, "DD", Kind::Output, 0), error(LDX_ERR_ROOM));
  });
}

TEST_F(Fmt, InputFormats) {
  child([](nlstest::Env &e) {
    lxlangid h = handle(e, "AMERICAN_AMERICA.US7ASCII");
    const std::vector<Case> cases = {
        {"DD-MM-YYYY", Expect().e(22, 0x18).l(4, "-").e(17, 0x18).l(4, "-").e(10, 0x18).end(0x10)},
        {"DD-MM-YYYY DD", error(1810)},
        {"YYYY-YY", error(1812)},
        {"HH24:MI AM", error(1818)},
        {"WW", error(1820)},
        {"DDD J", error(1811)},
        {"HH HH24", error(1813)},
        {"AM A.M.", error(1814)},
        {"AD B.C.", error(1815)},
        {"MON RM", error(1816)},
        {"DAY D", error(1817)},
        {"HH24 PM", error(1818)},
        {"SYYYY AD", error(1819)},
        {"Y,YYY SY,YYY", error(1812)},
        {"PM AM", error(1810)},  // one code, two spellings
        {"FMDD fmMM FM FXFX", Expect().e(22, 0x08).l(2, " ").e(17, 0x18).l(2, " ").l(2, " ")
                                  .e(42, 0x08).e(42, 0x08).end(0)},
        {"RR RRRR J SSSSS", Expect().e(40, 0x18).l(2, " ").e(41, 0x18).l(2, " ").e(29, 0x18)
                                .l(2, " ").e(28, 0x18).end(0x10)},
        {"DD-DD", error(1810)},
        {"\"DD\" DD", Expect().l(1, "DD ").e(22, 0x18).end(0x10)},
    };
    expect_cases(e, &h, cases, Kind::Input);
    // Every element an input format cannot read.
    for (const char *t : {"CC", "SCC", "I", "IY", "IYY", "IYYY", "YEAR", "SYEAR", "Q", "IW", "WW", "W"})
      EXPECT_EQ(compile(e, &h, t, Kind::Input), error(LDX_ERR_INPUT)) << t;
    for (const char *t : {"Y", "YY", "YYY", "YYYY", "Y,YYY", "SYYYY", "SY,YYY", "MM", "NYYYY"})
      EXPECT_EQ(compile(e, &h, t, Kind::Input).err, 0) << t;
  });
}

TEST_F(Fmt, Expansions) {
  child([](nlstest::Env &e) {
    lxlangid h = handle(e, "AMERICAN_LDXTEST.US7ASCII");
    EXPECT_EQ(compile(e, &h, "DL"), compile(e, &h, kDL));
    EXPECT_EQ(compile(e, &h, "DS"), compile(e, &h, kDS));
    EXPECT_EQ(compile(e, &h, "TS"), compile(e, &h, kTS));
    // The text after the element is taken up again; a bar right after it
    // produces nothing, and the case of DL is not the expansion's.
    EXPECT_EQ(compile(e, &h, "dl|\"-\"ts"), compile(e, &h, std::string(kDL) + "\"-\"" + kTS));
    EXPECT_EQ(compile(e, &h, "DS DS"), compile(e, &h, std::string(kDS) + " " + kDS));
    // fm inside the expansion stays in force after it.
    EXPECT_EQ(compile(e, &h, "DL DD"), compile(e, &h, std::string(kDL) + " DD"));
    EXPECT_EQ(compile(e, &h, "DL DD").bytes.end()[-1], 0);
    EXPECT_EQ(compile(e, &h, "DL", Kind::Input), compile(e, &h, kDL, Kind::Input));
    EXPECT_EQ(compile(e, &h, "DL DD", Kind::Input), error(LDX_ERR_TWICE));
    lxlangid loop = handle(e, "AMERICAN_LDXLOOP.US7ASCII");
    EXPECT_EQ(compile(e, &loop, "DL"), error(LDX_ERR_NLSFAIL));
    EXPECT_EQ(compile(e, &loop, "DS"), error(LDX_ERR_NLSFAIL));
    lxlangid none = handle(e, "AMERICAN_AMERICA.US7ASCII");
    EXPECT_EQ(compile(e, &none, "DL"), error(LDX_ERR_NLSFAIL));
    EXPECT_EQ(compile(e, &none, "TS"), error(LDX_ERR_NLSFAIL));
  });
}

// Random formats against the Python model's bytes and errors
// (gen_ldxfmt.py), under LDXTEST's DL, DS and TS texts.
struct ModelCase {
  const char *text;
  int input, room, err;
  const char *bytes;
  size_t len;
};
const ModelCase kModelCases[] = {
#include "ldxfmtcases.inc"
};

TEST_F(Fmt, AgreesWithTheModel) {
  child([](nlstest::Env &e) {
    lxlangid h = handle(e, "AMERICAN_LDXTEST.US7ASCII");
    for (const ModelCase &c : kModelCases) {
      const Result want{c.err, Bytes(c.bytes, c.bytes + c.len)};
      EXPECT_EQ(compile(e, &h, c.text, c.input ? Kind::Input : Kind::Output, uint8_t(c.room)), want)
          << '"' << c.text << "\" input " << c.input << " room " << c.room;
    }
  });
}

// ---- other ways of reading ----------------------------------------------------------

// The ASCII text in code page 037, with the EBCDIC bar 0x6A for '|'.
std::string to_ebcdic(const std::string &ascii) {
  static const nlsw::CharsetDesc cp037 = nlsw::ebcdic037_charset("x", kEbcdic);
  std::string out;
  for (unsigned char c : ascii) {
    if (c == '|') {
      out += '\x6A';
      continue;
    }
    for (const auto &m : cp037.map)
      if (m.second == c) {
        out += char(m.first[0]);
        break;
      }
  }
  return out;
}

// The compiled ASCII result with its literal text in code page 037.
Result literals_to_ebcdic(Result r) {
  for (size_t i = 0; i + 1 < r.bytes.size();) {
    const uint8_t code = r.bytes[i];
    if (code > LDX_LIT) {
      const std::string lit(r.bytes.begin() + i + 2, r.bytes.begin() + i + 2 + (code - LDX_LIT));
      const std::string e = to_ebcdic(lit);
      std::copy(e.begin(), e.end(), r.bytes.begin() + i + 2);
      i += 2 + (code - LDX_LIT);
    } else {
      i += 2;
    }
  }
  return r;
}

std::string to_units(const std::string &ascii) {
  std::string out;
  for (char c : ascii) out += std::string{'\0', c};
  return out;
}

// Random format texts of element names in mixed case, punctuation, spaces,
// quotes and bars.
std::string random_format(std::mt19937 &rng) {
  static const char *const kPieces[] = {
      "DD", "dd", "Dd", "MON", "Mon", "month", "YYYY", "yyyy", "Y,YYY", "HH24", "hh12", "MI", "SS",
      "AM", "a.m.", "P.M.", "fm", "FM", "FX", "TH", "th", "SP", "DY", "Day", "J", "Q", "IW", "RR",
      "SYYYY", "SY,YYY", "ddd", "BC", "-", "/", ",", ".", ":", " ", "  ", "|", "||", "\"", "\"x y\"",
      "\"Of\"", ";", "X", "9", "Ee", "e", "SSSSS", "scc", "W", "ww", "year", "SYEAR", "RM"};
  std::string t;
  const int n = std::uniform_int_distribution<int>(0, 12)(rng);
  for (int i = 0; i < n; ++i)
    t += kPieces[std::uniform_int_distribution<size_t>(0, std::size(kPieces) - 1)(rng)];
  return t;
}

TEST_F(Fmt, EveryWayOfReadingCompilesAlike) {
  child([](nlstest::Env &e) {
    lxlangid ascii = handle(e, "AMERICAN_AMERICA.US7ASCII");
    lxlangid ebcdic = handle(e, "AMERICAN_AMERICA.WE8EBCDIC37");
    lxlangid utf8 = handle(e, "AMERICAN_AMERICA.UTF8");
    lxlangid shift = handle(e, "AMERICAN_AMERICA.LDXSHIFT");
    lxlangid utf16 = handle(e, "AMERICAN_AMERICA.AL16UTF16");
    lxlangid sorted = handle(e, "AMERICAN_AMERICA.WE8ISO8859P1");
    ASSERT_TRUE(ebcdic.flags & 0x200);
    ASSERT_FALSE(utf8.flags & 0x10);
    ASSERT_TRUE(utf16.flags & 0x8000000);
    // Under a linguistic sort a single-byte set is read through cursors.
    ASSERT_EQ(lxhlmod(&sorted, "GERMAN", 6, 80, 0, 0, &e.glo), 1);
    ASSERT_TRUE(sorted.flags & 0x10);
    ASSERT_FALSE(sorted.flags & 0x200);
    std::mt19937 rng(20261211);
    int errors = 0, compiled = 0;
    for (int i = 0; i < 3000; ++i) {
      const std::string t = random_format(rng);
      const auto room = uint8_t(std::uniform_int_distribution<int>(0, 40)(rng));
      for (Kind kind : {Kind::Output, Kind::Input}) {
        const uint8_t r = i % 2 ? room : 255;
        const Result want = compile(e, &ascii, t, kind, r);
        errors += want.err != 0;
        compiled += want.err == 0;
        EXPECT_EQ(compile(e, &ebcdic, to_ebcdic(t), kind, r), literals_to_ebcdic(want)) << t;
        EXPECT_EQ(compile(e, &utf8, t, kind, r), want) << t;
        EXPECT_EQ(compile(e, &shift, t, kind, r), want) << t;
        EXPECT_EQ(compile(e, &utf16, to_units(t), kind, r), want) << t;
        EXPECT_EQ(compile(e, &sorted, t, kind, r), want) << t;
      }
    }
    // Both outcomes are well represented.
    EXPECT_GT(errors, 500);
    EXPECT_GT(compiled, 500);
  });
}

TEST_F(Fmt, MultibyteText) {
  child([](nlstest::Env &e) {
    lxlangid utf8 = handle(e, "AMERICAN_AMERICA.UTF8");
    EXPECT_EQ(compile(e, &utf8, "DD \"\xC3\xA9t\xC3\xA9\""),
              Expect().e(22, 0x18).l(2, " ").l(1, "\xC3\xA9t\xC3\xA9").end(0x10));
    EXPECT_EQ(compile(e, &utf8, "DD \xC3\xA9"), error(1821));
    EXPECT_EQ(compile(e, &utf8, "\xC3\xA9\"DD\""), error(1821));
    lxlangid shift = handle(e, "AMERICAN_AMERICA.LDXSHIFT");
    const std::string mb{char(kSO), char(kShiftLead), char(kShiftTrail), char(kSI)};
    // A quoted run that ends shifted out is closed with shift-in.
    EXPECT_EQ(compile(e, &shift, "DD\"" + mb + "\"MM"),
              Expect().e(22, 0x18).l(1, mb).e(17, 0x18).end(0x10));
    EXPECT_EQ(compile(e, &shift, "\"" + mb.substr(0, 3) + "\""),
              Expect().l(1, mb).end(0x10));
    EXPECT_EQ(compile(e, &shift, "DD" + mb), error(1821));
    lxlangid utf16 = handle(e, "AMERICAN_AMERICA.AL16UTF16");
    // Quoted text of any unit is stored in UTF-8; unquoted it must be ASCII.
    EXPECT_EQ(compile(e, &utf16, to_units("DD\"") + std::string("\x00\xE9\x4E\x00", 4) + to_units("\"")),
              Expect().e(22, 0x18).l(1, "\xC3\xA9\xE4\xB8\x80").end(0x10));
    EXPECT_EQ(compile(e, &utf16, to_units("DD") + std::string("\x00\xE9", 2)), error(1821));
    EXPECT_EQ(compile(e, &utf16, to_units("DD") + std::string("\x20\x10", 2)), error(1821));
    // A half unit at the end is not read.
    EXPECT_EQ(compile(e, &utf16, to_units("DD") + "\x00"), compile(e, &utf16, to_units("DD")));
    lxlangid ebcdic = handle(e, "AMERICAN_AMERICA.WE8EBCDIC37");
    // Code page 037: '|' (0x4F) is punctuation; 0x6A separates.
    EXPECT_EQ(compile(e, &ebcdic, "\xC4\xC4\x4F\xD4\xD4"),
              Expect().e(22, 0x18).l(4, "\x4F").e(17, 0x18).end(0x10));
    EXPECT_EQ(compile(e, &ebcdic, "\x84\x84\x6A\xD4\x94"),
              Expect().e(22, 0x10).e(17, 0x14).end(0x10));
  });
}

TEST_F(Fmt, ExpansionsInOtherSets) {
  child([](nlstest::Env &e) {
    lxlangid ascii = handle(e, "AMERICAN_LDXTEST.US7ASCII");
    const Result want = compile(e, &ascii, "DL|DS");
    ASSERT_EQ(want.err, 0);
    lxlangid ebcdic = handle(e, "AMERICAN_LDXTEST.WE8EBCDIC37");
    EXPECT_EQ(compile(e, &ebcdic, to_ebcdic("DL|DS")), literals_to_ebcdic(want));
    lxlangid utf8 = handle(e, "AMERICAN_LDXTEST.UTF8");
    EXPECT_EQ(compile(e, &utf8, "DL|DS"), want);
    lxlangid utf16 = handle(e, "AMERICAN_LDXTEST.AL16UTF16");
    EXPECT_EQ(compile(e, &utf16, to_units("DL|DS")), want);
    lxlangid loop = handle(e, "AMERICAN_LDXLOOP.AL16UTF16");
    EXPECT_EQ(compile(e, &loop, to_units("DS")), error(LDX_ERR_NLSFAIL));
  });
}

}  // namespace
