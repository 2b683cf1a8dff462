// Conversion of Gregorian dates into the handle's calendar and back: the era
// calendars (Japanese Imperial, ROC Official, Thai Buddha), the Persian
// calendar and the tabular lunar calendars with the file's deviations. The
// day arithmetic is the date library's (ldxnbeg, ldxdtd, ldxdfd); its errors
// long-jump back here through lxecerr and become status 88.
#include <csetjmp>
#include <cstdint>
#include <cstddef>
#include <cstdlib>

#include "ldx.h"
#include "lxe.h"
#include "lxeint.h"

// The jump point of a converter's date context. Only here: no object with a
// non-trivial destructor lives in the frames a date error jumps over.
#define LXE_DATE_JUMPED(jb) (setjmp(jb) != 0)

namespace {

constexpr int kDirToCal = 0;
constexpr int kDirToGreg = 1;
constexpr int32_t kNoEra = -1;
constexpr int kNowruzDay = 21;
constexpr int kPersianOffset = 621;   // Persian year + 621 = Gregorian year
constexpr int kLeapCountBias = 106;

// The date library under one begun context.
struct Dates {
  ldx_ctx *ctx;
  int32_t day(const ldx_date &d) const {
    ldx_julian j{};
    ldxdtd(ctx, &d, &j);
    return j.day;
  }
  ldx_date date(int32_t day) const {
    ldx_julian j{day, 0};
    ldx_date d{};
    ldxdfd(ctx, &j, &d);
    return d;
  }
  int16_t year_of(int32_t day) const { return date(day).year; }
};

using Body = int (*)(const Dates &, void *);

// Begins a date context on the stack and runs body in it; a date error
// returns 0 with status 88.
int with_dates(const lxlangid *h, lxglo *g, Body body, void *arg) {
  ldx_ctx ctx;
  jmp_buf jb;
  if (LXE_DATE_JUMPED(jb)) {
    if (g) g->status = LXE_ST_DATE;
    return 0;
  }
  ldxnbeg(&ctx, h, lxecerr, &jb, g ? g->table : nullptr, g);
  const Dates d{&ctx};
  return body(d, arg);
}

void fail(lxglo *g, uint32_t st) {
  if (g) g->status = st;
}

ldx_date with_time(ldx_date d, const ldx_date &time) {
  d.hour = time.hour;
  d.minute = time.minute;
  d.second = time.second;
  return d;
}

struct Job {
  const lxecal *cal;
  const lxlangid *h;
  ldx_date *out;
  ldx_date in;
  int32_t *era;
  lxglo *g;
};

// ---- Era calendars ----------------------------------------------------------

bool in_era(const lxeera &e, int32_t j) { return j >= e.first && (e.last == 0 || e.last >= j); }

int era_to_cal(const Dates &d, void *arg) {
  Job &w = *static_cast<Job *>(arg);
  const int32_t j = d.day(w.in);
  int32_t match = kNoEra, first = 0;
  lxeera e{};
  for (int n = 0; lxegera(w.cal, n, &e); ++n)
    if (in_era(e, j)) {
      match = n;
      first = e.first;
    }
  if (match < 0) {
    fail(w.g, LXE_ST_ERA);
    return 0;
  }
  ldx_date r = w.in;
  r.year = int16_t(w.in.year - d.year_of(first) + 1);
  *w.out = r;
  *w.era = match;
  return 1;
}

int era_to_greg(const Dates &d, void *arg) {
  Job &w = *static_cast<Job *>(arg);
  lxeera e{};
  if (!lxegera(w.cal, *w.era, &e)) {
    fail(w.g, LXE_ST_NOERA);
    return 0;
  }
  ldx_date r = w.in;
  r.year = int16_t(d.year_of(e.first) + w.in.year - 1);
  if (!in_era(e, d.day(r))) {
    fail(w.g, LXE_ST_ERA);
    return 0;
  }
  *w.out = r;
  *w.era = kNoEra;
  return 1;
}

// ---- Persian ------------------------------------------------------------------

// The day of March on which the Persian year begins in Gregorian year Y:
// base + the leap days of the 33-year cycle less the Gregorian leap days,
// as a signed byte.
int nowruz(int y_cycle, int gyear, int base) {
  int c = 0;
  if (y_cycle >= 0) c = 8 * (y_cycle / LXE_PCYCLE) + lxeNumLeapDaysPr[y_cycle % LXE_PCYCLE];
  const int greg = gyear / 4 - gyear / 100 + gyear / 400;
  return base + int(int8_t(uint8_t(c - greg - kLeapCountBias)));
}

struct PersianStart {
  int month;
  int day;
};

// Month and day of March 21 from month 1's Gregorian start text; status 83
// when the text is empty.
bool persian_start(const lxecal *cal, PersianStart *s, lxglo *g) {
  const char *t = cal->months[0].greg_start;
  if (!t || !*t) {
    fail(g, LXE_ST_NOSTART);
    return false;
  }
  char *end = nullptr;
  s->month = int(std::strtol(t, &end, 10));
  s->day = (end && *end == '-') ? int(std::strtol(end + 1, nullptr, 10)) : kNowruzDay;
  return true;
}

int32_t nowruz_day(const Dates &d, const PersianStart &s, int gyear) {
  ldx_date n{};
  n.year = int16_t(gyear);
  n.month = int8_t(s.month);
  n.day = int8_t(nowruz(gyear - 622, gyear, s.day));
  return d.day(n);
}

bool persian_leap(int pyear) {
  return pyear >= 0 && lxeLeapYrPr[pyear % LXE_PCYCLE] == 1;
}

int pers_to_cal(const Dates &d, void *arg) {
  Job &w = *static_cast<Job *>(arg);
  PersianStart s{};
  if (!persian_start(w.cal, &s, w.g)) return 0;
  const int32_t j = d.day(w.in);
  int base = w.in.year;
  int32_t n = nowruz_day(d, s, base);
  if (j < n) n = nowruz_day(d, s, --base);
  const int32_t doy = j - n + 1;
  const int pyear = base - kPersianOffset;
  const int extra = persian_leap(pyear) ? 1 : 0;
  for (int m = 0; m < w.cal->nmonths; ++m) {
    const lxemon &row = w.cal->months[m];
    if (doy >= row.first && doy <= row.last + (extra ? row.leap : 0)) {
      ldx_date r = w.in;
      r.year = int16_t(pyear);
      r.month = int8_t(row.num);
      r.day = int8_t(doy - row.first + 1);
      *w.out = r;
      return 1;
    }
  }
  fail(w.g, LXE_ST_NOMATCH);
  return 0;
}

int pers_to_greg(const Dates &d, void *arg) {
  Job &w = *static_cast<Job *>(arg);
  PersianStart s{};
  if (!persian_start(w.cal, &s, w.g)) return 0;
  // The input must be a valid date as the date library counts dates: one
  // that does not come back unchanged from its day number is not.
  const ldx_date back = d.date(d.day(w.in));
  if (back.year != w.in.year || back.month != w.in.month || back.day != w.in.day) {
    fail(w.g, LXE_ST_DATE);
    return 0;
  }
  const int m = w.in.month;
  int32_t doy;
  if (m <= 1)
    doy = w.in.day;
  else if (m > w.cal->nmonths) {
    fail(w.g, LXE_ST_DATE);
    return 0;
  } else
    doy = w.in.day + w.cal->months[m - 2].last;
  const int gyear = w.in.year + kPersianOffset;
  ldx_date n{};
  n.year = int16_t(gyear);
  n.month = int8_t(s.month);
  n.day = int8_t(w.in.year <= 0 ? s.day : nowruz(w.in.year - 1, gyear, s.day));
  *w.out = with_time(d.date(d.day(n) + doy - 1), w.in);
  return 1;
}

// ---- Lunar calendars ----------------------------------------------------------

struct Lunar {
  int32_t month, day, year;
};

int lunar_to_cal(const Dates &d, void *arg) {
  Job &w = *static_cast<Job *>(arg);
  const int32_t j = d.day(w.in);
  int16_t a = 0;  // the shifts wrap as 16-bit values
  int extra = 0;
  lxedev dev{};
  for (int n = 0; lxegdev(w.cal, n, &dev); ++n) {
    if (dev.jday > j) continue;
    Lunar l{};
    if (!lxecj2l(w.cal, dev.jday, a, &l.month, &l.day, nullptr, w.g)) continue;
    if (l.day == 29 || l.day == 30) a = int16_t(a + dev.shift);
    if (l.day == 1) {
      a = int16_t(a - (dev.shift - 10));
      if (dev.jday == j) extra = 1;
    }
  }
  Lunar l{};
  if (!lxecj2l(w.cal, j + a, 0, &l.month, &l.day, &l.year, w.g)) return 0;
  ldx_date r = w.in;
  r.year = int16_t(l.year);
  r.month = int8_t(l.month);
  r.day = int8_t(l.day + extra);
  *w.out = r;
  return 1;
}

int lunar_to_greg(const Dates &d, void *arg) {
  Job &w = *static_cast<Job *>(arg);
  const int q = int16_t(w.in.year - 1);
  const int c = q >= 0 ? q / LXE_CYCLE_YEARS : -((-q + LXE_CYCLE_YEARS - 1) / LXE_CYCLE_YEARS);
  const int yic = q - LXE_CYCLE_YEARS * c + 1;
  const lxeyrow *yr = nullptr;
  for (int i = 0; i < w.cal->nyears; ++i)
    if (w.cal->years[i].year == yic) yr = &w.cal->years[i];
  const lxemon *mon = nullptr;
  for (int i = 0; i < w.cal->nmonths; ++i)
    if (w.cal->months[i].num == w.in.month) mon = &w.cal->months[i];
  const int32_t g = mon ? mon->first - 1 + w.in.day : 0;
  if (!yr || g == 0) {
    fail(w.g, LXE_ST_NOMATCH);
    return 0;
  }
  // The file's shifts may add up past 32 bits: count in 64.
  int64_t j = LXE_EPOCH - 1 + int64_t(LXE_CYCLE_DAYS) * c + (yr->first - 1) + g;
  int64_t sum = 0;
  int32_t flag = 0;
  lxedev dev{};
  for (int n = 0; lxegdev(w.cal, n, &dev); ++n) {
    if (dev.jday > j - sum) continue;
    Lunar l{};
    if (sum < INT32_MIN || sum > INT32_MAX ||
        !lxecj2l(w.cal, dev.jday, int32_t(sum), &l.month, &l.day, nullptr, w.g))
      continue;
    if (l.day == 29 || l.day == 30) sum += dev.shift;
    if (l.day == 1) {
      if (dev.jday == j - sum) flag |= (w.in.day == 30);
      sum -= dev.shift - 10;
    }
  }
  j -= sum + flag;
  if (j < INT32_MIN || j > INT32_MAX) {
    fail(w.g, LXE_ST_DATE);
    return 0;
  }
  *w.out = with_time(d.date(int32_t(j)), w.in);
  return 1;
}

// Shared start of the converters: the record, calendar 0, the direction.
int convert(const lxlangid *h, ldx_date *out, const ldx_date *in, int dir, int32_t *era,
            lxglo *g, const lxlangid *date_handle, Body to_cal, Body to_greg) {
  const lxecal *cal = lxe::record(h);
  if (!cal) {
    fail(g, LXE_ST_NOCAL);
    return 0;
  }
  if (h->cal == 0) {
    fail(g, LXE_ST_GREG);
    return 0;
  }
  if (dir != kDirToCal && dir != kDirToGreg) {
    fail(g, LXE_ST_DIR);
    return 0;
  }
  int32_t era_local = kNoEra;
  Job job{cal, h, out, *in, era ? era : &era_local, g};
  return with_dates(date_handle, g, dir == kDirToCal ? to_cal : to_greg, &job);
}

}  // namespace

extern "C" {

void lxecerr(void *ctx, int err) {
  auto *jb = ctx ? static_cast<jmp_buf *>(static_cast<ldx_ctx *>(ctx)->cbarg) : nullptr;
  if (!jb) std::abort();  // a date context that no converter began
  std::longjmp(*jb, err ? err : 1);
}

int lxecg2i(const lxlangid *h, ldx_date *out, const ldx_date *in, int dir, int32_t *era,
            lxglo *glo) {
  return convert(h, out, in, dir, era, glo, h, era_to_cal, era_to_greg);
}

int lxecg2e(const lxlangid *h, ldx_date *out, const ldx_date *in, int dir, int32_t *era,
            lxglo *glo) {
  if (era) *era = kNoEra;
  if (!h) return convert(h, out, in, dir, era, glo, h, pers_to_cal, pers_to_greg);
  // The date library computes in Gregorian: it gets the handle without the
  // calendar.
  lxlangid greg = *h;
  greg.cal = 0;
  return convert(h, out, in, dir, era, glo, &greg, pers_to_cal, pers_to_greg);
}

int lxecg2l(const lxlangid *h, ldx_date *out, const ldx_date *in, int dir, int32_t *era,
            lxglo *glo) {
  if (era) *era = kNoEra;
  return convert(h, out, in, dir, era, glo, h, lunar_to_cal, lunar_to_greg);
}

int lxecj2l(const lxecal *cal, int32_t jday, int32_t adjust, int32_t *month, int32_t *day,
            int32_t *year, lxglo *glo) {
  if (!cal || !cal->years || !month || !day) {
    fail(glo, LXE_ST_NOMATCH);
    return 0;
  }
  // Days of a calendar file may be anything: count in 64 bits.
  const int64_t k = (int64_t(jday) + adjust - LXE_EPOCH) % LXE_CYCLE_DAYS + 1;
  const lxeyrow *yr = nullptr;
  for (int i = 0; i < cal->nyears && !yr; ++i)
    if (k >= cal->years[i].first && k <= cal->years[i].last) yr = &cal->years[i];
  if (!yr) {
    fail(glo, LXE_ST_EPOCH);
    return 0;
  }
  const int32_t g = int32_t(k - yr->first + 1);
  for (int i = 0; i < cal->nmonths; ++i) {
    const lxemon &m = cal->months[i];
    if (g >= m.first && g <= m.last + (yr->leap ? m.leap : 0)) {
      *month = m.num;
      *day = g - m.first + 1;
      if (year)
        *year = int32_t(LXE_CYCLE_YEARS * ((int64_t(jday) - LXE_EPOCH) / LXE_CYCLE_DAYS) + yr->year);
      return 1;
    }
  }
  fail(glo, LXE_ST_NOMATCH);
  return 0;
}

int lxeg2u(const lxlangid *h, ldx_date *out, const ldx_date *in, int32_t *era, lxglo *glo) {
  if (glo) glo->status = 0;
  if (!out || !in) return 0;
  // In and out may be one record: read the input before clearing the output.
  const ldx_date date = *in;
  *out = ldx_date{};
  int32_t era_local = kNoEra;
  int32_t *e = era ? era : &era_local;
  const lxecal *cal = lxe::record(h);
  if (!cal) {
    fail(glo, LXE_ST_NOCAL);
    return 0;
  }
  if (!cal->convert) {
    *out = date;
    *e = kNoEra;
    return 1;
  }
  return cal->convert(h, out, &date, kDirToCal, e, glo);
}

}  // extern "C"
