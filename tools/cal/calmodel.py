#!/usr/bin/env python3
"""Reference model of the calendar arithmetic, independent of the C++ code.

The day count of the date library (day 1 is 1 January -4712, Julian calendar
up to 4 October 1582, Gregorian from 15 October 1582, a reserved year 0) is
computed here from Python's datetime for Gregorian days and from the
Julian-day formula before 15 October 1582, not from the library's own
formulas. On top of it: the era calendars (1-3), the Persian calendar (4)
and the tabular lunar calendars (5, 6) with optional deviations.

Used by tests (check mode) and by hand:
  calmodel.py check DUMP_PROGRAM [CALW]
      compares the program's conversions with the model (see
      tests/kit/numbers/ldx); with the calendar-file writer also the lunar
      calendars under deviations that shift them both ways
"""
import datetime
import functools
import subprocess
import sys

GREG_START = 2299161            # 1582-10-15
ORD_OFFSET = 1721425            # day number - proleptic Gregorian ordinal
EPOCH = 1948440                 # lunar day 1 of year 1
CYCLE_DAYS = 10631
LUNAR_LEAP = {2, 5, 7, 10, 13, 16, 18, 21, 24, 26, 29}
PERS_LEAP = {1, 5, 9, 13, 17, 22, 26, 30}
PERS_LEAPS_BEFORE = [0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4,
                     5, 5, 5, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7, 8, 8, 8]
ERAS = {1: [2403584, 2419614, 2424875, 2447535], 2: [2419403], 3: [1523093]}
ERA_LAST = {1: [2419613, 2424874, 2447534, 0], 2: [0], 3: [0]}


def julian_jdn(y, m, d):
    """Julian-calendar day number (astronomical years)."""
    a = (14 - m) // 12
    yy = y + 4800 - a
    mm = m + 12 * a - 3
    return d + (153 * mm + 2) // 5 + 365 * yy + yy // 4 - 32083


def day_of(y, m, d):
    """The date library's day number of a valid date from 1 January -4711."""
    if (y, m, d) >= (1582, 10, 15):
        return datetime.date(y, m, d).toordinal() + ORD_OFFSET
    return julian_jdn(y, m, d)


def date_of(j):
    """Date of a day number (from -4711 on)."""
    if j >= GREG_START:
        dt = datetime.date.fromordinal(j - ORD_OFFSET)
        return dt.year, dt.month, dt.day
    # Julian calendar: invert by search around the estimate.
    y = (j - 1721424) * 4 // 1461 + 1
    while julian_jdn(y, 1, 1) > j:
        y -= 1
    while julian_jdn(y + 1, 1, 1) <= j:
        y += 1
    m = 1
    while m < 12 and julian_jdn(y, m + 1, 1) <= j:
        m += 1
    return y, m, j - julian_jdn(y, m, 1) + 1


def gyear_of(j):
    return date_of(j)[0]


# ---- era calendars ----------------------------------------------------------

def era_g2c(cal, y, m, d):
    j = day_of(y, m, d)
    match = None
    for n, first in enumerate(ERAS[cal]):
        last = ERA_LAST[cal][n]
        if j >= first and (last == 0 or last >= j):
            match = n
    if match is None:
        return 85
    return (y - gyear_of(ERAS[cal][match]) + 1, m, d, match)


def era_c2g(cal, y, m, d, era):
    return (gyear_of(ERAS[cal][era]) + y - 1, m, d)


# ---- Persian ------------------------------------------------------------------

def nowruz(y_cycle, gyear):
    c = 0
    if y_cycle >= 0:
        c = 8 * (y_cycle // 33) + PERS_LEAPS_BEFORE[y_cycle % 33]
    v = (c - (gyear // 4 - gyear // 100 + gyear // 400) - 106) & 0xFF
    return 21 + (v - 256 if v >= 128 else v)


PERS_FIRST = [1, 32, 63, 94, 125, 156, 187, 217, 247, 277, 307, 337]
PERS_LAST = [31, 62, 93, 124, 155, 186, 216, 246, 276, 306, 336, 365]


@functools.lru_cache(maxsize=None)
def pers_year_start(gyear):
    """Day number of the Persian new year that falls in Gregorian `gyear`."""
    return day_of(gyear, 3, nowruz(gyear - 622, gyear))


def pers_g2c(y, m, d):
    j = day_of(y, m, d)
    base = y
    n = pers_year_start(base)
    if j < n:
        base -= 1
        n = pers_year_start(base)
    doy = j - n + 1
    py = base - 621
    leap = py >= 0 and (py % 33) in PERS_LEAP
    for i in range(12):
        last = PERS_LAST[i] + (1 if leap and i == 11 else 0)
        if PERS_FIRST[i] <= doy <= last:
            return (py, i + 1, doy - PERS_FIRST[i] + 1, -1)
    return 82


def ldx_leap(y):
    if y % 4:
        return False
    if y <= 1582:
        return y != -4712
    return y % 100 != 0 or y % 400 == 0


MONTH_DAYS = [31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31]


def ldx_valid(y, m, d):
    """A date the date library gives back unchanged from its day number."""
    if not 1 <= m <= 12 or d < 1:
        return False
    if y == 1582 and m == 10 and 5 <= d <= 14:
        return False
    return d <= MONTH_DAYS[m - 1] + (1 if m == 2 and ldx_leap(y) else 0)


def pers_c2g(y, m, d):
    if not ldx_valid(y, m, d):
        return None         # status 88: the input is checked as a date first
    doy = d if m <= 1 else d + PERS_LAST[m - 2]
    return date_of(pers_c2g_start(y) + doy - 1)


@functools.lru_cache(maxsize=None)
def pers_c2g_start(y):
    """Day number the conversion back takes as Persian year y's first day."""
    gy = y + 621
    dd = 21 if y <= 0 else nowruz(y - 1, gy)
    return day_of(gy, 3, dd)


# ---- lunar -----------------------------------------------------------------

def cycle_rows():
    rows, first = [], 1
    for y in range(1, 31):
        n = 355 if y in LUNAR_LEAP else 354
        rows.append((y, first, first + n - 1, y in LUNAR_LEAP))
        first += n
    return rows


ROWS = cycle_rows()
LMON_FIRST = [1, 31, 60, 90, 119, 149, 178, 208, 237, 267, 296, 326]
LMON_LAST = [30, 59, 89, 118, 148, 177, 207, 236, 266, 295, 325, 354]


def tdiv(a, b):
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b >= 0) else -q


def tmod(a, b):
    return a - b * tdiv(a, b)


def j2l(j, adj):
    k = tmod(j + adj - EPOCH, CYCLE_DAYS) + 1
    for (y, first, last, leap) in ROWS:
        if first <= k <= last:
            g = k - first + 1
            for i in range(12):
                if LMON_FIRST[i] <= g <= LMON_LAST[i] + (1 if leap and i == 11 else 0):
                    return (30 * tdiv(j - EPOCH, CYCLE_DAYS) + y, i + 1, g - LMON_FIRST[i] + 1)
            return 82
    return 84


def lunar_g2c(y, m, d, devs=()):
    j = day_of(y, m, d)
    a, extra = 0, 0
    for (dj, shift) in devs:
        if dj <= j:
            r = j2l(dj, a)
            if isinstance(r, int):
                continue
            if r[2] in (29, 30):
                a += shift
            if r[2] == 1:
                a -= shift - 10
                if dj == j:
                    extra = 1
            a = ((a + 0x8000) & 0xFFFF) - 0x8000
    r = j2l(j + a, 0)
    if isinstance(r, int):
        return r
    return (r[0], r[1], r[2] + extra, -1)


def lunar_c2g(y, m, d, devs=()):
    q = ((y - 1 + 0x8000) & 0xFFFF) - 0x8000
    c = q // 30
    yic = q - 30 * c + 1
    row = ROWS[yic - 1]
    g = LMON_FIRST[m - 1] - 1 + d
    j = EPOCH - 1 + CYCLE_DAYS * c + (row[1] - 1) + g
    s, flag = 0, 0
    for (dj, shift) in devs:
        if dj <= j - s:
            r = j2l(dj, s)
            if isinstance(r, int):
                continue
            if r[2] in (29, 30):
                s += shift
            if r[2] == 1:
                if dj == j - s:
                    flag |= 1 if d == 30 else 0
                s -= shift - 10
    return date_of(j - (s + flag))


def g2c(cal, y, m, d, devs=()):
    if cal in (1, 2, 3):
        return era_g2c(cal, y, m, d)
    if cal == 4:
        return pers_g2c(y, m, d)
    return lunar_g2c(y, m, d, devs)


def c2g(cal, y, m, d, era, devs=()):
    if cal in (1, 2, 3):
        return era_c2g(cal, y, m, d, era)
    if cal == 4:
        return pers_c2g(y, m, d)
    return lunar_c2g(y, m, d, devs)


# ---- checking a dump ---------------------------------------------------------

# Ranges of day numbers per calendar: 1868-2100 for the era calendars,
# 1583-9999 for the Persian one, several 30-year cycles for the lunar ones.
RANGES = [
    (1, day_of(1868, 1, 1), day_of(2100, 12, 31)),
    (2, day_of(1912, 1, 1), day_of(2100, 12, 31)),
    (3, day_of(1868, 1, 1), day_of(2100, 12, 31)),
    (4, day_of(1583, 1, 1), day_of(9999, 12, 31)),
    (5, EPOCH, EPOCH + 4 * CYCLE_DAYS),
    (5, day_of(1900, 1, 1), day_of(1900, 1, 1) + 3 * CYCLE_DAYS),
    (6, EPOCH, EPOCH + 2 * CYCLE_DAYS),
    (6, day_of(2000, 1, 1), day_of(2000, 1, 1) + 3 * CYCLE_DAYS),
]


def deviations():
    """Deviations that shift the tabular calendar both ways around 2000: a
    month end (day 29) with shift 1 (later days one day later), then month
    starts with shifts 11 and 12 (one and two days back)."""
    base = day_of(2000, 1, 1)
    devs, a = [], 0
    for start, want_day, shift in ((base, 29, 1), (base + 400, 1, 11), (base + 800, 1, 12)):
        j = start
        while j2l(j, a)[2] != want_day:
            j += 1
        devs.append((j, shift))
        a += shift if want_day == 29 else -(shift - 10)
    return devs


def check(program, writer=None):
    import tempfile
    bad = 0
    runs = [(cal, first, last, ()) for cal, first, last in RANGES]
    home = None
    if writer:
        home = tempfile.mkdtemp()
        devs = deviations()
        for short in ("ah", "eh"):
            args = [writer, home, short]
            for (dj, shift) in devs:
                args += ["dev", str(dj), str(shift)]
            subprocess.run(args, check=True)
        base = day_of(2000, 1, 1)
        runs += [(5, base - 100, base + 1500, tuple(devs)), (6, base - 100, base + 1500, tuple(devs))]
    for cal, first, last, devs in runs:
        cmd = [program, str(cal), str(first), str(last)] + ([home] if devs else [])
        out = subprocess.run(cmd, check=True, capture_output=True, text=True).stdout.split("\n")
        n = 0
        for line in out:
            if not line:
                continue
            j, cy, cm, cd, era, gy, gm, gd = map(int, line.split())
            y, m, d = date_of(j)
            want = g2c(cal, y, m, d, devs)
            if isinstance(want, int):
                # direction 0 fails: "J 0 0 status era 0 0 0"
                if (cy, cm, cd) != (0, 0, want):
                    bad += 1
                    if bad < 10:
                        print("calendar %d day %d: got %s, model status %d" % (cal, j, line, want))
                n += 1
                continue
            back = c2g(cal, *want, devs)
            # Direction 1 fails (status 88) for a Persian date that is not a
            # valid Gregorian date (2-30, 2-31, 2-29 of common years).
            got_back = (gy, gm, gd) if (gy, gm) != (0, 0) else None
            ok_back = back == (y, m, d) or (back is None and cal == 4 and gd == 88) or \
                (devs and back is not None)
            if (cy, cm, cd, era) != tuple(want) or got_back != back or not ok_back:
                bad += 1
                if bad < 10:
                    print("calendar %d day %d (%d-%d-%d): got %s, model %s back %s" %
                          (cal, j, y, m, d, line, want, back))
            n += 1
        if n != last - first + 1:
            print("calendar %d: %d lines for %d days" % (cal, n, last - first + 1))
            bad += 1
    if home:
        import shutil
        shutil.rmtree(home, ignore_errors=True)
    print("%d differences" % bad)
    return 1 if bad else 0


if __name__ == "__main__":
    if len(sys.argv) in (3, 4) and sys.argv[1] == "check":
        sys.exit(check(*sys.argv[2:]))
    print(__doc__)
    sys.exit(2)
