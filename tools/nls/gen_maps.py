#!/usr/bin/env python3
"""Writes character-set mapping files for the NLS tests from Python's codecs.

gen_maps.py OUTDIR writes, deterministically:
  latin1.map   ISO-8859-1, every byte
  tis620.map   TIS-620 (Thai), every byte the codec defines
  euckr.map    EUC-KR, single bytes below 0x80 and every two-byte character
  eucjp.map    EUC-JP, single bytes, two-byte and three-byte (0x8F) characters
  gb2.map      GB18030, single bytes below 0x80 and the two-byte area
  gb4.txt      GB18030 four-byte BMP area: "index codepoint" for all 39420
  gbsupp.txt   GB18030 four-byte supplementary samples: "bytes codepoint"
  gb2312.map   EUC-CN (GB 2312), single bytes below 0x80 and every two-byte character
  euctw.map    EUC-TW by the C library's iconv: single bytes below 0x80 and CNS
               planes 1 and 2 in their four-byte form 8E A1..A2 xx xx
Each map line is "0xBYTES 0xCODEPOINT".
"""
import ctypes
import ctypes.util
import os
import sys


def dec(b, codec):
    try:
        s = b.decode(codec)
    except UnicodeDecodeError:
        return None
    return ord(s) if len(s) == 1 else None


def write_map(path, codec, ranges):
    with open(path, "w") as f:
        for b in range(0x80):
            f.write("0x%02X 0x%04X\n" % (b, b))
        for seq in ranges():
            cp = dec(seq, codec)
            if cp is None or cp == 0xFFFD:
                continue
            # Keep only sequences that the codec also writes back the same way.
            if chr(cp).encode(codec) != seq:
                continue
            f.write("0x%s 0x%04X\n" % (seq.hex().upper(), cp))


def two(lo1, hi1, lo2, hi2):
    def gen():
        for a in range(lo1, hi1 + 1):
            for b in range(lo2, hi2 + 1):
                yield bytes([a, b])
    return gen


def eucjp():
    yield from two(0xA1, 0xFE, 0xA1, 0xFE)()
    for b in range(0xA1, 0xE0):
        yield bytes([0x8E, b])
    for a in range(0xA1, 0xFF):
        for b in range(0xA1, 0xFF):
            yield bytes([0x8F, a, b])


def gb_lin(i):
    return bytes([0x81 + i // 12600, 0x30 + (i // 1260) % 10, 0x81 + (i // 10) % 126, 0x30 + i % 10])


def iconv_decoder(charset):
    """A one-sequence decoder through the C library's iconv (None: invalid)."""
    libc = ctypes.CDLL(ctypes.util.find_library("c"))
    libc.iconv_open.restype = ctypes.c_void_p
    libc.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
    libc.iconv.restype = ctypes.c_size_t
    libc.iconv.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_char_p),
                           ctypes.POINTER(ctypes.c_size_t), ctypes.POINTER(ctypes.c_char_p),
                           ctypes.POINTER(ctypes.c_size_t)]
    cd = libc.iconv_open(b"UTF-32BE", charset.encode())
    if cd in (None, ctypes.c_void_p(-1).value):
        return None

    def dec(seq):
        libc.iconv(cd, None, None, None, None)
        inbuf = ctypes.create_string_buffer(seq, len(seq))
        out = ctypes.create_string_buffer(16)
        ip = ctypes.c_char_p(ctypes.addressof(inbuf))
        op = ctypes.c_char_p(ctypes.addressof(out))
        il = ctypes.c_size_t(len(seq))
        ol = ctypes.c_size_t(16)
        r = libc.iconv(cd, ctypes.byref(ip), ctypes.byref(il), ctypes.byref(op), ctypes.byref(ol))
        if r == ctypes.c_size_t(-1).value or il.value != 0 or ol.value != 12:
            return None
        return int.from_bytes(out.raw[:4], "big")
    return dec


def write_euctw(path):
    dec = iconv_decoder("EUC-TW")
    with open(path, "w") as f:
        for b in range(0x80):
            f.write("0x%02X 0x%04X\n" % (b, b))
        if dec is None:
            return
        seen = set()
        for plane in (0xA1, 0xA2):
            for a in range(0xA1, 0xFF):
                for b in range(0xA1, 0xFF):
                    seq = bytes([0x8E, plane, a, b])
                    cp = dec(seq)
                    if cp is None or cp > 0xFFFF or cp in seen:
                        continue
                    seen.add(cp)
                    f.write("0x%s 0x%04X\n" % (seq.hex().upper(), cp))


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, "latin1.map"), "w") as f:
        for b in range(256):
            f.write("0x%02X 0x%04X\n" % (b, b))
    with open(os.path.join(out, "tis620.map"), "w") as f:
        for b in range(256):
            cp = dec(bytes([b]), "tis-620")
            if cp is not None:
                f.write("0x%02X 0x%04X\n" % (b, cp))
    write_map(os.path.join(out, "euckr.map"), "euc_kr", two(0xA1, 0xFE, 0xA1, 0xFE))
    write_map(os.path.join(out, "eucjp.map"), "euc_jp", eucjp)
    write_map(os.path.join(out, "gb2.map"), "gb18030", two(0x81, 0xFE, 0x40, 0xFE))
    write_map(os.path.join(out, "gb2312.map"), "gb2312", two(0xA1, 0xFE, 0xA1, 0xFE))
    write_euctw(os.path.join(out, "euctw.map"))
    with open(os.path.join(out, "gb4.txt"), "w") as f:
        for i in range(39420):
            f.write("%d 0x%04X\n" % (i, ord(gb_lin(i).decode("gb18030"))))
    with open(os.path.join(out, "gbsupp.txt"), "w") as f:
        for cp in list(range(0x10000, 0x10110)) + list(range(0x1F600, 0x1F650)) + [0x10FFFF, 0x20000, 0xFFFFF]:
            f.write("0x%s 0x%X\n" % (chr(cp).encode("gb18030").hex().upper(), cp))


if __name__ == "__main__":
    main()
