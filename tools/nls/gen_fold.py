#!/usr/bin/env python3
"""Writes Unicode case folding from Python's str.casefold, one line per
character that changes: "CP OUT [OUT...]" in hexadecimal (expansions such as
U+00DF -> ss and U+FB03 -> ffi, supplementary characters such as Deseret)."""
import sys
import unicodedata


def main(out):
    rows = []
    for cp in range(0x110000):
        if 0xD800 <= cp <= 0xDFFF:
            continue
        c = chr(cp)
        f = c.casefold()
        if f != c:
            rows.append(f"{cp:04X} " + " ".join(f"{ord(x):04X}" for x in f))
    with open(out, "w") as fh:
        fh.write(f"# str.casefold, unicodedata {unicodedata.unidata_version}\n")
        fh.write("\n".join(rows) + "\n")


if __name__ == "__main__":
    main(sys.argv[1])
