// The static calendar records, their month, era and lunar-year tables, the
// calendar table and the Persian leap tables.
#include <array>

#include "lxe.h"

namespace {

constexpr uint16_t kGregFirst[LXE_MONTHS] = {1, 32, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335};
constexpr uint16_t kGregLast[LXE_MONTHS] = {31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};
constexpr const char *kGregStart[LXE_MONTHS] = {"01-01", "02-01", "03-01", "04-01", "05-01", "06-01",
                                                "07-01", "08-01", "09-01", "10-01", "11-01", "12-01"};
constexpr const char *kGregEnd[LXE_MONTHS] = {"01-31", "02-28", "03-31", "04-30", "05-31", "06-30",
                                              "07-31", "08-31", "09-30", "10-31", "11-30", "12-31"};
constexpr const char *kDigits[LXE_MONTHS] = {"1", "2", "3", "4", "5", "6",
                                             "7", "8", "9", "10", "11", "12"};

constexpr uint8_t len(const char *s) {
  uint8_t n = 0;
  while (s[n]) ++n;
  return n;
}

// Gregorian month ranges; names and abbreviations as given.
constexpr std::array<lxemon, LXE_MONTHS> gregorian(const char *const *names,
                                                   const char *const *abbrs) {
  std::array<lxemon, LXE_MONTHS> m{};
  for (int i = 0; i < LXE_MONTHS; ++i)
    m[i] = {uint8_t(i + 1), names[i], abbrs[i], len(names[i]), len(abbrs[i]), kGregFirst[i],
            kGregLast[i], kGregStart[i], kGregEnd[i], int16_t(i == 1)};
  return m;
}

// Month names: the number followed by the two-byte month sign.
constexpr const char *kSignB7EE[LXE_MONTHS] = {
    "1\xB7\xEE", "2\xB7\xEE", "3\xB7\xEE", "4\xB7\xEE", "5\xB7\xEE", "6\xB7\xEE",
    "7\xB7\xEE", "8\xB7\xEE", "9\xB7\xEE", "10\xB7\xEE", "11\xB7\xEE", "12\xB7\xEE"};
constexpr const char *kSignC5CC[LXE_MONTHS] = {
    "1\xC5\xCC", "2\xC5\xCC", "3\xC5\xCC", "4\xC5\xCC", "5\xC5\xCC", "6\xC5\xCC",
    "7\xC5\xCC", "8\xC5\xCC", "9\xC5\xCC", "10\xC5\xCC", "11\xC5\xCC", "12\xC5\xCC"};
constexpr const char *kThaiNames[LXE_MONTHS] = {
    "\xC1\xA1\xC3\xD2\xA4\xC1", "\xA1\xD8\xC1\xC0\xD2\xBE\xD1\xB9\xB8\xEC",
    "\xC1\xD5\xB9\xD2\xA4\xC1", "\xE0\xC1\xC9\xD2\xC2\xB9", "\xBE\xC4\xC9\xC0\xD2\xA4\xC1",
    "\xC1\xD4\xB6\xD8\xB9\xD2\xC2\xB9", "\xA1\xC3\xA1\xAE\xD2\xA4\xC1",
    "\xCA\xD4\xA7\xCB\xD2\xA4\xC1", "\xA1\xD1\xB9\xC2\xD2\xC2\xB9", "\xB5\xD8\xC5\xD2\xA4\xC1",
    "\xBE\xC4\xC8\xA8\xD4\xA1\xD2\xC2\xB9", "\xB8\xD1\xB9\xC7\xD2\xA4\xC1"};
constexpr const char *kThaiAbbrs[LXE_MONTHS] = {
    "\xC1.\xA4.", "\xA1.\xBE.", "\xC1\xD5.\xA4.", "\xE0\xC1.\xC2.", "\xBE.\xA4.", "\xC1\xD4.\xC2.",
    "\xA1.\xA4.", "\xCA.\xA4.", "\xA1.\xC2.", "\xB5.\xA4.", "\xBE.\xC2.", "\xB8.\xA4."};

constexpr auto kMonGreg = gregorian(kSignB7EE, kDigits);
constexpr auto kMonRoc = gregorian(kSignC5CC, kDigits);
constexpr auto kMonThai = gregorian(kThaiNames, kThaiAbbrs);

constexpr const char *kPersian[LXE_MONTHS] = {"Farwarden", "Aordebhsht", "Khordad", "Te",
                                              "Amordad", "Shahruoar", "Mehr", "Aban",
                                              "Athar", "Dei", "Bahman", "Esfand"};
constexpr uint16_t kPersFirst[LXE_MONTHS] = {1, 32, 63, 94, 125, 156, 187, 217, 247, 277, 307, 337};
constexpr uint16_t kPersLast[LXE_MONTHS] = {31, 62, 93, 124, 155, 186, 216, 246, 276, 306, 336, 365};
constexpr const char *kPersStart[LXE_MONTHS] = {"03-21", "04-21", "05-22", "06-22", "07-23", "08-23",
                                                "09-23", "10-23", "11-22", "12-22", "01-21", "02-20"};

constexpr std::array<lxemon, LXE_MONTHS> persian() {
  std::array<lxemon, LXE_MONTHS> m{};
  for (int i = 0; i < LXE_MONTHS; ++i)
    m[i] = {uint8_t(i + 1), kPersian[i], "", len(kPersian[i]), 0, kPersFirst[i], kPersLast[i],
            kPersStart[i], "", int16_t(i == 11)};
  return m;
}
constexpr auto kMonPers = persian();

// Lunar months: 30 and 29 days alternating, the leap day in month 12.
constexpr std::array<lxemon, LXE_MONTHS> lunar(const char *const *names) {
  std::array<lxemon, LXE_MONTHS> m{};
  uint16_t first = 1;
  for (int i = 0; i < LXE_MONTHS; ++i) {
    uint16_t days = i % 2 == 0 ? 30 : 29;
    m[i] = {uint8_t(i + 1), names[i], names[i], len(names[i]), len(names[i]), first,
            uint16_t(first + days - 1), "", "", int16_t(i == 11)};
    first = uint16_t(first + days);
  }
  return m;
}
constexpr const char *kHijrahEn[LXE_MONTHS] = {
    "Muharram", "Safar", "Rabi' Awwal", "Rabi' Thani", "Jamada El Oula", "Jamada El Thaniah",
    "Rajab", "Sha'ban", "Ramadan", "Shawwal", "Thoul Ki'dah", "Thoul Hijjah"};
constexpr const char *kHijrahAr[LXE_MONTHS] = {
    "\xE5\xCD\xD1\xE5", "\xD5\xE1\xD1", "\xD1\xC8\xEA\xD9 \xC7\xE4\xC3\xE8\xE4",
    "\xD1\xC8\xEA\xD9 \xC7\xE4\xCB\xC7\xE6\xEA", "\xCC\xE5\xC7\xCF\xEA \xC7\xE4\xC3\xE8\xE4\xE9",
    "\xCC\xE5\xC7\xCF\xEA \xC7\xE4\xCB\xC7\xE6\xEA\xC9", "\xD1\xCC\xC8", "\xD4\xD9\xC8\xC7\xE6",
    "\xD1\xE5\xD6\xC7\xE6", "\xD4\xE8\xC7\xE4", "\xD0\xE8 \xC7\xE4\xE2\xD9\xCF\xC9",
    "\xD0\xE8 \xC7\xE4\xCD\xCC\xC9"};
constexpr auto kMonAr = lunar(kHijrahAr);
constexpr auto kMonEn = lunar(kHijrahEn);

// The 30-year lunar cycle: 354 days, 355 in the leap years.
constexpr bool lunar_leap(int y) {
  constexpr int leaps[] = {2, 5, 7, 10, 13, 16, 18, 21, 24, 26, 29};
  for (int l : leaps)
    if (l == y) return true;
  return false;
}
constexpr std::array<lxeyrow, LXE_CYCLE_YEARS> cycle() {
  std::array<lxeyrow, LXE_CYCLE_YEARS> r{};
  uint16_t first = 1;
  for (int y = 1; y <= LXE_CYCLE_YEARS; ++y) {
    uint8_t leap = lunar_leap(y) ? 1 : 0;
    r[y - 1] = {uint8_t(y), 0, first, uint16_t(first + 353 + leap), leap, 0};
    first = uint16_t(first + 354 + leap);
  }
  return r;
}
constexpr auto kCycle = cycle();
static_assert(kCycle[LXE_CYCLE_YEARS - 1].last == LXE_CYCLE_DAYS);

constexpr lxeerow era(const char *name, const char *abbr, int32_t first, int32_t last) {
  return {{name, abbr, "", ""}, {len(name), len(abbr), 0, 0}, first, last};
}
constexpr lxeerow kErasJi[] = {era("\xCC\xC0\xBC\xA3", "M", 2403584, 2419613),
                               era("\xC2\xE7\xC0\xB5", "T", 2419614, 2424874),
                               era("\xBE\xBC\xCF\xC2", "S", 2424875, 2447534),
                               era("\xCA\xBF\xC0\xAE", "H", 2447535, 0)};
constexpr lxeerow kErasCo[] = {
    era("\xC4\xE3\xE1\xDE\xC6\xE1\xD9\xCF", "\xC6\xE1\xD9\xCF", 2419403, 0)};
constexpr lxeerow kErasTb[] = {
    era("\xBE\xD8\xB7\xB8\xC8\xD1\xA1\xC3\xD2\xAA", "\xBE.\xC8.", 1523093, 0)};

constexpr const char kFmtJi[] = "EEYY\"\xC7\xAF\"MM\"\xB7\xEE\"DD\"\xC6\xFC\"";
constexpr const char kFmtCo[] = "EEyy\"\xC8\xA1\"mm\"\xC5\xCC\"dd\"\xC5\xCA\"";
constexpr const char kFmtTb[] = "\"\xC7\xD1\xB9\xB7\xD5\xE8\" dd month EE yyyy";
constexpr const char kFmtDmy[] = "DD Month YYYY";

}  // namespace

extern "C" {

const uint8_t lxeLeapYrPr[LXE_PCYCLE] = {0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0,
                                         1, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0};
const uint8_t lxeNumLeapDaysPr[LXE_PCYCLE] = {0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4,
                                              5, 5, 5, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7, 8, 8, 8};

const lxecal lxetnul = {"", "", 0, "", "", 0, 0, LXE_MONTHS, 0, nullptr, nullptr,
                        kMonGreg.data(), 4, 2, nullptr, nullptr};
const lxecal lxeji = {"Japanese Imperial", "ji", 830, "Japanese - Imperial Calendar", kFmtJi,
                      4, 0, LXE_MONTHS, 0, kErasJi, nullptr, kMonGreg.data(), 4, 2, nullptr,
                      lxecg2i};
const lxecal lxeco = {"ROC Official", "co", 860, "Republic of China - Official/Solar calendar",
                      kFmtCo, 1, 0, LXE_MONTHS, 0, kErasCo, nullptr, kMonRoc.data(), 4, 2,
                      nullptr, lxecg2i};
const lxecal lxetb = {"Thai Buddha", "tb", 41, "Thailand - buddha calendar", kFmtTb, 1, 0,
                      LXE_MONTHS, 0, kErasTb, nullptr, kMonThai.data(), 10, 5, nullptr, lxecg2i};
const lxecal lxepg = {"Persian", "pg", 500, "Persian - Gregorian equivalent calendar", kFmtDmy,
                      0, 0, LXE_MONTHS, 0, nullptr, nullptr, kMonPers.data(), 10, 0, nullptr,
                      lxecg2e};
const lxecal lxeah = {"Arabic Hijrah", "ah", 36, "Arabic Hijrah - Lunar calendar", kFmtDmy, 0,
                      LXE_CYCLE_YEARS, LXE_MONTHS, 0, nullptr, kCycle.data(), kMonAr.data(), 13,
                      13, nullptr, lxecg2l};
const lxecal lxeeh = {"English Hijrah", "eh", 1, "English Hijrah - Lunar calendar", kFmtDmy, 0,
                      LXE_CYCLE_YEARS, LXE_MONTHS, 0, nullptr, kCycle.data(), kMonEn.data(), 17,
                      17, nullptr, lxecg2l};

const lxecal *const lxetbn[LXE_NCAL + 1] = {&lxetnul, &lxeji, &lxeco, &lxetb,
                                            &lxepg,   &lxeah, &lxeeh, nullptr};

}  // extern "C"
