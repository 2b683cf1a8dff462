#!/usr/bin/env python3
"""Writes the table of NUMBER formatted-text cases from independent models.

Fixed, grouped and scientific texts come from Python's own decimal
formatting (format() with ROUND_HALF_UP); the layout around them (empty
positions, signs, minimum digits, blank fill, 0/5 rounding, text-minimum
sizing) from a model written from the descriptor's definition. Roman
numerals and hexadecimal text come from small helpers of their own.

Usage: lnxnftcases.py OUTPUT [SEED]

Each output line is a C++ initializer:
{"NUMBER hex", flags, intpos, decpos, width, minint, mindec, "groups hex", "text"},
"#" over the width stands for the overflow fill.
"""
import random
import sys
from decimal import Decimal, ROUND_HALF_UP, localcontext

from lnxcases import encode

FORMATTED = 0x80
SCI = 0x40
TRAILMINUS, DOLLAR, ANGLE, ZEROBLANK = 0x1, 0x2, 0x4, 0x8
PLUS, TRAILSIGN = 0x100, 0x200
ROMAN, LOWER, NOPOINT, DOT, BLANK, PAREN = 0x2000, 0x4000, 0x10000, 0x20000, 0x40000, 0x80000
ROUND05, HEX, TEXTMIN = 0x100000, 0x200000, 0x400000


def fixed(m, places):
    """Python's fixed text of a non-negative Decimal, rounded half up."""
    with localcontext() as c:
        c.prec = 200
        c.rounding = ROUND_HALF_UP
        return format(m, '.%df' % places)


def scientific(m, digits):
    """(mantissa digits, exponent) of a positive Decimal rounded half up to digits."""
    with localcontext() as c:
        c.prec = 200
        c.rounding = ROUND_HALF_UP
        t = format(m, '.%dE' % (digits - 1))
    mant, exp = t.split('E')
    return mant.replace('.', ''), int(exp)


def round05(sig, x):
    """The last of the digits sig (leading digit at 10^x) to 0 or 5; 8 and 9
    carry. Returns (digits, x) with trailing zeros stripped ('' for zero)."""
    last = int(sig[-1])
    if last <= 2:
        sig = sig[:-1]
    elif last <= 7:
        sig = sig[:-1] + '5'
    else:
        n = int(sig[:-1] or '0') + 1
        keep = len(sig) - 1
        s = str(n)
        if len(s) > keep:  # carried into a new leading digit
            x += 1
        sig = s
    sig = sig.rstrip('0')
    return sig, x


def layout(neg, ints_text, frac_text, exp, f):
    """The descriptor's text around the digits; f: the fields as a dict."""
    flags, intpos, width = f['flags'], f['intpos'], f['width']
    blank = flags & BLANK
    out = ''
    if exp is not None and blank and abs(exp) < 100:
        out += ' '
    if blank:
        out += ' ' * max(intpos - len(ints_text), 0)
    if not flags & (TRAILMINUS | TRAILSIGN):
        if neg:
            out += '<' if flags & ANGLE else '(' if flags & PAREN else '-'
        elif flags & PLUS:
            out += '+'
        elif blank:
            out += ' '
    if flags & DOLLAR:
        out += '$'
    empty = max(intpos - len(ints_text), 0)
    for i, ch in enumerate(ints_text):
        out += ch
        pos = empty + i + 1
        for g in f['groups']:
            if (g & 0x7F) == pos:
                out += ','
                break
    if not flags & NOPOINT:
        out += '.'
    out += frac_text
    if exp is not None:
        out += 'E' + ('-' if exp < 0 else '+')
        a = abs(exp)
        if a >= 100:
            out += '1'
            a -= 100
        out += '%02d' % a
    if neg:
        if flags & ANGLE:
            out += '>'
        elif flags & PAREN:
            out += ')'
        elif flags & (TRAILMINUS | TRAILSIGN):
            out += '-'
    elif flags & TRAILSIGN:
        out += '+'
    elif blank and flags & (ANGLE | PAREN | TRAILMINUS):
        out += ' '
    if len(out) > width:
        return '#' * width
    if blank and len(out) < width:
        out = ' ' * (width - len(out)) + out
    return out


def numeric(v, f):
    """The numeric mode's text of Decimal v."""
    f = dict(f)
    flags = f['flags']
    neg = v.is_signed()
    m = abs(v)
    if flags & TEXTMIN:
        if m == 0:
            lead, sig = 0, 0
        else:
            t = m.normalize()
            lead, sig = t.adjusted(), len(t.as_tuple().digits)
        ip, dp = max(lead + 1, 0), max(sig - (lead + 1), 0)
        chars = (1 if neg else 0) + ip + (dp + 1 if dp else 0)
        if not flags & SCI and chars <= 64:
            f['width'] = ip + dp + 2 if dp else ip + 1
        else:
            flags |= SCI
            ip, dp = 1, max(sig - 1, 0)
            f['width'] = 7 if sig < 2 else 7 + sig
        if not dp:
            flags |= NOPOINT
        f['intpos'], f['decpos'], f['flags'] = ip, dp, flags
    intpos, decpos = f['intpos'], f['decpos']
    minint, mindec = f['minint'], f['mindec']
    sci = flags & SCI
    if sci:
        if m == 0:
            sig, x = '', 0
        else:
            sig, x = scientific(m, intpos + decpos)
            sig = sig.rstrip('0')
    else:
        t = fixed(m, decpos)
        ip, _, fp = t.partition('.')
        ip = ip.lstrip('0')
        if len(ip) > intpos:
            return '#' * f['width']
        digits = (ip + fp).lstrip('0').rstrip('0')
        if not digits:
            sig, x = '', 0
        else:
            first = (ip + fp).index(digits[0])
            x = len(ip) - 1 - first
            sig = digits
    if flags & ROUND05 and sig:
        places = len(sig) - 1 if sci else len(sig) - 1 - x
        if decpos == 0 or places == decpos:
            sig, x = round05(sig, x)
            if sig and not sci and x + 1 > intpos:
                return '#' * f['width']
    if not sig and flags & ZEROBLANK:
        return ' ' * f['width'] if flags & BLANK else ''
    if not sig:
        n = max(minint, 1 if intpos > 0 and mindec == 0 else 0)
        return layout(neg, '0' * n, '0' * mindec, 0 if sci else None, f)
    xm = 0 if sci else x
    I = xm + 1
    shown = max(I, 0)
    ints = max(minint, shown)
    int_digits = ''.join(sig[xm - q] if 0 <= xm - q < len(sig) else '0' for q in range(ints - 1, -1, -1))
    D = len(sig) - I
    frac = ''.join(sig[xm - q] if 0 <= xm - q < len(sig) else '0' for q in range(-1, -D - 1, -1))
    frac += '0' * max(mindec - max(D, 0), 0)
    return layout(neg, int_digits, frac, x if sci else None, f)


def roman(n):
    parts = [(1000, 'M'), (900, 'CM'), (500, 'D'), (400, 'CD'), (100, 'C'), (90, 'XC'),
             (50, 'L'), (40, 'XL'), (10, 'X'), (9, 'IX'), (5, 'V'), (4, 'IV'), (1, 'I')]
    s = ''
    for v, r in parts:
        while n >= v:
            s += r
            n -= v
    return s


def half_up_int(v):
    with localcontext() as c:
        c.prec = 200
        return int(v.quantize(Decimal(1), rounding=ROUND_HALF_UP))


def blank_fill(s, f):
    if f['flags'] & BLANK and len(s) < f['width']:
        s = ' ' * (f['width'] - len(s)) + s
    return s


def roman_text(v, f):
    n = half_up_int(v)
    if not 1 <= n <= 3999:
        return '#' * f['width']
    s = roman(n)
    if len(s) > f['width']:
        return '#' * f['width']
    return blank_fill(s.lower() if f['flags'] & LOWER else s, f)


def hex_text(v, f):
    n = half_up_int(v)
    if v < 0 and n != 0 or n < 0:
        return '#' * f['width']
    s = '%X' % n
    size = f['intpos']
    if len(s) > size or size == 0:
        return '#' * f['width']
    if f['minint']:
        s = s.rjust(size, '0')
    if len(s) > f['width']:
        return '#' * f['width']
    return blank_fill(s.lower() if f['flags'] & LOWER else s, f)


def rand_value(rng, maxdig=15, lo=-12, hi=12):
    nd = rng.randint(1, maxdig)
    digits = ''.join(rng.choice('0123456789') for _ in range(nd)).lstrip('0') or '1'
    if rng.random() < 0.2:  # halves and nines exercise the rounding
        digits = digits[:-1] + rng.choice('59')
    v = Decimal(digits).scaleb(rng.randint(lo, hi) - len(digits) + 1)
    return -v if rng.random() < 0.4 else v


def fields(flags, intpos, decpos, width, minint=0, mindec=0, groups=()):
    return dict(flags=flags | FORMATTED, intpos=intpos, decpos=decpos, width=width,
                minint=minint, mindec=mindec, groups=list(groups))


def line(v, f, text):
    g = ''.join('%02x' % b for b in f['groups'])
    return '{"%s", 0x%x, %d, %d, %d, %d, %d, "%s", "%s"},  // %s' % (
        encode(v), f['flags'], f['intpos'], f['decpos'], f['width'], f['minint'], f['mindec'],
        g, text, v)


def main():
    path = sys.argv[1]
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 20261211)
    out = []

    def add(v, f, text=None):
        out.append(line(v, f, numeric(v, f) if text is None else text))

    # Fixed: the plain printf-like use against format() itself.
    for _ in range(300):
        v = rand_value(rng)
        p = rng.randint(0, 8)
        f = fields(NOPOINT if p == 0 else 0, 30, p, 60, 1, p)
        want = fixed(abs(v), p)
        if v.is_signed():
            want = '-' + want
        add(v, f, want)
        add(v, f)
    # Fixed with small integer fields: overflow, empty positions, minimums.
    for _ in range(300):
        v = rand_value(rng, 10, -6, 6)
        p = rng.randint(0, 5)
        f = fields(rng.choice([0, BLANK, NOPOINT, BLANK | DOT]), rng.randint(0, 8), p,
                   rng.randint(8, 24), rng.randint(0, 3), rng.randint(0, p + 2))
        add(v, f)
    # Grouped: every three positions from the right, against format(',').
    for _ in range(150):
        v = rand_value(rng, 12, 0, 11)
        p = rng.randint(0, 3)
        ip = 12
        groups = [ip - k for k in (9, 6, 3)]
        f = fields(NOPOINT if p == 0 else 0, ip, p, 40, 1, p, groups)
        with localcontext() as c:
            c.rounding = ROUND_HALF_UP
            c.prec = 200
            want = format(abs(v), ',.%df' % p)
        if v.is_signed():
            want = '-' + want
        add(v, f, want)
    # Groups at random positions, with the empty area and blank fill.
    for _ in range(100):
        v = rand_value(rng, 8, 0, 7)
        ip = rng.randint(4, 10)
        groups = sorted(rng.sample(range(1, ip + 1), rng.randint(1, 3)))
        f = fields(rng.choice([0, BLANK]), ip, 2, 30, rng.randint(0, 4), 2, groups)
        add(v, f)
    # Scientific, against format('E').
    for _ in range(200):
        v = rand_value(rng, 15, -130, 124)
        p = rng.randint(0, 8)
        f = fields(SCI | (NOPOINT if p == 0 else 0), 1, p, 30, 1, p)
        if v != 0:
            with localcontext() as c:
                c.rounding = ROUND_HALF_UP
                c.prec = 200
                t = format(abs(v), '.%dE' % p)
            mant, e = t.split('E')
            want = ('-' if v.is_signed() else '') + mant + 'E' + e[0] + \
                ('1' + '%02d' % (abs(int(e)) - 100) if abs(int(e)) >= 100 else '%02d' % abs(int(e)))
            add(v, f, want)
        f['flags'] |= rng.choice([0, BLANK, PLUS])
        f['width'] = rng.randint(10, 20)
        add(v, f)
    # Signs, currency symbol and zero blanking, over every sign flag.
    sign_sets = [0, TRAILMINUS, ANGLE, PLUS, TRAILSIGN, PAREN, TRAILMINUS | ANGLE, PLUS | PAREN,
                 DOLLAR, DOLLAR | PAREN, ZEROBLANK]
    for v in [Decimal('12.5'), Decimal('-12.5'), Decimal('0'), Decimal('-0.001'), Decimal('7')]:
        for s in sign_sets:
            for b in (0, BLANK):
                add(v, fields(s | b, 4, 2, 12, 1, 2))
    # 0/5 rounding.
    for _ in range(150):
        v = rand_value(rng, 6, -3, 4)
        p = rng.randint(0, 3)
        add(v, fields(ROUND05 | rng.choice([0, SCI]), rng.choice([1, 6]), p, 20, 1, p))
    # Text-minimum.
    for _ in range(150):
        v = rand_value(rng, 20, -40, 70)
        add(v, fields(TEXTMIN | rng.choice([0, BLANK]), 0, 0, 0))
    # Roman numerals and hexadecimal.
    for _ in range(120):
        v = Decimal(rng.choice([rng.randint(-5, 4005), rng.randint(1, 3999)]))
        if rng.random() < 0.3:
            v += Decimal('0.5') * rng.choice([-1, 1])
        f = fields(ROMAN | rng.choice([0, LOWER, BLANK]), 0, 0, rng.choice([4, 8, 16]))
        out.append(line(v, f, roman_text(v, f)))
    for _ in range(120):
        v = Decimal(rng.choice([rng.randint(0, 300), rng.randint(0, 2 ** 64), rng.randint(-9, 9)]))
        if rng.random() < 0.3:
            v += Decimal('0.5') * rng.choice([-1, 1])
        f = fields(HEX | rng.choice([0, LOWER, BLANK]), rng.randint(0, 20), 0,
                   rng.choice([4, 10, 24]), rng.choice([0, 1]))
        out.append(line(v, f, hex_text(v, f)))

    with open(path, 'w') as fh:
        fh.write('// Written by tools/numbers/lnxnftcases.py.\n')
        fh.write('\n'.join(out) + '\n')


if __name__ == '__main__':
    main()
