#!/usr/bin/env python3
"""Writes the f/e/g cases of the print engine's tests: each value rounded to
15 significant digits, then to the conversion's precision, both
ROUND_HALF_UP, in the engine's choice of fixed or exponent form."""
import sys
from decimal import Decimal, ROUND_HALF_UP, Context, getcontext

getcontext().prec = 600

VALUES = [0.0, 1.0, -1.0, 0.5, 1.5, 2.5, -2.5, 0.125, 1/3, 2/3, -2/3, 123.456, 99.99999999999999,
          100000000.5, 0.00001234, 0.0001234, 1e-5, 1.25e-7, 6.02214076e23, -1.602176634e-19,
          3.141592653589793, 2.718281828459045, 1234567.891, 0.1, 0.7, 9.995, 1e15, 123456789012345678.0,
          5e-324 * 1e300, 1e-100, 1.5e100, 4.35, 0.045, 1e22, 7.0e-3]
FORMATS = ["%f", "%.2f", "%.0f", "%.10f", "%e", "%.3e", "%E", "%.0e", "%g", "%.2g", "%12.4f",
           "%-14.3e|", "%+.1f", "% .1f"]

def fifteen(v):
    d = Decimal(v)
    if d == 0:
        return d
    return Context(prec=15, rounding=ROUND_HALF_UP).plus(d)

def render(fmt, v):
    conv = fmt[1:].rstrip('|')
    tail = '|' if fmt.endswith('|') else ''
    letter = conv[-1]
    conv = conv[:-1]
    flags = ''
    while conv and conv[0] in '-+ 0#':
        flags += conv[0]
        conv = conv[1:]
    width, _, prec = conv.partition('.')
    width = int(width) if width else 0
    d = fifteen(v)
    neg = d.is_signed()
    if d == 0:
        u, o = 1, 0
    else:
        t = d.as_tuple()
        n = len(t.digits)
        while n > 1 and t.digits[n - 1] == 0:
            n -= 1
        x = d.adjusted()
        u = x + 1
        o = max(0, n - u)
    X = u - 1
    P = int(prec) if prec else 6
    if letter in 'gG' and o <= 0:
        P = 0
    sci = letter in 'eE' or (letter in 'gG' and X < -4 and o > P)
    if not sci:
        q = d.quantize(Decimal(1).scaleb(-P), rounding=ROUND_HALF_UP)
        text = f"{abs(q):f}"
    else:
        a = 0 if d == 0 else d.adjusted()
        m = abs(d).scaleb(-a).quantize(Decimal(1).scaleb(-P), rounding=ROUND_HALF_UP)
        if m >= 10:
            a += 1
            m = abs(d).scaleb(-a).quantize(Decimal(1).scaleb(-P), rounding=ROUND_HALF_UP)
        e = abs(a)
        es = ('1' if e >= 100 else '') + f"{e % 100:02d}"
        text = f"{m:f}E{'-' if a < 0 else '+'}{es}"
    if neg:
        text = '-' + text
    if letter.islower():
        text = text.lower()
    if not neg and '+' in flags:
        text = '+' + text
    elif not neg and ' ' in flags:
        text = ' ' + text
    if len(text) < width:
        text = text + ' ' * (width - len(text)) if '-' in flags else ' ' * (width - len(text)) + text
    return text + tail

def main():
    out = sys.stdout
    out.write("// Written by tools/lsf/numcases.py.\n")
    for f in FORMATS:
        for v in VALUES:
            out.write(f'{{"{f}", {float(v)!r}, "{render(f, v)}"}},\n')

if __name__ == "__main__":
    main()
