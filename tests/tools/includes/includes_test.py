#!/usr/bin/env python3
"""The include-order check on fixture trees: components bot < mid < top, each
a folder with a header and a source (and a sosd folder under mid)."""
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(__file__), "..", "..", "..", "scripts", "nls_includes.py")
ORDER = "bot,mid,top"


def tree(root, includes):
    """Writes components bot, mid and top; includes maps a file path (relative
    to root) to the headers it includes."""
    base = {
        "bot/bot.h": [],
        "bot/bot.cpp": ["bot.h"],
        "mid/mid.h": ["bot.h"],
        "mid/mid.cpp": ["mid.h", "bot.h"],
        "mid/sosd/smid.cpp": ["mid.h"],
        "top/top.h": ["mid.h"],
        "top/top.cpp": ["top.h", "bot.h"],
    }
    base.update(includes)
    for path, incs in base.items():
        full = os.path.join(root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w", encoding="utf-8") as fh:
            fh.write("// fixture\n")
            for h in incs:
                fh.write(f'#include "{h}"\n')
            fh.write("#include <stdint.h>\n")


def check(root, order=ORDER, stamp=None):
    cmd = [sys.executable, SCRIPT, "--root", root, "--check"]
    if order is not None:
        cmd += ["--order", order]
    if stamp:
        cmd += ["--stamp", stamp]
    p = subprocess.run(cmd, capture_output=True, text=True)
    return p.returncode, p.stderr


class IncludeOrder(unittest.TestCase):
    def run_case(self, includes, order=ORDER):
        with tempfile.TemporaryDirectory() as d:
            tree(d, includes)
            stamp = os.path.join(d, "ok.stamp")
            rc, err = check(d, order, stamp)
            return rc, err, os.path.exists(stamp)

    def test_downward_includes_pass_and_leave_the_stamp(self):
        rc, err, stamped = self.run_case({})
        self.assertEqual((rc, err), (0, ""))
        self.assertTrue(stamped)

    def test_faults(self):
        cases = [
            # (what, includes, order, words the report must hold)
            ("source includes a header above it", {"bot/bot.cpp": ["bot.h", "mid.h"]}, ORDER,
             ["upward include: bot includes mid (bot.cpp)"]),
            ("header includes a header two above it", {"bot/bot.h": ["top.h"]}, ORDER,
             ["upward include: bot includes top (bot.h)"]),
            ("file of a sosd folder", {"mid/sosd/smid.cpp": ["top.h"]}, ORDER,
             ["upward include: mid includes top (smid.cpp)"]),
            ("include through a path", {"mid/mid.cpp": ["../top/top.h"]}, ORDER,
             ["upward include: mid includes top (mid.cpp)"]),
            ("component left out of the order", {}, "bot,mid", ["component top is not in the order"]),
            ("order names a missing folder", {}, "bot,mid,gone,top",
             ["the order names gone, which is not a component"]),
            ("order names a component twice", {}, "bot,mid,top,mid", ["twice"]),
        ]
        for what, includes, order, words in cases:
            with self.subTest(what):
                rc, err, stamped = self.run_case(includes, order)
                self.assertEqual(rc, 1, err)
                self.assertFalse(stamped)
                for w in words:
                    self.assertIn(w, err)

    def test_every_upward_edge_is_reported(self):
        rc, err, _ = self.run_case({"bot/bot.h": ["mid.h"], "mid/mid.h": ["bot.h", "top.h"]})
        self.assertEqual(rc, 1)
        self.assertIn("bot includes mid (bot.h)", err)
        self.assertIn("mid includes top (mid.h)", err)

    def test_without_an_order_a_cycle_fails(self):
        with tempfile.TemporaryDirectory() as d:
            tree(d, {})
            self.assertEqual(check(d, None)[0], 0)
        with tempfile.TemporaryDirectory() as d:
            tree(d, {"bot/bot.cpp": ["top.h"]})
            rc, err = check(d, None)
            self.assertEqual(rc, 1)
            self.assertIn("cycle", err)

    def test_includes_of_other_folders_and_system_headers_are_no_edges(self):
        # a header no component owns, and a component's own header
        rc, err, _ = self.run_case({"bot/bot.cpp": ["bot.h", "stdio_like.h"]})
        self.assertEqual((rc, err), (0, ""))


if __name__ == "__main__":
    unittest.main(verbosity=1)
