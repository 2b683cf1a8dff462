// The English number speller (see lxsp.h).
//
// A number is written as decimal digits, right-justified with "0" in the
// smallest boundary field of 3, 6 or 9 digits that holds it, and read in
// groups of three: each group by the language's rule string, followed by its
// group name. The ordinal changes the end of the text by the mark of the
// last rule applied. The text is composed in a work area far larger than
// the longest text (nine digits) and checked against the caller's length.
#include "lxsp.h"

#include <array>
#include <string.h>

#include "lxc.h"
#include "lxg.h"
#include "lxh.h"
#include "lxmint.h"
#include "vzclient.h"

namespace {

// ---- tables --------------------------------------------------------------

// An entry: a length byte, a second byte and the text, in a fixed size.
template <size_t N>
using Entry = std::array<uint8_t, N>;

template <size_t N>
constexpr Entry<N> entry(const char *text, uint8_t second = 0) {
  Entry<N> e{};
  size_t n = 0;
  while (text[n]) ++n;
  e[0] = uint8_t(n);
  e[1] = second;
  for (size_t i = 0; i < n && i + 2 < N; ++i) e[i + 2] = uint8_t(text[i]);
  return e;
}

template <size_t N, size_t C>
constexpr std::array<Entry<N>, C> table(const char *const (&texts)[C], const uint8_t *second = nullptr) {
  std::array<Entry<N>, C> t{};
  for (size_t i = 0; i < C; ++i) t[i] = entry<N>(texts[i], second ? second[i] : 0);
  return t;
}

constexpr const char *kOnes[19] = {"one",     "two",     "three",     "four",     "five",
                                   "six",     "seven",   "eight",     "nine",     "ten",
                                   "eleven",  "twelve",  "thirteen",  "fourteen", "fifteen",
                                   "sixteen", "seventeen", "eighteen", "nineteen"};
constexpr const char *kTens[8] = {"twenty", "thirty", "forty", "fifty",
                                  "sixty",  "seventy", "eighty", "ninety"};
constexpr const char *kHundred[1] = {"hundred"};
constexpr const char *kGroups[2] = {"thousand", "million"};
constexpr const char *kAnd[1] = {"and"};
constexpr const char *kFirst[1] = {"first"};

constexpr auto lxsplq = table<12>(kOnes);    // 1 to 19
constexpr auto lxsplp = table<19>(kTens);    // tens 2 to 9
constexpr auto lxsplh = table<11>(kHundred);
constexpr auto lxsplg = table<12>(kGroups);  // group names of groups 1 and 2
constexpr auto lxsplz = table<7>(kAnd);
constexpr auto lxspl1 = table<11>(kFirst);
constexpr char zero[] = "zero";
constexpr char zeroeth[] = "zeroeth";

// Group boundaries: digit counts of the fields.
constexpr uint32_t lxsplbr[4] = {0, 3, 6, 9};
constexpr size_t kMaxDigits = 9;

// Language rule record: flags, the group rule string, the word separator
// and an entry of length 255 ("none").
constexpr uint16_t kFlagGroupOfOne = 0x1;   // special treatment of a group of value 1
constexpr uint16_t kFlagPluralHundred = 0x2;
constexpr uint16_t kFlagAndBeforeOne = 0x4;
constexpr uint8_t kNone = 255;
struct RuleRecord {
  uint16_t flags;
  char rule[8];
  uint8_t sep_len, sep_second;
  char sep[2];
  uint8_t none_len, none_second;
};
static_assert(sizeof(RuleRecord) == 16);
constexpr RuleRecord lxsplrl[1] = {{0, "A H N", 1, 0, {' ', 0}, kNone, 0}};

// Two-digit rules for 20 to 99.
constexpr auto make_r2() {
  std::array<std::array<char, 6>, 80> t{};
  for (unsigned v = 20; v < 100; ++v) {
    auto &e = t[v - 20];
    e[0] = 'P';
    if (v % 10) {
      e[1] = '-';
      e[2] = 'A';
    }
  }
  return t;
}
constexpr auto lxsplr2 = make_r2();

// Ordinal tables: a length byte, a count of characters to cut from the end
// and the replacement text.
constexpr const char *kOrdText[19] = {"first", "second", "ird", "th", "fth", "th", "th", "h", "th",
                                      "th",    "th",     "fth", "th", "th",  "th", "th", "th", "th",
                                      "th"};
constexpr uint8_t kOrdCut[19] = {3, 3, 3, 0, 2, 0, 0, 0, 1, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0};
constexpr auto lxsplod = table<9>(kOrdText, kOrdCut);
constexpr const char *kTensOrd[8] = {"ieth", "ieth", "ieth", "ieth", "ieth", "ieth", "ieth", "ieth"};
constexpr uint8_t kTensCut[8] = {1, 1, 1, 1, 1, 1, 1, 1};
constexpr auto lxsplop = table<7>(kTensOrd, kTensCut);
constexpr const char *kUnitOrd[3] = {"th", "th", "th"};
constexpr auto lxsplog = table<7>(kUnitOrd);

// Plural forms of the flag-driven variants: empty for English.
constexpr std::array<uint8_t, 32> lxsplx{};
constexpr std::array<uint8_t, 6> lxsplh2{};

// Suffixes of 0 to 19.
constexpr const char *kSuffix[20] = {"th", "st", "nd", "rd", "th", "th", "th", "th", "th", "th",
                                     "th", "th", "th", "th", "th", "th", "th", "th", "th", "th"};
constexpr auto lxsple2 = table<6>(kSuffix);

// Marks of the last rule applied (besides the group numbers 1 and 2).
constexpr int kMarkNone = -1, kMarkUnit = 0;
constexpr int kMarkA = 'A', kMarkD = 'D', kMarkP = 'P';

constexpr size_t kWork = 256;        // far above the longest text
constexpr int32_t kNoValue = -1;
constexpr uint32_t kStatusRoom = 6;

// Writes the text of an entry (length byte, second byte, text).
void put(char *&out, const uint8_t *e) {
  memcpy(out, e + 2, e[0]);
  out += e[0];
}

// ---- conversion to the handle's charset ------------------------------------

// Copies or converts the US7ASCII text to the handle's charset; NULL when
// the output cannot take all of it.
char *deliver(const lxlangid *h, const char *text, size_t n, char *out, size_t outlen, bool raw,
              lxglo *glo) {
  if (n > outlen) {
    glo->status = kStatusRoom;
    return nullptr;
  }
  const lxcsobj *mine = lxhci2h(lxsplang.csid, glo);
  const lxcsobj *theirs = lxmi::charset(h, glo);
  if (raw || theirs == mine || theirs == nullptr) {
    memcpy(out, text, n);
    return out + n;
  }
  if (mine == nullptr) return nullptr;
  size_t w = lxgcnv(out, theirs, outlen, text, mine, n, glo);
  if (glo->status != 0 || glo->nbytes != n) return nullptr;  // cut short
  return out + w;
}

}  // namespace

extern "C" {

const lxsplcfg lxsplang = {0, LXCS_US7ASCII};

int lxsplndo(int rule, char **out, const char **digit, uint16_t lang, int32_t value, int *mark) {
  const RuleRecord &rl = lxsplrl[lang < 1 ? lang : 0];
  const char *d = *digit;
  switch (rule) {
    case 'A':
    case 'B': {
      int v = value >= 0 ? value % 10 : *d - '0';
      if (v != 0 && !(rule == 'B' && v == 1)) {
        put(*out, lxsplq[size_t(v - 1)].data());
        *mark = kMarkA;
      }
      *digit = d + 1;
      return 0;
    }
    case 'D': {
      int v = value % 20;
      if (v > 0) put(*out, lxsplq[size_t(v - 1)].data());
      *mark = kMarkD;
      *digit = d + 1;
      return 0;
    }
    case 'P':
    case 'O': {
      int v = (rule == 'O' ? value - 10 : value) / 10;
      if (v >= 2 && v <= 9) put(*out, lxsplp[size_t(v - 2)].data());
      *mark = kMarkP;
      *digit = d + 1;
      return 0;
    }
    case 'N': {
      int v = (d[0] - '0') * 10 + (d[1] - '0');
      const char *sub = d;
      if (v >= 1 && v <= 19) {
        lxsplndo('D', out, &sub, lang, v, mark);
      } else if (v >= 20) {
        for (char r : lxsplr2[size_t(v - 20)]) {
          if (r == 0) break;
          if (lxsplndo(r, out, &sub, lang, v, mark)) return 1;
        }
      }
      *digit = d + 2;
      return 0;
    }
    case 'H':
      if (d[-1] != '0') {
        put(*out, lxsplh[0].data());
        if ((rl.flags & kFlagPluralHundred) && d[-1] != '1') {
          memcpy(*out, &lxsplh2[2], lxsplh2[0]);
          *out += lxsplh2[0];
        }
        *mark = kMarkUnit;
      }
      return 0;
    case ' ':
      if (d[-1] != '0') *(*out)++ = ' ';
      return 0;
    case '_':
      if (d[-1] != '0' && d[-1] != '1') *(*out)++ = ' ';
      return 0;
    case '-':
      *(*out)++ = '-';
      return 0;
    case '&':
      put(*out, lxsplz[0].data());
      return 0;
    default:
      return 1;
  }
}

char *lxspln(const lxlangid *h, uint32_t number, char *out, size_t outlen, uint32_t flags,
             lxglo *glo) {
  glo->status = 0;
  const bool ordinal = (flags & LXSPL_ORDINAL) != 0;
  const bool raw = (flags & LXSPL_RAW) != 0;
  if (number == 0) {
    const char *w = ordinal ? zeroeth : zero;
    return deliver(h, w, strlen(w), out, outlen, raw, glo);
  }
  if (number == 1 && ordinal) return deliver(h, reinterpret_cast<const char *>(&lxspl1[0][2]),
                                             lxspl1[0][0], out, outlen, raw, glo);
  // Digits, right-justified in their boundary field.
  char digits[kMaxDigits + 2];
  char field[kMaxDigits + 2];
  int n = lcv42b(digits, number, 10);
  if (n <= 0 || size_t(n) > kMaxDigits) return nullptr;  // group names end at millions
  digits[n] = '\0';
  size_t width = 0;
  for (uint32_t b : lxsplbr)
    if (b >= uint32_t(n)) {
      width = b;
      break;
    }
  lstrj(field, digits, width, '0', nullptr);

  const RuleRecord &rl = lxsplrl[lxsplang.lang];
  const char sep = rl.sep[0];
  char work[kWork];
  char *w = work;
  // the digit before the first group: a "0" for the rules that look back
  char digitbuf[kMaxDigits + 2] = "0";
  memcpy(digitbuf + 1, field, width + 1);
  const char *d = digitbuf + 1;
  int mark = kMarkNone;
  uint32_t lastgroup = 0;
  const size_t groups = width / 3;
  for (size_t g = 0; g < groups; ++g) {
    const char *gd = d + 3 * g;
    uint32_t gv = 0;
    lcvb24(gd, 3, &gv, 10);
    if (gv == 0) continue;
    lastgroup = gv;
    const char *p = gd;
    for (const char *r = rl.rule; *r; ++r)
      if (lxsplndo(*r, &w, &p, lxsplang.lang, kNoValue, &mark)) return nullptr;
    const size_t fromright = groups - 1 - g;
    if (fromright >= 1) {
      if (w == work || w[-1] != sep) *w++ = sep;  // one blank before the name
      put(w, lxsplg[fromright - 1].data());
      *w++ = sep;
      mark = int(fromright);
    }
  }
  if (w > work && w[-1] == sep) --w;
  if (ordinal) {
    const uint8_t *e;
    switch (mark) {
      case kMarkA: e = lxsplod[lastgroup % 10 - 1].data(); break;
      case kMarkD: e = lxsplod[lastgroup % 100 % 20 - 1].data(); break;
      case kMarkP: e = lxsplop[0].data(); break;
      case kMarkUnit:
      case 1:
      case 2: e = lxsplog[size_t(mark)].data(); break;
      default: return nullptr;
    }
    if (size_t(w - work) < e[1]) return nullptr;
    w -= e[1];
    memcpy(w, e + 2, e[0]);
    w += e[0];
  }
  return deliver(h, work, size_t(w - work), out, outlen, raw, glo);
}

char *lxsplth(const lxlangid *h, uint32_t number, char *out, size_t outlen, lxglo *glo) {
  glo->status = 0;
  if (number == 0) return nullptr;
  uint32_t n = number % 100;
  if (n > 19) n %= 10;
  const auto &e = lxsple2[n];
  if (outlen <= e[0]) return nullptr;
  return deliver(h, reinterpret_cast<const char *>(&e[2]), e[0], out, outlen, false, glo);
}

char *lxsply(const lxlangid *h, int32_t year, char *out, size_t outlen, lxglo *glo) {
  glo->status = 0;
  if (lxsplang.lang != 0 || year < 0) return nullptr;
  if (year % 100 < 10) return lxspln(h, uint32_t(year), out, outlen, 0, glo);
  char work[kWork];
  char *w = work;
  const char sep = lxsplrl[lxsplang.lang].sep[0];
  if (year / 100 != 0) {
    w = lxspln(h, uint32_t(year / 100), w, sizeof work - 1, LXSPL_RAW, glo);
    if (w == nullptr) return nullptr;
    *w++ = sep;
  }
  w = lxspln(h, uint32_t(year % 100), w, sizeof work - size_t(w - work), LXSPL_RAW, glo);
  if (w == nullptr) return nullptr;
  return deliver(h, work, size_t(w - work), out, outlen, false, glo);
}

}  // extern "C"

static_assert(lxsplod[2][1] == 3 && lxsplod[2][2] == 'i');
static_assert(sizeof lxsplx == 32 && lxsplx[0] == 0);
static_assert((lxsplrl[0].flags & (kFlagGroupOfOne | kFlagAndBeforeOne)) == 0);
