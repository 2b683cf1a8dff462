#!/usr/bin/env python3
"""Writes the NUMBER test tables from independent models.

Arithmetic, rounding, integer conversion, hexadecimal and default text are
computed with Python's decimal module (ROUND_HALF_UP) and plain integers;
float and double conversion with a model of the power walk and digit loop
in Python floats (IEEE doubles). The NUMBER encoding below is written from
the format's definition alone.

Usage: lnxcases.py OUTPUT [SEED]

Each output line is one case: an operation name and its fields separated
by blanks; NUMBERs are hexadecimal bodies (counted form).
"""
import random
import struct
import sys
from decimal import Decimal, getcontext, ROUND_HALF_UP, ROUND_FLOOR
from fractions import Fraction

getcontext().prec = 400
getcontext().Emin = -999999
getcontext().Emax = 999999

POSINF = 'ff65'
NEGINF = '00'
ZERO = '80'
D100 = Decimal(100)


def encode(x):
    """The NUMBER of an exact Decimal, rounded half away from zero to 20 base-100 digits."""
    if x == 0:
        return ZERO
    neg = x < 0
    m = -x if neg else x
    e = int((m.adjusted()) // 2)  # 100^e <= m < 100^(e+1), up to a fix below
    while D100 ** e > m:
        e -= 1
    while D100 ** (e + 1) <= m:
        e += 1
    q = (m / D100 ** (e - 19)).quantize(Decimal(1), rounding=ROUND_HALF_UP)
    if q >= D100 ** 20:
        e += 1
        q = (m / D100 ** (e - 19)).quantize(Decimal(1), rounding=ROUND_HALF_UP)
    if e > 62:
        return NEGINF if neg else POSINF
    if e < -65:
        return ZERO
    q = int(q)
    digs = []
    for _ in range(20):
        digs.append(q % 100)
        q //= 100
    digs.reverse()
    while digs[-1] == 0:
        digs.pop()
    if neg:
        out = [62 - e] + [101 - d for d in digs]
        if len(digs) < 20:
            out.append(102)
    else:
        out = [193 + e] + [d + 1 for d in digs]
    return bytes(out).hex()


def decode(h):
    """The exact value of a finite NUMBER body, or the text 'inf'/'-inf'."""
    b = bytes.fromhex(h)
    if h == ZERO:
        return Decimal(0)
    if h == POSINF:
        return 'inf'
    if h == NEGINF:
        return '-inf'
    if b[0] & 0x80:
        e, digs = b[0] - 193, [x - 1 for x in b[1:]]
        sign = 1
    else:
        e = 62 - b[0]
        body = b[1:-1] if b[-1] == 102 else b[1:]
        digs = [101 - x for x in body]
        sign = -1
    v = Decimal(0)
    for i, d in enumerate(digs):
        v += d * D100 ** (e - i)
    return sign * v


def rand_number(rng, ndig=None, exp=None, neg=None, nines=False):
    ndig = ndig or rng.randint(1, 20)
    exp = rng.randint(-65, 62) if exp is None else exp
    neg = rng.random() < 0.5 if neg is None else neg
    if nines:
        digs = [99] * ndig
    else:
        digs = [rng.randint(0, 99) for _ in range(ndig)]
    digs[0] = digs[0] or rng.randint(1, 99)
    digs[-1] = digs[-1] or rng.randint(1, 99)
    v = sum(Decimal(d) * D100 ** (exp - i) for i, d in enumerate(digs))
    return -v if neg else v


def arith_cases(rng, out):
    def emit(a, b):
        ha, hb = encode(a), encode(b)
        va, vb = decode(ha), decode(hb)
        out.append(f'add {ha} {hb} {encode(va + vb)}')
        out.append(f'sub {ha} {hb} {encode(va - vb)}')
        out.append(f'mul {ha} {hb} {encode(va * vb)}')

    for _ in range(1500):
        ea = rng.randint(-40, 40)
        gap = rng.randint(0, 22)
        a = rand_number(rng, exp=ea, nines=rng.random() < 0.1)
        b = rand_number(rng, exp=ea - gap if rng.random() < 0.5 else ea + gap,
                        nines=rng.random() < 0.1)
        emit(a, b)
    for _ in range(400):  # cancellation: b close to -a
        a = rand_number(rng, ndig=rng.randint(5, 20), exp=rng.randint(-30, 30))
        tweak = rand_number(rng, ndig=rng.randint(1, 5), exp=a.adjusted() // 2 - rng.randint(2, 22),
                            neg=False)
        emit(a, -a + tweak if rng.random() < 0.5 else -a - tweak)
    for _ in range(300):  # a 21st digit of 49 or 50
        a = rand_number(rng, ndig=20, exp=0)
        d21 = rng.choice([49, 50])
        sgn = 1 if a > 0 else -1
        b = sgn * Decimal(d21) * D100 ** -20
        if rng.random() < 0.5:
            b = sgn * (Decimal(d21) * D100 ** -20 + rand_number(rng, exp=-rng.randint(21, 40), neg=False))
        emit(a, b)
        m = rand_number(rng, ndig=20, exp=0, neg=False)
        emit(a, m)
    for _ in range(300):  # near the ends of the range
        emit(rand_number(rng, exp=rng.randint(-65, -60)), rand_number(rng, exp=rng.randint(-65, -60)))
        emit(rand_number(rng, exp=rng.randint(58, 62)), rand_number(rng, exp=rng.randint(58, 62)))
        emit(rand_number(rng, exp=rng.randint(30, 32)), rand_number(rng, exp=rng.randint(30, 32)))
        emit(rand_number(rng, exp=rng.randint(-33, -31)), rand_number(rng, exp=rng.randint(-35, -31)))


def round_half_up(v, places):
    """v rounded to 10^-places, half away from zero."""
    q = Decimal(1).scaleb(-places)
    return v.quantize(q, rounding=ROUND_HALF_UP)


def dec_exp(v):
    return abs(v).adjusted()


def rounding_cases(rng, out):
    for _ in range(1500):
        v = rand_number(rng, exp=rng.randint(-30, 30))
        h = encode(v)
        v = decode(h)
        places = rng.randint(-70, 70)
        out.append(f'rou {h} {places} {encode(round_half_up(v, places))}')
        digits = rng.randint(-2, 42)
        if digits < 0:
            r = Decimal(0)
        else:
            r = round_half_up(v, digits - 1 - dec_exp(v))
        out.append(f'fpr {h} {digits} {encode(r)}')
        prec, scale = rng.randint(-5, 45), rng.randint(-45, 45)
        frac = -v.normalize().as_tuple().exponent
        r = round_half_up(v, scale) if frac > scale else v
        hr = encode(r)
        rr = decode(hr)
        left = -129 if rr == 0 else dec_exp(rr) + 1
        count = prec - left
        out.append(f'sca {h} {prec} {scale} {hr} {count} {1 if count < 0 else 0}')


KINDS = {0: (1, 2, 4, 8), 1: (1, 2, 4), 2: (1, 2, 4, 8)}


def int_cases(rng, out):
    for kind, sizes in KINDS.items():
        for size in sizes:
            bits = 8 * size
            if kind == 0:
                lo, hi = 0, 2 ** bits - 1
            elif kind == 1:
                lo, hi = -2 ** (bits - 1), 2 ** (bits - 1) - 1
            else:
                lo, hi = -2 ** (bits - 1), 2 ** (bits - 1) - 1
            # lnxmin over the whole range of the type
            vals = {lo, hi, 0, 1, -1 if lo < 0 else 2, lo + 1, hi - 1}
            vals |= {rng.randint(lo, hi) for _ in range(40)}
            for v in sorted(vals):
                pattern = v & (2 ** bits - 1)
                out.append(f'min {kind} {size} {pattern:x} {encode(Decimal(v))}')
            # lnxsni at each limit and one past it, with fractions, every flag
            smax = 2 ** (bits - 1) - 1
            if kind == 0:
                points = [0, 1, 2 ** bits - 1, 2 ** bits, -1, 2 ** bits + 7]
            elif kind == 1:
                points = [0, 1, smax, smax + 1, -1, 2 ** bits - 1]
            else:
                points = [smax, smax + 1, -smax, -smax - 1, -smax - 2, 2 ** bits]
            points += [rng.randint(-2 ** (bits + 4), 2 ** (bits + 4)) for _ in range(20)]
            for p in points:
                for frac in (Decimal(0), Decimal('0.5'), Decimal('0.99')):
                    v = Decimal(p) + (frac if p >= 0 else -frac)
                    for flags in (0, 0x4000, 0x8000, 0xC000, 0x80):
                        st, res = sni_model(v, kind, size, flags)
                        out.append(f'sni {encode(v)} {kind | flags} {size} {st} {res:x}')
            for v in (Decimal('0.5'), Decimal('-0.5'), Decimal(10) ** 30, -Decimal(10) ** 30):
                for flags in (0, 0x4000, 0x8000, 0xC000):
                    st, res = sni_model(v, kind, size, flags)
                    out.append(f'sni {encode(v)} {kind | flags} {size} {st} {res:x}')


def sni_model(v, kind, size, flags):
    bits = 8 * size
    allones = 2 ** bits - 1
    if v == 0:
        return 0, 0
    neg = v < 0
    mag = int(abs(v))  # truncation toward zero
    if mag == 0:
        return 2, 0
    if kind == 0:
        top, low, lowpat, mask = allones, 0, 0, allones
    else:
        smax = 2 ** (bits - 1) - 1
        top, mask = smax, smax
        if kind == 1:
            low, lowpat = 0, 0
        else:
            low = smax + 1 if flags & 0x4000 else smax
            lowpat = (-(smax + 1)) & allones
    if not neg:
        if mag <= top:
            return 0, mag
        return 1, (mag & mask) if flags & 0x8000 else top
    if kind != 2:
        return 1, 0
    if mag <= low:
        return 0, (-mag) & allones
    return 1, ((-(mag & mask)) & allones) if flags & 0x8000 else lowpat


DPOW = [(k, float(f'1e{2 * k}'), float(f'1e-{2 * k}')) for k in (1, 2, 4, 8, 16, 32, 64, 128)]
PARAMS = {'d': ((8, 1), (8, 0)), 'f': ((4, 0), (3, 1))}


def ren_model(h, kind):
    """The digit loop in IEEE doubles, as the conversion runs it."""
    if h != h:
        return POSINF
    if h == 0:
        return ZERO
    neg = h < 0
    h = -h if neg else h
    if h == float('inf'):
        return NEGINF if neg else POSINF
    e = 0
    if h >= 1:
        start = 2 if h < DPOW[3][1] else 7
        for k, up, down in reversed(DPOW[:start + 1]):
            if h >= up:
                h *= down
                e += k
    else:
        start = 2 if h > DPOW[3][2] else 7
        for k, up, down in reversed(DPOW[:start + 1]):
            if h < down:
                h *= up
                e -= k
        e -= 1
        h *= 100.0
    if e > 62:
        return NEGINF if neg else POSINF
    if e < -65:
        return ZERO
    t, whole = PARAMS[kind][1 if h >= 10 else 0]
    digs = []
    for _ in range(t):
        d = int(h)
        digs.append(d)
        h = (h - d) * 100.0
    c = int(h)
    if whole:
        if c >= 50:
            digs[-1] += 1
    else:
        digs[-1] = (digs[-1] + 5) // 10 * 10
    v = sum(Decimal(d) * D100 ** (e - i) for i, d in enumerate(digs))
    return encode(-v if neg else v)


def sig_round(x, digits):
    """Exact value x (Fraction) rounded half up to `digits` significant digits, as Decimal."""
    d = Decimal(x.numerator) / Decimal(x.denominator)
    return round_half_up(d, digits - 1 - dec_exp(d))


def within_one(x, digits):
    """The NUMBERs of x rounded to digits significant digits and one unit either side."""
    r = sig_round(x, digits)
    unit = Decimal(1).scaleb(dec_exp(r) - digits + 1)
    return [encode(r), encode(r + unit), encode(r - unit)]


def ren_cases(rng, out):
    fixed = [1.0, 0.5, 0.1, 1 / 3, 123.456, 99.99999999999999, 9.999999999999998e125, 1e126, -1e126,
             1e-130, 9.9999999999999e-131, 5e-131, 2.0 ** 100, 1e-5, 123456789012345.6]
    vals = fixed + [rng.uniform(-1, 1) * 10.0 ** rng.randint(-129, 124) for _ in range(2000)]
    vals += [float(rng.randint(1, 10 ** 15)) for _ in range(300)]
    for v in vals:
        b = struct.pack('<d', v).hex()
        exact = Fraction(v)
        ok = within_one(exact, 15) if v != 0 and 1e-125 < abs(v) < 1e120 else []
        out.append(f'rend {b} {ren_model(v, "d")} {" ".join(ok)}')
    fvals = [1 / 3, 3.4e38, -2.5, 1.0, 0.1] + [rng.uniform(-1, 1) * 10.0 ** rng.randint(-37, 37)
                                               for _ in range(2000)]
    for v in fvals:
        f = struct.unpack('<f', struct.pack('<f', v))[0]
        b = struct.pack('<f', f).hex()
        ok = within_one(Fraction(f), 6) if f != 0 and abs(f) > 1e-36 else []
        out.append(f'renf {b} {ren_model(f, "f")} {" ".join(ok)}')
    for _ in range(1500):
        sign = rng.randint(0, 1)
        exp = rng.randint(-420, 410)
        mant = rng.getrandbits(112)
        bits = (sign << 127) | ((exp + 16383) << 112) | mant
        b = bits.to_bytes(16, 'little').hex()
        x = Fraction((1 << 112) | mant, 1 << 112) * (Fraction(2) ** exp)
        if sign:
            x = -x
        out.append(f'renq {b} {" ".join(within_one(x, 33))}')


def hex_cases(rng, out):
    for _ in range(500):
        n = rng.randint(0, 10 ** rng.randint(1, 120))
        v = Decimal(n)
        h = encode(v)
        exact = int(decode(h))
        text = format(exact, 'x')
        size = rng.choice([len(text), len(text) + 3, 40, 130])
        fill = rng.randint(0, 1)
        if len(text) > size:
            want = ''
        elif fill:
            want = text.rjust(size, '0')
        else:
            want = text
        out.append(f'n2h {h} {size} {fill} {want or "-"}')


def nuc_text(v, width, pad):
    """The default text of a finite Decimal v in a field of |width|, or None for '#'."""
    field, forced = abs(width), width < 0
    for _ in range(8):
        if v == 0:
            if not forced:
                text = '0'
            elif field >= 5:
                text = '0E+00'
            else:
                return None
            break
        neg = v < 0
        t = abs(v).normalize().as_tuple()
        digs = ''.join(map(str, t.digits))
        D, X = len(digs), abs(v).adjusted()
        W = field - neg
        expo = forced or (X >= 0 and W <= X) or (X < -5 and D - X > W and W > 6)
        if expo:
            fit = W - 5 - (1 if abs(X) >= 100 else 0)
            if fit < 2:
                return None
        elif X >= 0:
            fit = W - 1 if X + 1 < W else W
        else:
            fit = W + X
        if D > fit:
            v = Decimal(0) if fit < 0 else round_half_up(v, fit - 1 - X)
            continue
        sign = '-' if neg else ''
        if expo:
            mant = digs[0] + '.' + digs[1:].ljust(fit - 1, '0')
            ex = f'{abs(X):02d}'
            text = f'{sign}{mant}E{"+" if X >= 0 else "-"}{ex}'
        elif X >= 0:
            ip = digs[:X + 1].ljust(X + 1, '0')
            text = sign + ip + ('.' + digs[X + 1:] if D > X + 1 else '')
        else:
            text = sign + '.' + '0' * (-X - 1) + digs
        break
    else:
        raise AssertionError('no settle')
    return text.rjust(field) if pad else text


def nuc_cases(rng, out):
    for _ in range(2000):
        v = rand_number(rng, exp=rng.randint(-66, 61))
        h = encode(v)
        v = decode(h)
        width = rng.choice([rng.randint(1, 12), rng.randint(13, 50), -rng.randint(1, 50)])
        pad = rng.randint(0, 1)
        text = nuc_text(v, width, pad)
        want = '#' * abs(width) if text is None else text
        out.append(f'nuc {h} {width} {pad} {want.replace(" ", "_")}')


def sgn_cases(rng, out):
    """The sign of NUMBERs around zero and at both ends of the range: zero,
    the infinities, 1e-130 and its neighbours (a positive number may have the
    exponent byte 0x80 that zero alone has in one byte), the largest
    magnitudes, and differences that land at the lowest exponent."""
    def emit(h):
        v = decode(h)
        s = 1 if v == 'inf' else -1 if v == '-inf' else (v > 0) - (v < 0)
        out.append(f'sgn {h} {s}')

    tiny = D100 ** -65                  # 1e-130, the smallest magnitude
    largest = D100 ** 63 - D100 ** 43   # twenty digits of 99 at exponent 62
    for v in (Decimal(0), tiny, -tiny, 2 * tiny, -2 * tiny, 99 * tiny, 10 * tiny,
              tiny + D100 ** -84, largest, -largest, D100 ** -64, -(D100 ** -64),
              Decimal(1), Decimal(-1)):
        emit(encode(v))
    emit(POSINF)
    emit(NEGINF)
    for _ in range(100):
        a = rand_number(rng, exp=rng.randint(-65, -63))
        emit(encode(a))
        b = decode(encode(a + rand_number(rng, ndig=rng.randint(1, 3), exp=-65)))
        emit(encode(b - decode(encode(a))))
        emit(encode(rand_number(rng, exp=rng.randint(58, 62))))


def main():
    path = sys.argv[1]
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 20261210)
    out = []
    arith_cases(rng, out)
    rounding_cases(rng, out)
    int_cases(rng, out)
    ren_cases(rng, out)
    hex_cases(rng, out)
    nuc_cases(rng, out)
    sgn_cases(rng, out)
    with open(path, 'w') as f:
        f.write('\n'.join(out) + '\n')


if __name__ == '__main__':
    main()
