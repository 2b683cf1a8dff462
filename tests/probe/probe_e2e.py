"""End-to-end tests of the health probe program against health files written
by hcfile.py.

Environment: PROBE (the program), WIDTH (its layout, 64 or 32), and
PROBE_SWEEP: "full" (default) sweeps every truncation and every byte of a
file; "fields" only the lengths and bytes around the fields the probe reads
(for slow sanitizer builds, whose reader path the fuzz target covers).
"""
import concurrent.futures
import errno
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import hcfile  # noqa: E402

PROBE = os.environ["PROBE"]
WIDTH = int(os.environ["WIDTH"])
OTHER = 32 if WIDTH == 64 else 64

ABNORMAL, SHUTDOWN, RESTART, OPEN, CLOSED = 0, 1, 8, 9, 10
EXITS = {98, 100, 110, 1}
SWEEP = os.environ.get("PROBE_SWEEP", "full")


def swept(width):
    """The offsets a sweep changes or cuts at."""
    size = hcfile.LAYOUT[width]["size"]
    if SWEEP == "full":
        return range(size)
    lay = hcfile.LAYOUT[width]
    fields = [hcfile.MAGIC1, hcfile.VERSION, hcfile.INDEX, hcfile.PID, lay["start"],
              lay["magic2"], lay["flags"], lay["records"]]
    out = {0, 1, size - 1}
    for f in fields:
        out.update(range(max(f - 1, 0), min(f + 9, size)))
    out.update(range(lay["records"] + 2, lay["records"] + 2 + 15))
    return sorted(out)

FAIL_ABNORMAL = "Failure: Abnormal Termination      class: SOFT\n"
FAIL_CLOSED = "Failure: Mounted (Closed)          class: INFO\n"
FAIL_SHUTDOWN = "Failure: Instance Shutdown         class: INFO\n"


def run(home, sid="orcl", env_extra=None, unset=()):
    env = {k: v for k, v in os.environ.items() if not k.startswith("VIRUZE")}
    env["VIRUZE_HOME"] = home
    env["VIRUZE_SID"] = sid
    env.update(env_extra or {})
    for k in unset:
        env.pop(k, None)
    p = subprocess.run([PROBE], env=env, capture_output=True, timeout=60)
    return p.stdout.decode("latin-1"), p.returncode


def gone_pid():
    p = subprocess.Popen(["sleep", "100"])
    p.kill()
    p.wait()
    return p.pid


class Probe(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="qen_probe_")

    def tearDown(self):
        shutil.rmtree(self.home, ignore_errors=True)

    def probe(self, data, **kw):
        hcfile.write(self.home, "orcl", data)
        return run(self.home, **kw)

    def lines(self, out):
        return out.splitlines()

    # ---- verdicts ----------------------------------------------------------

    def test_each_verdict_row(self):
        rows = [
            ([ABNORMAL], FAIL_ABNORMAL + "Abnormal termination\n", 98),
            ([CLOSED], FAIL_CLOSED + "Database is in closed state\n", 98),
            ([SHUTDOWN], FAIL_SHUTDOWN + "Proper Shutdown\n", 100),
            ([OPEN], "Instance is Online\n", 110),
            ([], "Unable to identify state!", 1),
            ([2, 3, 4, 5, 6, 7, 11, 12, 13, 14], "Unable to identify state!", 1),
        ]
        for events, out, code in rows:
            with self.subTest(events=events):
                self.assertEqual(self.probe(hcfile.image(WIDTH, events)), (out, code))

    def test_row_order_decides(self):
        rows = [
            ([ABNORMAL, OPEN], FAIL_ABNORMAL + "Abnormal termination\n", 98),
            ([SHUTDOWN, CLOSED], FAIL_CLOSED + "Database is in closed state\n", 98),
            ([CLOSED, OPEN], FAIL_CLOSED + "Database is in closed state\n", 98),
            ([SHUTDOWN, OPEN], FAIL_SHUTDOWN + "Proper Shutdown\n", 100),
            (list(range(15)), FAIL_ABNORMAL + "Abnormal termination\n", 98),
        ]
        for events, out, code in rows:
            with self.subTest(events=events):
                self.assertEqual(self.probe(hcfile.image(WIDTH, events)), (out, code))

    def test_current_record_is_the_one_read(self):
        data = hcfile.image(WIDTH, [OPEN], index=7, other_records=hcfile.SET)
        self.assertEqual(self.probe(data), ("Instance is Online\n", 110))
        data = hcfile.image(WIDTH, [CLOSED], index=9)
        self.assertEqual(self.probe(data)[1], 98)

    # ---- liveness ----------------------------------------------------------

    def test_gone_process_with_open_is_abnormal(self):
        data = hcfile.image(WIDTH, [OPEN], pid=gone_pid(), start=12345)
        self.assertEqual(self.probe(data), (FAIL_ABNORMAL + "Abnormal termination\n", 98))

    def test_gone_process_closes_the_database(self):
        data = hcfile.image(WIDTH, [CLOSED], pid=gone_pid(), start=0)
        self.assertEqual(self.probe(data)[1], 98)
        self.assertTrue(self.probe(data)[0].startswith(FAIL_ABNORMAL))

    def test_reused_pid_with_other_start_time_is_gone(self):
        data = hcfile.image(WIDTH, [OPEN], start=hcfile.start_time(os.getpid()) - 7)
        self.assertEqual(self.probe(data)[1], 98)

    def test_start_time_zero_relies_on_the_pid(self):
        data = hcfile.image(WIDTH, [OPEN], start=0)
        self.assertEqual(self.probe(data), ("Instance is Online\n", 110))

    def test_shutdown_skips_liveness(self):
        data = hcfile.image(WIDTH, [SHUTDOWN], pid=gone_pid(), start=1)
        self.assertEqual(self.probe(data), (FAIL_SHUTDOWN + "Proper Shutdown\n", 100))

    def test_restart_skips_liveness(self):
        data = hcfile.image(WIDTH, [RESTART, OPEN], pid=gone_pid(), start=1)
        self.assertEqual(self.probe(data), ("Instance is Online\n", 110))

    def test_invalid_pid_is_an_error_not_a_group(self):
        for pid in (0, -1, -5, -2147483648):
            with self.subTest(pid=pid):
                out, code = self.probe(hcfile.image(WIDTH, [OPEN], pid=pid, start=0))
                self.assertEqual(code, 1)
                lines = self.lines(out)
                self.assertTrue(lines[0].startswith("VUV-00107: "), out)
                self.assertTrue(any(l.startswith("VUV-00092: ") and "skgpalive1" in l
                                    for l in lines), out)

    # ---- errors ------------------------------------------------------------

    def test_unsupported_event_stops_the_probe(self):
        states = {ABNORMAL: hcfile.NOT_SUPPORTED, OPEN: hcfile.SET}
        out, code = self.probe(hcfile.image(WIDTH, states=states))
        self.assertEqual(code, 1)
        self.assertEqual(len(self.lines(out)), 1)
        self.assertTrue(out.startswith("VUV-00110: ") and "[0]" in out, out)
        # a later row's event unsupported is reached only when earlier rows are unset
        out, code = self.probe(hcfile.image(WIDTH, states={OPEN: hcfile.NOT_SUPPORTED}))
        self.assertEqual(code, 1)
        self.assertTrue(out.startswith("VUV-00110: ") and "[9]" in out, out)
        out, code = self.probe(hcfile.image(WIDTH, [CLOSED], states={OPEN: 0}))
        self.assertEqual(code, 98)

    def test_missing_file_gives_four_lines(self):
        out, code = run(self.home, "nosuch")
        self.assertEqual(code, 1)
        lines = self.lines(out)
        self.assertEqual([l[:11] for l in lines],
                         ["VUV-00104: ", "VUV-00090: ", "VUV-00091: ", "VUV-00092: "], out)
        self.assertIn("open", lines[1])
        self.assertIn("[2]", lines[1])
        self.assertIn(os.strerror(2), lines[2])
        self.assertIn("sskgmsmr_7", lines[3])

    def as_other_user(self):
        """The command prefix that runs the probe as a user other than the
        recorded instance process's, or None."""
        if os.geteuid() != 0:
            return []
        setpriv = shutil.which("setpriv")
        if not setpriv:
            return None
        return [setpriv, "--reuid=65534", "--regid=65534", "--clear-groups"]

    def test_other_user(self):
        prefix = self.as_other_user()
        if prefix is None:
            self.skipTest("no way to run as another user")
        os.chmod(self.home, 0o755)
        os.makedirs(os.path.join(self.home, "dbs"), exist_ok=True)
        os.chmod(os.path.join(self.home, "dbs"), 0o755)
        path = hcfile.write(self.home, "orcl", hcfile.image(WIDTH, [OPEN]))
        env = {k: v for k, v in os.environ.items() if not k.startswith("VIRUZE")}
        env.update(VIRUZE_HOME=self.home, VIRUZE_SID="orcl")

        def probe():
            p = subprocess.run(prefix + [PROBE], env=env, capture_output=True, timeout=60)
            return p.stdout.decode("latin-1"), p.returncode
        # the file is opened for writing although it is mapped read-only
        os.chmod(path, 0o644)
        out, code = probe()
        self.assertEqual(code, 1)
        self.assertTrue(out.startswith("VUV-00104: "), out)
        self.assertIn("[open] [%d]" % errno.EACCES, out)
        # a writable file: the instance process, owned by another user, is alive
        if prefix:
            os.chmod(path, 0o666)
            self.assertEqual(probe(), ("Instance is Online\n", 110))

    def test_unset_variables(self):
        self.assertEqual(run(self.home, unset=("VIRUZE_HOME",)),
                         ("VIRUZE_HOME not set or is null. Exiting\n", 1))
        self.assertEqual(run(self.home, unset=("VIRUZE_SID",)),
                         ("VIRUZE_SID not set or is null. Exiting\n", 1))
        self.assertEqual(run(self.home, unset=("VIRUZE_HOME", "VIRUZE_SID")),
                         ("VIRUZE_HOME not set or is null. Exiting\n", 1))

    def test_empty_variables_fail_the_attach(self):
        hcfile.write(self.home, "orcl", hcfile.image(WIDTH, [OPEN]))
        for extra, info in (({"VIRUZE_HOME": ""}, "VIRUZE_HOME not set"),
                            ({"VIRUZE_SID": ""}, "VIRUZE_SID not set")):
            with self.subTest(extra=extra):
                out, code = run(self.home, env_extra=extra)
                self.assertEqual(code, 1)
                lines = self.lines(out)
                self.assertTrue(lines[0].startswith("VUV-00104: "), out)
                self.assertIn(info, out)

    def test_header_mismatches(self):
        cases = {
            "version": dict(version=hcfile.VSNNUM + 1),
            "magic": dict(magic=0x44F6),
            "magic2": dict(magic2=0),
            "index 10": dict(index=10),
            "index 255": dict(index=255),
        }
        for name, kw in cases.items():
            with self.subTest(name):
                out, code = self.probe(hcfile.image(WIDTH, [OPEN], **kw))
                self.assertEqual(code, 1)
                self.assertTrue(out.startswith("VUV-00105: "), out)
                self.assertEqual(len(self.lines(out)), 1)

    def test_ready_flag(self):
        path = hcfile.write(self.home, "orcl", hcfile.image(WIDTH, [OPEN], ready=False))
        t0 = time.monotonic()
        out, code = run(self.home)
        elapsed = time.monotonic() - t0
        self.assertEqual(code, 1)
        self.assertTrue(out.startswith("VUV-00105: "), out)
        self.assertGreater(elapsed, 0.9)
        # set after about a quarter second: accepted
        def late():
            time.sleep(0.25)
            with open(path, "r+b") as f:
                f.seek(hcfile.flags_offset(WIDTH))
                f.write(bytes([hcfile.READY, 0]))
        t = threading.Thread(target=late)
        t.start()
        out, code = run(self.home)
        t.join()
        self.assertEqual((out, code), ("Instance is Online\n", 110))

    def test_file_of_the_other_width(self):
        out, code = self.probe(hcfile.image(OTHER, [OPEN]))
        self.assertEqual(code, 1)
        # a 64-bit file is long enough for the 32-bit mapping but its second
        # magic is elsewhere; a 32-bit file is shorter than the 64-bit mapping
        self.assertTrue(out.startswith("VUV-00105: " if WIDTH == 32 else "VUV-00104: "), out)

    # ---- damaged files -----------------------------------------------------

    def check_damaged(self, images):
        """Each image gives a verdict, or exit 1 with text."""
        def one(item):
            i, data = item
            sid = "d%d" % i
            hcfile.write(self.home, sid, data)
            out, code = run(self.home, sid)
            os.unlink(os.path.join(self.home, "dbs", "hc_%s.dat" % sid))
            return i, out, code
        bad = []
        with concurrent.futures.ThreadPoolExecutor(4) as pool:
            for i, out, code in pool.map(one, enumerate(images)):
                if code not in EXITS or (code == 1 and not out) or code < 0:
                    bad.append((i, code, out))
        self.assertEqual(bad, [])

    @unittest.skipIf(os.environ.get("PROBE_SKIP_SWEEPS"), "run as their own test")
    def test_every_truncation(self):
        for width in (WIDTH, OTHER):
            with self.subTest(width=width):
                full = hcfile.image(width, [OPEN])
                self.check_damaged([full[:n] for n in swept(width)])

    @unittest.skipIf(os.environ.get("PROBE_SKIP_SWEEPS"), "run as their own test")
    def test_every_single_byte_change(self):
        for width in (WIDTH, OTHER):
            with self.subTest(width=width):
                full = hcfile.image(width, [OPEN])
                images = []
                for at in swept(width):
                    for flip in (0xFF, 0x01):
                        d = bytearray(full)
                        d[at] ^= flip
                        images.append(d)
                self.check_damaged(images)


if __name__ == "__main__":
    unittest.main(verbosity=2)
