// Date rendering: every element against worked values, glibc's strftime (C
// locale) for random dates, the room checks at exactly the text's size and
// one byte less, the error numbers, and the character sets that change how
// text is written: EBCDIC, a shift-byte set, AL16UTF16 through its UTF-8
// twin, and a calendar with eras. Formats are compiled from their text with
// ldxsto; codes the compiler never stores are written as byte pairs.
#include <chrono>
#include <csetjmp>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dateinst.h"
#include "ldx.h"
#include "ldxtest.h"
#include "lxe.h"
#include "lxh.h"
#include "nlstest.h"
#include "numtest.h"

namespace {

using nlstest::Env;
using Bytes = std::string;

constexpr size_t kFmtRoom = 255;
constexpr uint8_t kCanary = 0x7E;
constexpr size_t kCanaryLen = 8;
constexpr int32_t kUnixEpochDay = 2440588;  // day number of 1970-01-01

ldx_date date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  ldx_date v{};
  v.year = int16_t(y);
  v.month = int8_t(mo);
  v.day = int8_t(d);
  v.hour = int8_t(h);
  v.minute = int8_t(mi);
  v.second = int8_t(s);
  return v;
}

// A Tuesday afternoon in a leap year.
const ldx_date kTue = date(2024, 3, 5, 13, 7, 9);

// A date context over a handle built from a LANGUAGE_TERRITORY.CHARSET name
// (and a calendar, when one is named).
struct Ctx {
  ldx_ctx c{};
  jmp_buf jb;
  lxlangid h{};
  Env &e;
  // With begin false the context starts without a handle (no default
  // format is compiled) and takes it afterwards.
  Ctx(Env &env, const char *name, const char *calendar = nullptr, bool begin = true)
      : h(nlstest::lang_handle(env, name)), e(env) {
    if (calendar) {
      EXPECT_EQ(lxhlmod(&h, calendar, strlen(calendar), 81, 0, 0, &e.glo), 1);
    }
    if (int err = setjmp(jb)) {
      ADD_FAILURE() << name << ": ldxnbeg raised " << err;
      return;
    }
    ldxnbeg(&c, begin ? &h : nullptr, ldxtest::jump, &jb, e.table, &e.glo);
    c.lang = &h;
  }
  ~Ctx() { ldxend(&c); }
};

// A format compiled from its text (in the handle's charset) by ldxsto.
std::vector<uint8_t> compile(Ctx &x, const Bytes &text) {
  std::vector<uint8_t> out(kFmtRoom, 0);
  if (int err = setjmp(x.jb)) {
    ADD_FAILURE() << "ldxsto raised " << err << " for " << text;
    return {LDX_END, 0};
  }
  size_t n = ldxsto(&x.c, text.data(), uint8_t(text.size()), out.data(), uint8_t(kFmtRoom));
  out.resize(n);
  return out;
}

struct Rendered {
  int err = 0;         // the error raised, 0 for none
  Bytes text;          // the bytes written, terminator excluded
  bool nul = false;    // a terminator followed them
  bool canary = true;  // nothing was written past the room
};

// Renders d under fmt (NULL: the default format) into a buffer of room
// bytes followed by a canary.
Rendered render(Ctx &x, const ldx_format *fmt, const ldx_date &d, size_t room) {
  std::vector<uint8_t> buf(room + kCanaryLen, kCanary);
  Rendered r;
  if (int err = setjmp(x.jb)) {
    r.err = err;
    return r;
  }
  const size_t n = ldxdts(&x.c, buf.data(), uint16_t(room), &d, fmt);
  EXPECT_LE(n, room);
  r.text.assign(reinterpret_cast<const char *>(buf.data()), n);
  const size_t nul = (x.h.flags & LXH_F_WIDE) ? 2 : 1;
  r.nul = n + nul <= room && buf[n] == 0 && buf[n + nul - 1] == 0;
  for (size_t i = room; i < buf.size(); ++i) r.canary = r.canary && buf[i] == kCanary;
  return r;
}

Rendered render(Ctx &x, const Bytes &fmt, const ldx_date &d, size_t room = 512) {
  std::vector<uint8_t> f = compile(x, fmt);
  return render(x, f.data(), d, room);
}

// The day number of a Gregorian date from std::chrono.
int32_t chrono_day(int y, int m, int d) {
  using namespace std::chrono;
  const sys_days s{year{y} / month{unsigned(m)} / day{unsigned(d)}};
  return int32_t(s.time_since_epoch().count()) + kUnixEpochDay;
}

class Dts : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = dateinst::write();
  }
  static void child(const std::function<void(Env &)> &body) {
    nlstest::in_installation(dir_, body);
  }
  inline static std::string dir_;
};

struct Case {
  const char *fmt;
  ldx_date d;
  const char *want;
};

// AMERICAN names are stored in lower case; the widths are the longest names
// (september, wednesday: 9; abbreviations: 3).
TEST_F(Dts, ElementsUnderAmerican) {
  child([](Env &e) {
    Ctx x(e, "AMERICAN_AMERICA.US7ASCII");
    const ldx_date midnight = date(2024, 3, 5, 0, 30, 0), one = date(2024, 3, 1, 13, 0, 0);
    const Case cases[] = {
        {"YYYY-MM-DD HH24:MI:SS", kTue, "2024-03-05 13:07:09"},
        {"HH:MI AM", kTue, "01:07 PM"},
        {"HH12 A.M. a.m. A.m.", kTue, "01 P.M. p.m. P.M."},
        {"HH HH24 AM", midnight, "12 00 AM"},
        {"HH", one, "01"},
        {"MONTH.Month.month.", kTue, "MARCH    .March    .march    ."},
        {"fmMonth.MON Mon mon", kTue, "March.MAR Mar mar"},
        {"DAY.Dy.D", kTue, "TUESDAY  .Tue.3"},
        {"DDD WW W IW", kTue, "065 10 1 10"},
        {"IYYY IYY IY I Q", kTue, "2024 024 24 4 1"},
        {"SSSSS", kTue, "47229"},
        {"CC SCC Y YY YYY", kTue, "21  21 4 24 024"},
        {"Y,YYY SY,YYY", kTue, "2,024  2,024"},
        {"SYYYY NYYYY RR RRRR", kTue, " 2024 2024 24 2024"},
        {"YEAR|Year|year", kTue, "TWENTY TWENTY-FOURTwenty Twenty-Fourtwenty twenty-four"},
        {"SYEAR", date(2005, 1, 1), " TWO THOUSAND FIVE"},
        {"SYEAR", date(-4712, 1, 1), "-FORTY-SEVEN TWELVE"},
        {"DDTH ddth Ddth", kTue, "05TH 05th 05th"},
        {"DDTH", date(2024, 1, 1), "01ST"},
        {"ddth", date(2024, 1, 22), "22nd"},
        {"ddth", date(2024, 1, 23), "23rd"},
        {"ddth", date(2024, 1, 11), "11th"},
        {"DDSP Ddsp ddsp DDSPTH", kTue, "FIVE Five five FIFTH"},
        {"SYYYYSP", date(-44, 3, 15), "-FORTY-FOUR"},
        {"SCCSP", kTue, " TWENTY-ONE"},
        {"MISP MISPTH", date(2024, 1, 1, 0, 0, 0), "ZERO ZEROETH"},
        {"AD A.D. ad a.d.", kTue, "AD A.D. AD a.d."},
        {"BC B.C.", date(-4712, 1, 1), "BC B.C."},
        {"RM.rm.fmRM", kTue, "III .iii .III"},
        {"RM", date(2024, 12, 1), "XII "},
        {"fmDD-MM-YYYY", kTue, "5-3-2024"},
        {"fmDDfm-MM", kTue, "5-03"},
        {"fmSYYYY", kTue, " 2024"},
        {"\"at\" HH24", kTue, "at 13"},
        {"DD \"of\" fmMonth", kTue, "05 of March"},
        {"FXDD", kTue, "05"},
        {"CC", date(2000, 6, 1), "20"},
        {"CC", date(2001, 6, 1), "21"},
        {"CC SCC", date(-1, 6, 1), "01 -01"},
        {"fmCC", date(9950, 1, 1), "100"},
        {"SYYYY SY,YYY NYYYY YYYY", date(-4712, 1, 1), "-4712 -4,712 -4712 4712"},
        {"Y YY", date(-4712, 1, 1), "2 12"},
        {"SSSSSSP", kTue, "FORTY-SEVEN THOUSAND TWO HUNDRED TWENTY-NINE"},
    };
    for (const Case &c : cases) {
      Rendered r = render(x, c.fmt, c.d);
      EXPECT_EQ(r.err, 0) << c.fmt;
      EXPECT_EQ(r.text, c.want) << c.fmt;
      EXPECT_TRUE(r.nul) << c.fmt;
    }
    Rendered j = render(x, "J", kTue);
    EXPECT_EQ(j.text, std::to_string(chrono_day(2024, 3, 5)));
    EXPECT_EQ(x.c.lang, &x.h);
  });
}

TEST_F(Dts, Errors) {
  child([](Env &e) {
    Ctx x(e, "AMERICAN_AMERICA.US7ASCII");
    const Case cases[] = {
        {"CC", date(9950, 1, 1), nullptr},      // 100 is wider than the field
        {"CC", date(9999, 1, 1), nullptr},
        {"MITH", date(2024, 1, 1, 0, 0), nullptr},  // no suffix for 0
        {"SSTH", date(2024, 1, 1, 0, 0, 0), nullptr},
        {"HH24TH", date(2024, 1, 1, 0, 0, 0), nullptr},
    };
    for (const Case &c : cases) EXPECT_EQ(render(x, c.fmt, c.d).err, LDX_ERR_ROOM) << c.fmt;
    EXPECT_EQ(render(x, "E", kTue).err, LDX_ERR_NOERA);
    EXPECT_EQ(render(x, "EE", kTue).err, LDX_ERR_NOERA);
    // A month outside 1 to 12 is never looked up.
    for (const char *f : {"DDD", "WW", "MONTH", "MON"})
      EXPECT_EQ(render(x, f, date(2024, 13, 1)).err, LDX_ERR_MONTH) << f;
    EXPECT_EQ(render(x, "DDD", date(2024, 0, 1)).err, LDX_ERR_MONTH);
    // Codes without a rule: FM stored as an element, and 46 (a literal of no
    // bytes).
    for (uint8_t code : {uint8_t(LDX_FM), uint8_t(LDX_LIT)}) {
      const uint8_t f[] = {code, LDX_F_PAD, LDX_END, 0};
      EXPECT_EQ(render(x, f, kTue, 64).err, LDX_ERR_NLS) << int(code);
    }
    EXPECT_EQ(x.c.lang, &x.h);
  });
}

// The fixed period forms: A.D., A.M., B.C., P.M. (flag 1 for the second of
// each pair), an empty end row, and the same in code page 037.
TEST_F(Dts, PeriodTables) {
  const char *const forms[] = {"A.D.", "A.M.", "B.C.", "P.M."};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(Bytes(ldxpaa[i].name, ldxpaa[i].len), forms[i]);
    EXPECT_EQ(ldxpaa[i].code, i / 2);
    EXPECT_EQ(ldxpae[i].len, 4);
    EXPECT_EQ(ldxpae[i].code, i / 2);
  }
  EXPECT_EQ(ldxpaa[4].len, 0);
  EXPECT_EQ(ldxpae[4].len, 0);
  child([&](Env &e) {
    lxlangid h{};
    ASSERT_NE(lxhLaToId("AMERICAN_AMERICA.WE8EBCDIC37", 0, &h, 0, &e.glo), nullptr);
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(Bytes(ldxpae[i].name, 4), numtest::in_set(h, e, forms[i])) << forms[i];
  });
}

// A literal is copied up to a NUL within it; its room is its stored length.
TEST_F(Dts, LiteralPairs) {
  child([](Env &e) {
    Ctx x(e, "AMERICAN_AMERICA.US7ASCII");
    const uint8_t f[] = {LDX_DD, LDX_F_PAD, LDX_LIT + 3, 0, 'a', 0, 'b', LDX_MM, LDX_F_PAD, LDX_END, 0};
    Rendered r = render(x, f, kTue, 64);
    EXPECT_EQ(r.text, "05a03");
    EXPECT_EQ(render(x, f, kTue, 4).err, LDX_ERR_ROOM);  // 05 and 3 bytes of room
  });
}

// Every text fits in a room of exactly its size (no terminator then) and
// raises 1801 in one byte less; nothing is written past the room.
TEST_F(Dts, RoomsOfExactlyTheTextAndOneLess) {
  child([](Env &e) {
    Ctx x(e, "AMERICAN_AMERICA.US7ASCII");
    const char *formats[] = {"YYYY-MM-DD HH24:MI:SS", "MONTH", "fmDay, DD Month YYYY", "DDSPTH",
                             "DDTH", "YEAR", "\"literal text\"", "A.M. RM", "SY,YYY", "J"};
    for (const char *f : formats) {
      const Bytes want = render(x, f, kTue).text;
      ASSERT_FALSE(want.empty()) << f;
      Rendered exact = render(x, f, kTue, want.size());
      EXPECT_EQ(exact.err, 0) << f;
      EXPECT_EQ(exact.text, want) << f;
      EXPECT_TRUE(exact.canary) << f;
      Rendered less = render(x, f, kTue, want.size() - 1);
      EXPECT_EQ(less.err, LDX_ERR_ROOM) << f;
      EXPECT_TRUE(less.canary) << f;
    }
  });
}

// strftime in the C locale as the oracle, for random dates 1584 to 9998.
TEST_F(Dts, AgreesWithStrftime) {
  child([](Env &e) {
    Ctx x(e, "AMERICAN_AMERICA.US7ASCII");
    const std::vector<uint8_t> f =
        compile(x, "YYYY-MM-DD HH24:MI:SS fmDayfm Mon DDD IW IYYY HH AM");
    const char *const cfmt = "%Y-%m-%d %H:%M:%S %A %b %j %V %G %I %p";
    std::mt19937 rng(20241211);
    std::uniform_int_distribution<int32_t> days(chrono_day(1584, 1, 1), chrono_day(9998, 12, 31));
    std::uniform_int_distribution<int> secs(0, 86399);
    for (int i = 0; i < 20000; ++i) {
      using namespace std::chrono;
      const sys_days sd{std::chrono::days{days(rng) - kUnixEpochDay}};
      const year_month_day ymd{sd};
      const int s = secs(rng);
      std::tm tm{};
      tm.tm_year = int(ymd.year()) - 1900;
      tm.tm_mon = int(unsigned(ymd.month())) - 1;
      tm.tm_mday = int(unsigned(ymd.day()));
      tm.tm_hour = s / 3600;
      tm.tm_min = s / 60 % 60;
      tm.tm_sec = s % 60;
      tm.tm_wday = int(weekday{sd}.c_encoding());
      tm.tm_yday = int((sd - sys_days{ymd.year() / January / 1}).count());
      char want[128];
      ASSERT_GT(std::strftime(want, sizeof want, cfmt, &tm), 0u);
      const ldx_date d = date(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                              tm.tm_min, tm.tm_sec);
      Rendered r = render(x, f.data(), d, 128);
      ASSERT_EQ(r.text, want) << "day " << sd.time_since_epoch().count();
    }
  });
}

// A NULL format is the language's default format, recompiled when the
// handle's date format was changed.
TEST_F(Dts, DefaultFormat) {
  child([](Env &e) {
    Ctx x(e, "AMERICAN_AMERICA.US7ASCII");
    EXPECT_EQ(render(x, nullptr, kTue, 64).text, "05-MAR-24");
    ASSERT_EQ(lxhlmod(&x.h, "YYYY", 4, 76, 0, 0, &e.glo), 1);
    EXPECT_EQ(render(x, nullptr, kTue, 64).text, "2024");
    Ctx de(e, "GERMAN_GERMANY.WE8ISO8859P1");
    EXPECT_EQ(render(de, nullptr, kTue, 64).text, "05.03.24");
  });
}

// GERMAN: its own words for the morning, afternoon and eras (no fixed period
// forms), weeks from Monday.
TEST_F(Dts, GermanWords) {
  child([](Env &e) {
    Ctx x(e, "GERMAN_GERMANY.WE8ISO8859P1");
    const Case cases[] = {
        {"D DAY.fmMonth", kTue, "2 DIENSTAG  .M\xe4rz"},
        {"AM A.M. a.m. am", kTue, "NACHM. NACHM. nachm. nachm."},
        {"AD A.D.", kTue, "N. CHR. N. CHR."},
        {"fmDy", date(2024, 3, 10), "So"},
        {"D", date(2024, 3, 10), "7"},
    };
    for (const Case &c : cases) EXPECT_EQ(render(x, c.fmt, c.d).text, c.want) << c.fmt;
  });
}

// LONGCAPS: names stored in capitals, and a December name wider than any
// padding may reach.
TEST_F(Dts, CapitalAndLongNames) {
  child([](Env &e) {
    Ctx x(e, "LONGCAPS_AMERICA.US7ASCII");
    EXPECT_EQ(render(x, "fmmonth Month", kTue).text, "MARCH March");
    EXPECT_EQ(render(x, "Dy", kTue).text, "Tue");
    EXPECT_EQ(render(x, "dy", kTue).text, "TUE");
    // MARCH padded to 200 columns would need 5 + 2 * 195 bytes.
    EXPECT_EQ(render(x, "MONTH", kTue).err, LDX_ERR_ROOM);
    const ldx_date dec = date(2024, 12, 24);
    const Bytes name = dateinst::long_december();
    EXPECT_EQ(render(x, "MONTH", dec, name.size()).text, name);
    EXPECT_EQ(render(x, "MONTH", dec, name.size() - 1).err, LDX_ERR_ROOM);
  });
}

// EBCDIC: digits, signs, spaces and the fixed period forms in code page 037.
TEST_F(Dts, Ebcdic) {
  child([](Env &e) {
    Ctx x(e, "AMERICAN_AMERICA.WE8EBCDIC37");
    auto eb = [&](const Bytes &ascii) { return numtest::in_set(x.h, e, ascii); };
    const Case cases[] = {
        {"DD-MON-YYYY HH:MI A.M.", kTue, "05-MAR-2024 01:07 P.M."},
        {"SYYYY SCC", kTue, " 2024  21"},
        {"SYYYY", date(-4712, 1, 1), "-4712"},
        {"SYEAR", kTue, " TWENTY TWENTY-FOUR"},
        {"a.d. fmMonth", kTue, "a.d. March"},
        {"DDSPTH RM", kTue, "FIFTH III "},
    };
    for (const Case &c : cases) EXPECT_EQ(render(x, eb(c.fmt), c.d).text, eb(c.want)) << c.fmt;
  });
}

// A shift-byte set: names with double-byte characters, the shift-in a
// single-byte text needs after them, and the closing shift-in at the end,
// which the room must hold. (The set has no classes for its double-byte
// characters, so the names are rendered without a case change.)
TEST_F(Dts, ShiftBytes) {
  child([](Env &e) {
    using dateinst::kSI;
    using dateinst::kSO;
    Ctx x(e, "GERMAN_GERMANY.DATESHIFT");
    const Bytes ae = {char(dateinst::kShiftLead), char(dateinst::kShiftTrail + 0xE4 - 0xC0)};
    const Bytes month = Bytes("m") + char(kSO) + ae + char(kSI) + "rz";
    EXPECT_EQ(render(x, "fmmonthfm-DD", kTue).text, month + "-05");
    EXPECT_EQ(render(x, "DD.fmmonth", kTue).text, "05." + month);
    const std::vector<uint8_t> f = compile(x, "fmmonthfm-DD");
    const Bytes want = month + "-05";
    EXPECT_EQ(render(x, f.data(), kTue, want.size()).text, want);
    EXPECT_EQ(render(x, f.data(), kTue, want.size() - 1).err, LDX_ERR_ROOM);
    // A text ending in a double-byte character (the abbreviation is "mä"):
    // the shift-in is written at the end and needs its byte of room.
    const Bytes mon = Bytes("m") + char(kSO) + ae + char(kSI);
    EXPECT_EQ(render(x, "fmmonfm-DD", kTue).text, mon + "-05");
    const std::vector<uint8_t> g = compile(x, "fmmon");
    EXPECT_EQ(render(x, g.data(), kTue, mon.size()).text, mon);
    EXPECT_EQ(render(x, g.data(), kTue, mon.size() - 1).err, LDX_ERR_ROOM);
  });
}

TEST_F(Dts, ThaiBuddhaEras) {
  child([](Env &e) {
    Ctx x(e, "AMERICAN_AMERICA.TH8TISASCII", "THAI BUDDHA");
    const ldx_date d = date(2004, 1, 1);
    // Python: "พ.ศ.".encode("tis-620"), "พุทธศักราช", "มกราคม".
    EXPECT_EQ(render(x, "E", d).text, "\xbe.\xc8.");
    EXPECT_EQ(render(x, "EE", d).text, "\xbe\xd8\xb7\xb8\xc8\xd1\xa1\xc3\xd2\xaa");
    EXPECT_EQ(render(x, "YYYY fmmonth", d).text, "2547 \xc1\xa1\xc3\xd2\xa4\xc1");
    // Before the era: the conversion fails with status 85.
    EXPECT_EQ(render(x, "YYYY", date(-600, 1, 1)).err, LDX_ERR_CALERA);
  });
}

TEST_F(Dts, CalendarWithoutEras) {
  child([](Env &e) {
    Ctx x(e, "AMERICAN_AMERICA.US7ASCII", "ENGLISH HIJRAH");
    ldx_date l;
    int32_t era = 0;
    ASSERT_EQ(lxeg2u(&x.h, &l, &kTue, &era, &e.glo), 1);
    char name[81];
    lxeireq req{};
    req.len = sizeof name;
    req.glo = &e.glo;
    req.in.n = l.month;
    req.out.text = name;
    ASSERT_EQ(lxeifnd(&x.h, &req, LXE_I_MONNAME), 1);
    EXPECT_EQ(render(x, "fmmonth DD YYYY", kTue).text,
              Bytes(name) + " " + (l.day < 10 ? "0" : "") + std::to_string(l.day) + " " +
                  std::to_string(l.year));
    EXPECT_EQ(render(x, "E", kTue).err, LDX_ERR_NLSFAIL);
    // The day before the lunar epoch (16 July 622): status 84.
    EXPECT_EQ(render(x, "YYYY", date(622, 7, 16)).err, 0);
    EXPECT_EQ(render(x, "YYYY", date(622, 7, 15)).err, LDX_ERR_CALCYCLE);
  });
}

// UTF-16 big-endian of a Latin-1 text.
Bytes utf16(const Bytes &latin1) {
  Bytes out;
  for (unsigned char c : latin1) {
    out += '\0';
    out += char(c);
  }
  return out;
}

// AL16UTF16: rendered in UTF-8 within half the room, then converted within
// the caller's room; the byte count is the UTF-16 text's.
TEST_F(Dts, Al16utf16) {
  child([](Env &e) {
    Ctx x(e, "AMERICAN_AMERICA.AL16UTF16");
    const std::vector<uint8_t> f = compile(x, utf16("YYYY-MM-DD"));
    const Bytes want = utf16("2024-03-05");
    Rendered r = render(x, f.data(), kTue, want.size());
    EXPECT_EQ(r.err, 0);
    EXPECT_EQ(r.text, want);
    EXPECT_TRUE(r.canary);
    EXPECT_FALSE(r.nul);
    EXPECT_EQ(x.c.lang, &x.h);
    EXPECT_TRUE(render(x, f.data(), kTue, want.size() + 2).nul);
    EXPECT_EQ(render(x, f.data(), kTue, want.size() - 1).err, LDX_ERR_ROOM);
    EXPECT_EQ(x.c.lang, &x.h);
    EXPECT_EQ(render(x, nullptr, kTue, 64).text, utf16("05-MAR-24"));
    // Errors of the operations the renderer calls give the handle back too.
    for (const char *bad : {"D", "IW", "J", "DDD"}) {
      const std::vector<uint8_t> b = compile(x, utf16(bad));
      EXPECT_EQ(render(x, b.data(), date(2024, 13, 1), 64).err, LDX_ERR_MONTH) << bad;
      EXPECT_EQ(x.c.lang, &x.h);
      EXPECT_EQ(x.c.callback, &ldxtest::jump);
      EXPECT_EQ(x.c.cbarg, &x.jb);
    }
    // A text converted in more than one run.
    const std::vector<uint8_t> g = compile(x, utf16("SSSSSSP SSSSSSP SSSSSSP SSSSSSP"));
    const Bytes words = "FORTY-SEVEN THOUSAND TWO HUNDRED TWENTY-NINE";
    const Bytes lwant = utf16(words + " " + words + " " + words + " " + words);
    Rendered l = render(x, g.data(), kTue, lwant.size());
    EXPECT_EQ(l.text, lwant);
    EXPECT_TRUE(l.canary);
    EXPECT_EQ(render(x, g.data(), kTue, lwant.size() - 1).err, LDX_ERR_ROOM);
  });
}

// A UTF-8 character of two bytes gives two UTF-16 bytes: the count is the
// UTF-16 text's, not twice the UTF-8 bytes. (The UTF8 set has no classes
// for its non-ASCII characters: names are rendered without a case change.)
TEST_F(Dts, Al16utf16CountsTheUtf16Bytes) {
  child([](Env &e) {
    Ctx x(e, "GERMAN_GERMANY.AL16UTF16");
    const std::vector<uint8_t> f = compile(x, utf16("fmmonth"));
    const Bytes want = utf16("m\xe4rz");  // 5 bytes of UTF-8, 8 of UTF-16
    Rendered r = render(x, f.data(), kTue, 10);
    EXPECT_EQ(r.text, want);
    EXPECT_TRUE(r.nul);
    EXPECT_EQ(render(x, f.data(), kTue, 9).err, LDX_ERR_ROOM);
    EXPECT_EQ(x.c.lang, &x.h);
    // Runs of conversion end before a character: 75 bytes, then "märz"
    // twelve times puts a two-byte character across the first run's end.
    std::vector<uint8_t> pairs = {uint8_t(LDX_LIT + 75), LDX_L_QUOTED};
    pairs.insert(pairs.end(), 75, 'x');
    for (int k = 0; k < 12; ++k) pairs.insert(pairs.end(), {LDX_MONTH, 0});
    pairs.insert(pairs.end(), {LDX_END, 0});
    Bytes many = Bytes(75, 'x');
    for (int k = 0; k < 12; ++k) many += "m\xe4rz";
    EXPECT_EQ(render(x, pairs.data(), kTue, 512).text, utf16(many));
  });
}

TEST_F(Dts, Utf16Conversions) {
  child([](Env &e) {
    Ctx x(e, "AMERICAN_AMERICA.AL16UTF16");
    const Bytes u16 = utf16("M\xe4rz");
    char out[16];
    std::memset(out, kCanary, sizeof out);
    EXPECT_EQ(ldxutf16to8(&x.c, u16.data(), u16.size(), out, sizeof out), 5);
    EXPECT_EQ(Bytes(out, 6), Bytes("M\xc3\xa4rz", 6));  // with its NUL
    std::memset(out, kCanary, sizeof out);
    EXPECT_EQ(ldxutf16to8(&x.c, u16.data(), u16.size(), out, 5), 5);
    EXPECT_EQ(uint8_t(out[5]), kCanary);  // full: no NUL
    std::memset(out, kCanary, sizeof out);
    EXPECT_EQ(ldxutf8to16(&x.c, "M\xc3\xa4rz", 5, out, 10), 8);
    EXPECT_EQ(Bytes(out, 10), u16 + Bytes(2, '\0'));
    std::memset(out, kCanary, sizeof out);
    EXPECT_EQ(ldxutf8to16(&x.c, "M\xc3\xa4rz", 5, out, 9), 8);
    EXPECT_EQ(uint8_t(out[8]), kCanary);  // one byte left: no NUL
    lxlangid twin;
    if (int err = setjmp(x.jb)) {
      ADD_FAILURE() << "ldxlid16to8 raised " << err;
      return;
    }
    EXPECT_EQ(ldxlid16to8(&x.c, &twin), &twin);
    EXPECT_EQ(x.c.lang, &twin);
    EXPECT_EQ(nlstest::item(&twin, 76, &e.glo), "DD-MON-YY");
    EXPECT_EQ(nlstest::item(&twin, 77, &e.glo), "AMERICAN");
  });
}

// Without the UTF8 set an AL16UTF16 handle has no twin: 1890, and the
// context keeps its handle.
TEST(DtsNoUtf8, TwinFails) {
  const std::string dir = dateinst::without_utf8();
  nlstest::in_installation(dir, [](Env &e) {
    Ctx x(e, "AMERICAN_AMERICA.AL16UTF16", nullptr, false);
    EXPECT_EQ(ldxutf16to8(&x.c, "\0A", 2, nullptr, 0), -1);
    const uint8_t f[] = {LDX_DD, LDX_F_PAD, LDX_END, 0};
    EXPECT_EQ(render(x, f, kTue, 64).err, LDX_ERR_NLSFAIL);
    EXPECT_EQ(x.c.lang, &x.h);
  });
}

}  // namespace
