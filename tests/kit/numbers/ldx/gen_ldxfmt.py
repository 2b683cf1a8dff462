#!/usr/bin/env python3
"""A model of the date format compiler over ASCII text, written apart from the
library, and a generator of cases from it: random format texts with the
bytes the model compiles them to (or the error it raises), as a C++ include
file of {text, input format, room, error, bytes} rows.

The model reads US7ASCII text (letters and digits as ASCII, space, tab and
the other C0 white space as spaces) and the DL, DS and TS texts of the test
installation's territory LDXTEST.

Usage: gen_ldxfmt.py OUTPUT
"""
import random
import sys

NAMES = {
    "A.D.": 37, "A.M.": 35, "AD": 36, "AM": 34, "B.C.": 37, "BC": 36, "CC": 1, "D": 21,
    "DAY": 32, "DD": 22, "DDD": 23, "DL": 47, "DS": 48, "DY": 33, "E": 43, "EE": 44, "FM": 39,
    "FX": 42, "HH": 25, "HH12": 25, "HH24": 24, "I": 3, "IW": 18, "IY": 5, "IYY": 7,
    "IYYY": 9, "J": 29, "MI": 26, "MM": 17, "MON": 31, "MONTH": 30, "NYYYY": 45, "P.M.": 35,
    "PM": 34, "Q": 16, "RM": 38, "RR": 40, "RRRR": 41, "SCC": 2, "SS": 27, "SSSSS": 28,
    "SY,YYY": 13, "SYEAR": 15, "SYYYY": 12, "TS": 49, "W": 20, "WW": 19, "Y": 4,
    "Y,YYY": 11, "YEAR": 14, "YY": 6, "YYY": 8, "YYYY": 10,
}
SUFFIXES = {"SP": 2, "SPTH": 3, "TH": 1, "THSP": 3}
# Codes of text elements: no suffix.
TEXT = {14, 15, 30, 31, 32, 33, 34, 35, 36, 37, 38, 43, 44}
EXPANSIONS = {47: "fmDay, Month DD, YYYY", 48: "MM/DD/RRRR", 49: "HH:MI:SS AM"}
GROUPS = [
    (1811, [23, 29]), (1812, [4, 6, 8, 10, 12, 45, 11, 13]), (1813, [25, 24]), (1814, [34, 35]),
    (1815, [36, 37]), (1816, [30, 31, 17, 38]), (1817, [32, 33, 21]), (1818, [34, 35, 24]),
    (1819, [12, 45, 13, 36, 37]),
]
NOT_INPUT = {1, 2, 3, 5, 7, 9, 14, 15, 16, 18, 19, 20}
SPACES = " \t\n\v\f\r"


class Raise(Exception):
    def __init__(self, err):
        super().__init__(err)
        self.err = err


def longest(text, table):
    """The longest name of the table the text starts with; None for none."""
    key = ""
    for ch in text[:13]:
        if ch == "|":
            break
        key += ch.upper()
    # Every name the key starts with; the longest wins.
    best = None
    for name in sorted(table):
        if key.startswith(name) and (best is None or len(name) > len(best)):
            best = name
    return best


def compile_format(text, input_format, room):
    out = bytearray()
    state = 0x10
    seen = {}
    # The texts being read: the format, then (after a DL, DS or TS) the
    # expansion with the rest of the format behind it.
    stack = [text]

    def put(data):
        nonlocal room
        if room < len(data):
            raise Raise(1801)
        out.extend(data)
        room -= len(data)

    def element(code, flags):
        # The pair is stored before the input checks look at its code.
        put(bytes([code, flags]))
        if input_format:
            if code in NOT_INPUT:
                raise Raise(1820)
            if code not in (39, 42) and seen.get(code):
                raise Raise(1810)
            seen[code] = seen.get(code, 0) + 1

    pos = 0
    cur = stack.pop(0)
    pending = None  # the format's rest while an expansion is read
    start_of_call = True
    while True:
        if pos >= len(cur):
            if pending is not None:
                cur, pos, pending = pending, 0, None
                start_of_call = True
                continue
            put(bytes([0, state]))
            break
        if start_of_call and cur[pos] == "|":
            pos += 1
            start_of_call = False
            continue
        start_of_call = False
        # A literal run: anything but letters and digits, quoted parts whole.
        run = ""
        quoted = False
        while pos < len(cur):
            ch = cur[pos]
            if ch == '"':
                quoted = True
                end = cur.find('"', pos + 1)
                end = len(cur) if end < 0 else end
                run += cur[pos + 1:end]
                pos = end + 1
                continue
            if ch.isascii() and ch.isalnum():
                break
            run += ch
            pos += 1
        if run:
            data = run.encode("latin-1")
            if len(data) > 209:
                raise Raise(1800)
            lead = len(data) - len(data.lstrip(SPACES.encode()))
            if lead:
                put(bytes([46 + lead, 2]) + data[:lead])
            if len(data) > lead:
                rest = data[lead:]
                put(bytes([46 + len(rest), 1 if quoted else 4]) + rest)
            start_of_call = True
            continue
        if pos >= len(cur):
            continue
        if not cur[pos].isalpha():
            raise Raise(1821)
        name = longest(cur[pos:], NAMES)
        if name is None:
            raise Raise(1821)
        code = NAMES[name]
        if code in EXPANSIONS:
            if pending is not None:
                raise Raise(1890)
            pending = cur[pos + len(name):]
            cur, pos = EXPANSIONS[code], 0
            start_of_call = True
            continue
        flags = 0
        rest = cur[pos:]
        if len(rest) >= 2 and rest[0].isupper():
            decider = rest[1] if rest[1].isalpha() else (rest[2] if len(rest) > 2 else None)
            if decider is not None and decider.isalpha() and decider.islower():
                flags = 4
            else:
                flags = 8
        pos += len(name)
        if code not in TEXT:
            suffix = longest(cur[pos:], SUFFIXES)
            if suffix:
                flags |= SUFFIXES[suffix]
                pos += len(suffix)
        start_of_call = True
        if code == 39:
            state ^= 0x10
            continue
        element(code, state | flags)
    if input_format:
        for err, codes in GROUPS:
            if sum(seen.get(c, 0) for c in codes) > 1:
                raise Raise(err)
    return bytes(out)


PIECES = [
    "DD", "dd", "Dd", "dD", "MON", "Mon", "month", "MONTH", "YYYY", "yyyy", "Y,YYY", "y,yyy",
    "HH24", "hh12", "HH", "MI", "SS", "AM", "a.m.", "A.m.", "P.M.", "pm", "BC", "b.c.", "fm",
    "FM", "FX", "TH", "th", "SP", "sp", "SPTH", "thsp", "DY", "Day", "DAY", "J", "Q", "IW", "RR",
    "RRRR", "SYYYY", "SY,YYY", "ddd", "-", "/", ",", ".", ":", " ", "  ", "\t", "|", "||", '"',
    '"x y"', '"Of"', ";", "X", "9", "Ee", "e", "SSSSS", "scc", "W", "ww", "year", "SYEAR", "RM",
    "rm", "DL", "ds", "Ts", "I", "IY", "iyyy", "NYYYY", "CC", "D", "MO", "Y", "G", '" "', "_",
]


def main():
    rng = random.Random(26)
    rows = []
    for i in range(4000):
        text = "".join(rng.choice(PIECES) for _ in range(rng.randint(0, 10)))
        if len(text) > 255:
            continue
        input_format = i % 3 == 0
        room = 255 if i % 2 else rng.randint(0, 48)
        try:
            result, err = compile_format(text, input_format, room), 0
        except Raise as e:
            result, err = b"", e.err
        rows.append((text, input_format, room, err, result))
    # A literal at and past the longest length.
    for text in ("-" * 209, "-" * 210, " " * 209 + "x", '"' + "a" * 210):
        result, err = run_one(text)
        rows.append((text, False, 255, err, result))

    def c_string(data):
        return '"' + "".join("\\x%02x" % b for b in data) + '"'

    with open(sys.argv[1], "w") as f:
        f.write("// Generated by gen_ldxfmt.py: {text, input format, room, error, bytes}.\n")
        for text, input_format, room, err, result in rows:
            f.write("{%s, %d, %d, %d, %s, %d},\n" % (
                c_string(text.encode("latin-1")), input_format, room, err, c_string(result),
                len(result)))


def run_one(text):
    try:
        return compile_format(text, False, 255), 0
    except Raise as e:
        return b"", e.err


if __name__ == "__main__":
    main()
