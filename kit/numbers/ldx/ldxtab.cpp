// The format compiler's tables: element names (ASCII and EBCDIC code page
// 037), the first row per letter, the suffixes, the field-check table and
// the exclusion groups of input formats.
//
// Readers: the compiler (ldxfmt.cpp), the renderer (attributes of ldxfcd)
// and tests. The tables are constant; rows of the name tables are in ASCII
// order of their names, the EBCDIC twins in the same row order, and each
// ends with an empty row.
#include "ldx.h"

namespace {

// The EBCDIC (code page 037) byte of the ASCII characters element names use:
// letters, digits, '.' and ','.
constexpr char ebcdic(char c) {
  if (c >= 'A' && c <= 'I') return char(0xC1 + (c - 'A'));
  if (c >= 'J' && c <= 'R') return char(0xD1 + (c - 'J'));
  if (c >= 'S' && c <= 'Z') return char(0xE2 + (c - 'S'));
  if (c >= '0' && c <= '9') return char(0xF0 + (c - '0'));
  if (c == '.') return char(0x4B);
  if (c == ',') return char(0x6B);
  return c;  // NUL padding
}

constexpr char ascii(char c) { return c; }

// Character i of a name in the alphabet conv gives, NUL past its end.
template <size_t N>
constexpr char name_at(const char (&name)[N], size_t i, char (*conv)(char)) {
  return i + 1 < N ? conv(name[i]) : '\0';
}

}  // namespace

// Element names: name, name length, code.
#define LDX_ELEMENTS(ROW)                                                                     \
  ROW("A.D.", LDX_A_D_) ROW("A.M.", LDX_A_M_) ROW("AD", LDX_AD) ROW("AM", LDX_AM)             \
  ROW("B.C.", LDX_A_D_) ROW("BC", LDX_AD) ROW("CC", LDX_CC) ROW("D", LDX_D)                   \
  ROW("DAY", LDX_DAY) ROW("DD", LDX_DD) ROW("DDD", LDX_DDD) ROW("DL", LDX_DL)                 \
  ROW("DS", LDX_DS) ROW("DY", LDX_DY) ROW("E", LDX_E) ROW("EE", LDX_EE) ROW("FM", LDX_FM)     \
  ROW("FX", LDX_FX) ROW("HH", LDX_HH) ROW("HH12", LDX_HH) ROW("HH24", LDX_HH24)               \
  ROW("I", LDX_I) ROW("IW", LDX_IW) ROW("IY", LDX_IY) ROW("IYY", LDX_IYY)                     \
  ROW("IYYY", LDX_IYYY) ROW("J", LDX_J) ROW("MI", LDX_MI) ROW("MM", LDX_MM)                   \
  ROW("MON", LDX_MON) ROW("MONTH", LDX_MONTH) ROW("NYYYY", LDX_NYYYY) ROW("P.M.", LDX_A_M_)   \
  ROW("PM", LDX_AM) ROW("Q", LDX_Q) ROW("RM", LDX_RM) ROW("RR", LDX_RR)                       \
  ROW("RRRR", LDX_RRRR) ROW("SCC", LDX_SCC) ROW("SS", LDX_SS) ROW("SSSSS", LDX_SSSSS)         \
  ROW("SY,YYY", LDX_SY_YYY) ROW("SYEAR", LDX_SYEAR) ROW("SYYYY", LDX_SYYYY) ROW("TS", LDX_TS) \
  ROW("W", LDX_W) ROW("WW", LDX_WW) ROW("Y", LDX_Y) ROW("Y,YYY", LDX_Y_YYY)                   \
  ROW("YEAR", LDX_YEAR) ROW("YY", LDX_YY) ROW("YYY", LDX_YYY) ROW("YYYY", LDX_YYYY)

#define LDX_SUFFIXES(ROW) \
  ROW("SP", LDX_F_SP) ROW("SPTH", LDX_F_SP | LDX_F_TH) ROW("TH", LDX_F_TH) ROW("THSP", LDX_F_SP | LDX_F_TH)

#define LDX_ROW(n, c, conv)                                                              \
  {{name_at(n, 0, conv), name_at(n, 1, conv), name_at(n, 2, conv), name_at(n, 3, conv), \
    name_at(n, 4, conv), name_at(n, 5, conv)},                                           \
   uint16_t(sizeof(n) - 1), c},
#define LDX_ASCII_ROW(n, c) LDX_ROW(n, c, ascii)
#define LDX_EBCDIC_ROW(n, c) LDX_ROW(n, c, ebcdic)

extern "C" {

const ldx_kwrow ldxfda[] = {LDX_ELEMENTS(LDX_ASCII_ROW){}};
const ldx_kwrow ldxfde[] = {LDX_ELEMENTS(LDX_EBCDIC_ROW){}};
const ldx_kwrow ldxfdx[] = {LDX_SUFFIXES(LDX_ASCII_ROW){}};
const ldx_kwrow ldxfdy[] = {LDX_SUFFIXES(LDX_EBCDIC_ROW){}};

constexpr int32_t kNoRow = INT32_MAX;
const int32_t ldxfdi[26] = {0,      4,      6,      7,      14,     16, kNoRow, 18, 21,
                            26,     kNoRow, kNoRow, 27,     31,     kNoRow, 32,     34, 35,
                            38,     44,     kNoRow, kNoRow, 45,     kNoRow, 47,     kNoRow};

const ldx_fcdrow ldxfcd[LDX_NCODES] = {
    {0, 0, 0, 0x00},          // 0 end
    {0, 0, 48, 0x02},         // 1 CC
    {0, -46, 48, 0x23},       // 2 SCC
    {1841, 0, 9, 0x01},       // 3 I
    {1841, 0, 9, 0x01},       // 4 Y
    {1841, 0, 99, 0x02},      // 5 IY
    {1841, 0, 99, 0x02},      // 6 YY
    {1841, 0, 999, 0x03},     // 7 IYY
    {1841, 0, 999, 0x03},     // 8 YYY
    {1841, 0, 9999, 0x04},    // 9 IYYY
    {1841, 0, 9999, 0x04},    // 10 YYYY
    {1841, 0, 9999, 0x15},    // 11 Y,YYY
    {1841, -4712, 9999, 0x25},  // 12 SYYYY
    {1841, -4712, 9999, 0x36},  // 13 SY,YYY
    {0, 0, 9999, 0xC4},       // 14 YEAR
    {0, -4712, 9999, 0xE5},   // 15 SYEAR
    {1842, 1, 4, 0x01},       // 16 Q
    {1843, 1, 12, 0x02},      // 17 MM
    {1860, 1, 53, 0x02},      // 18 IW
    {1844, 1, 52, 0x02},      // 19 WW
    {1845, 1, 4, 0x01},       // 20 W
    {1846, 1, 7, 0x01},       // 21 D
    {1847, 1, 31, 0x02},      // 22 DD
    {1848, 1, 366, 0x03},     // 23 DDD
    {1850, 0, 23, 0x02},      // 24 HH24
    {1849, 1, 12, 0x02},      // 25 HH
    {1851, 0, 59, 0x02},      // 26 MI
    {1852, 0, 59, 0x02},      // 27 SS
    {1853, 0, 86399, 0x05},   // 28 SSSSS
    {1854, 1, LDX_JMAX, 0x07},  // 29 J
    {1843, 14, 25, 0x80},     // 30 MONTH
    {1843, 26, 37, 0x81},     // 31 MON
    {1846, 0, 6, 0x82},       // 32 DAY
    {1846, 7, 13, 0x83},      // 33 DY
    {1855, 40, 41, 0xC2},     // 34 AM
    {1855, 0, 0, 0xC4},       // 35 A.M.
    {1856, 42, 43, 0xC2},     // 36 AD
    {1856, 1, 0, 0xC4},       // 37 A.D.
    {1843, 0, 0, 0x84},       // 38 RM
    {0, 0, 0, 0x00},          // 39 FM
    {1841, 0, 99, 0x02},      // 40 RR
    {1841, 0, 9999, 0x04},    // 41 RRRR
    {0, 0, 0, 0x00},          // 42 FX
    {0, 0, 0, 0x8F},          // 43 E
    {0, 0, 0, 0x9E},          // 44 EE
    {1841, -4712, 9999, 0x25},  // 45 NYYYY
    {0, 0, 0, 0x80},          // 46 (literal)
    {0, 0, 0, 0x00},          // 47 DL
    {0, 0, 0, 0x00},          // 48 DS
    {0, 0, 0, 0x00},          // 49 TS
    {0, 0, 0, 0x80},          // 50 (none)
};

const ldx_pmxrow ldxpmxa[] = {
    {1811, {LDX_DDD, LDX_J}},
    {1812, {LDX_Y, LDX_YY, LDX_YYY, LDX_YYYY, LDX_SYYYY, LDX_NYYYY, LDX_Y_YYY, LDX_SY_YYY}},
    {1813, {LDX_HH, LDX_HH24}},
    {1814, {LDX_AM, LDX_A_M_}},
    {1815, {LDX_AD, LDX_A_D_}},
    {1816, {LDX_MONTH, LDX_MON, LDX_MM, LDX_RM}},
    {1817, {LDX_DAY, LDX_DY, LDX_D}},
    {1818, {LDX_AM, LDX_A_M_, LDX_HH24}},
    {1819, {LDX_SYYYY, LDX_NYYYY, LDX_SY_YYY, LDX_AD, LDX_A_D_}},
    {0, {}},
};

}  // extern "C"

static_assert(sizeof(ldxfda) / sizeof(ldxfda[0]) == LDX_NAMEROWS + 1);
static_assert(sizeof(ldxfde) / sizeof(ldxfde[0]) == LDX_NAMEROWS + 1);
static_assert(sizeof(ldxfdx) / sizeof(ldxfdx[0]) == LDX_SUFFIXROWS + 1);
