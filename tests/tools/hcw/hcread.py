#!/usr/bin/env python3
"""Reads an instance health file with Python's struct module, straight from
the layout table of the health file, and prints its fields one per line:

    hcread.py FILE 64|32

size=N, magic, version, index, pid, stime, magic2, flags, then rec0 to rec9
as 15 comma-separated state bytes. Fields that the file is too short for are
left out. Also: hcread.py --start PID prints the process's start time from
/proc (btime of /proc/stat + field 22 of /proc/PID/stat / clock ticks)."""
import os
import struct
import sys

LAYOUT = {
    # name: (offset 64-bit, offset 32-bit, format 64-bit, format 32-bit)
    "magic": (80, 80, "H", "H"),
    "version": (84, 84, "I", "I"),
    "index": (188, 188, "B", "B"),
    "pid": (192, 192, "i", "i"),
    "stime": (200, 196, "q", "i"),
    "magic2": (508, 500, "H", "H"),
    "flags": (510, 502, "H", "H"),
}
RECORDS = (512, 504)
RECORD_SIZE = 104
NEVENTS = 15


def read(path, width):
    data = open(path, "rb").read()
    w = 0 if width == "64" else 1
    out = [f"size={len(data)}"]
    for name, spec in LAYOUT.items():
        fmt = "=" + spec[2 + w]
        off = spec[w]
        if off + struct.calcsize(fmt) <= len(data):
            out.append(f"{name}={struct.unpack_from(fmt, data, off)[0]}")
    for k in range(10):
        off = RECORDS[w] + RECORD_SIZE * k + 2
        if off + NEVENTS <= len(data):
            out.append(f"rec{k}=" + ",".join(str(b) for b in data[off:off + NEVENTS]))
    return out


def start_time(pid):
    with open("/proc/stat") as f:
        btime = next(int(l.split()[1]) for l in f if l.startswith("btime "))
    with open(f"/proc/{pid}/stat") as f:
        text = f.read()
    fields = text[text.rindex(")") + 2:].split()
    return btime + int(fields[22 - 3]) // os.sysconf("SC_CLK_TCK")


if __name__ == "__main__":
    if sys.argv[1] == "--start":
        print(start_time(int(sys.argv[2])))
    else:
        print("\n".join(read(sys.argv[1], sys.argv[2])))
