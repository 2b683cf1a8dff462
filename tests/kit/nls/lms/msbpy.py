#!/usr/bin/env python3
"""Writes the message files of the message-file tests with struct, from the
format's tables alone (an oracle independent of the C++ writer), and the
expected texts beside them as a C++ include.

usage: msbpy.py <output directory>
"""
import os
import struct
import sys

BLOCK = 512
ALPHA = "abcdefghijklmnopqrstuvwxyz0123456789$_"


def coded(name, end=0):
    out = bytearray()
    for ch in name:
        c = ch.lower()
        out.append(ALPHA.index(c) + 1 if c in ALPHA else ord(ch))
    out.append(end)
    return bytes(out).ljust(52, b"\0")


def header(charset, version, l, d, cl, cd, end=0):
    h = bytearray(BLOCK)
    h[0:52] = coded(charset, end)
    struct.pack_into("=I", h, 52, version)
    struct.pack_into("=II", h, 64, l, d)
    struct.pack_into("=II", h, 248, cl, cd)
    return h


def data_block(items):
    """items: [(number, attr, bytes)] sorted; one 512-byte block."""
    b = bytearray(BLOCK)
    n = len(items)
    struct.pack_into("=H", b, 0, n)
    off = 2 + 6 * (n + 1)
    for i, (num, attr, text) in enumerate(items):
        struct.pack_into("=HHH", b, 2 + 6 * i, num, attr, off)
        b[off:off + len(text)] = text
        off += len(text)
    struct.pack_into("=HHH", b, 2 + 6 * n, 0, 0, off)
    assert off <= BLOCK
    return b


def section(groups):
    """groups: list of data blocks' items. Returns (L, blocks: l1, l2..., data...)."""
    highs = [g[-1][0] for g in groups]
    l = (len(groups) + 255) // 256
    l1 = bytearray(BLOCK)
    l2s = []
    for j in range(l):
        part = highs[256 * j:256 * (j + 1)]
        struct.pack_into("=H", l1, 2 * j, part[-1])
        blk = bytearray(BLOCK)
        for k, hv in enumerate(part):
            struct.pack_into("=H", blk, 2 * k, hv)
        l2s.append(blk)
    return l, [l1] + l2s + [data_block(g) for g in groups]


def msb(charset, version, groups, cgroups=(), end=0):
    l, msec = section(groups)
    cl, csec = section(list(cgroups)) if cgroups else (0, [bytearray(BLOCK)])
    hdr = header(charset, version, l, len(groups), cl, len(cgroups), end)
    return bytes(hdr) + b"".join(bytes(b) for b in msec) + b"".join(bytes(b) for b in csec)


def text_of(num):
    return ("message %d of the test file" % num).encode()


def main():
    out = sys.argv[1]
    os.makedirs(os.path.join(out, "test", "mesg"), exist_ok=True)
    expect = []

    # "us" file, UTF8: 300 data blocks of one message each (two level-2
    # blocks, the second with trailing 0 entries), numbers 3, 6, ... 900;
    # message 104 is there with an accented letter; comments for a few.
    groups = []
    for i in range(1, 301):
        num = 3 * i
        text = text_of(num)
        if num == 105:
            text = "caf\u00e9 105".encode("utf-8")
        groups.append([(num, num % 7, text)])
    groups.insert(34, [(104, 9, "second file caf\u00e9".encode("utf-8"))])
    groups.sort(key=lambda g: g[0][0])
    cgroups = [[(3, 11, b"cause of 3"), (6, 12, b"cause of 6")], [(104, 13, b"cause of 104")]]
    with open(os.path.join(out, "test", "mesg", "tstus.msb"), "wb") as f:
        f.write(msb("UTF8", 2, groups, cgroups))
    for g in groups:
        for num, attr, text in g:
            expect.append((num, attr, text))

    # "d" file, WE8ISO8859P1: a few blocks of several messages; 104 missing.
    items = [(n, 1, ("deutsch %d \u00e4" % n).encode("latin-1")) for n in (3, 6, 9, 12, 15, 99, 200)]
    dgroups = [items[0:3], items[3:5], items[5:7]]
    with open(os.path.join(out, "test", "mesg", "tstd.msb"), "wb") as f:
        f.write(msb("WE8ISO8859P1", 1, dgroups, [[(6, 5, b"ursache 6")]]))

    # versions 0 to 3
    for v in range(4):
        with open(os.path.join(out, "ver%d.msb" % v), "wb") as f:
            f.write(msb("US7ASCII", v, [[(1, 0, b"version text")]]))

    # the coded name ended by byte 39
    with open(os.path.join(out, "end39.msb"), "wb") as f:
        f.write(msb("WE8ISO8859P1", 2, [[(1, 0, b"\xe4")]], end=39))

    with open(os.path.join(out, "expect.inc"), "w") as f:
        f.write("// Written by msbpy.py: number, attribute, text of tstus.msb.\n")
        for num, attr, text in expect:
            lit = "".join("\\x%02x" % b for b in text)
            f.write('{%d, %d, std::string("%s", %d)},\n' % (num, attr, lit, len(text)))


if __name__ == "__main__":
    main()
