"""Writer of instance health files, from the file's published layout.

Independent of the C++ sources: offsets and sizes are written out here.
"""
import os
import struct

MAGIC = 0xF644
READY = 0x8
VSNNUM = 0x0A100000
RECORDS = 10
EVENTS = 15
RECORD_SIZE = 104

# width -> (start offset, start format, second magic, flags, records, size)
LAYOUT = {
    64: dict(start=200, start_fmt="=q", magic2=508, flags=510, records=512, size=1552),
    32: dict(start=196, start_fmt="=i", magic2=500, flags=502, records=504, size=1544),
}
MAGIC1, VERSION, INDEX, PID = 80, 84, 188, 192

NOT_SUPPORTED, NOT_SET, SET = 0, 1, 2


def start_time(pid):
    """Whole seconds of the process's start, as the system's psinfo shows it."""
    with open("/proc/stat") as f:
        btime = next(int(l.split()[1]) for l in f if l.startswith("btime"))
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return btime + int(fields[19]) // os.sysconf("SC_CLK_TCK")


def image(width, set_events=(), pid=None, start=None, index=0, version=VSNNUM, ready=True,
          states=None, magic=MAGIC, magic2=MAGIC, other_records=NOT_SET):
    """The bytes of a health file. states: {event: byte} overrides set_events
    in the current record; other records hold other_records for every event."""
    lay = LAYOUT[width]
    b = bytearray(lay["size"])
    struct.pack_into("=H", b, MAGIC1, magic)
    struct.pack_into("=I", b, VERSION, version)
    b[INDEX] = index
    if pid is None:
        pid = os.getpid()
    if start is None:
        start = start_time(pid) if pid > 0 else 0
    struct.pack_into("=i", b, PID, pid)
    struct.pack_into(lay["start_fmt"], b, lay["start"], start)
    struct.pack_into("=H", b, lay["magic2"], magic2)
    struct.pack_into("=H", b, lay["flags"], READY if ready else 0)
    for k in range(RECORDS):
        for e in range(EVENTS):
            b[lay["records"] + RECORD_SIZE * k + 2 + e] = other_records
    cur = index if index < RECORDS else 0
    base = lay["records"] + RECORD_SIZE * cur + 2
    for e in range(EVENTS):
        b[base + e] = NOT_SET
    for e in set_events:
        b[base + e] = SET
    for e, v in (states or {}).items():
        b[base + e] = v
    return b


def flags_offset(width):
    return LAYOUT[width]["flags"]


def write(home, sid, data):
    os.makedirs(os.path.join(home, "dbs"), exist_ok=True)
    path = os.path.join(home, "dbs", "hc_%s.dat" % sid)
    with open(path, "wb") as f:
        f.write(data)
    return path
