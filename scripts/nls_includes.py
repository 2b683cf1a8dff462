#!/usr/bin/env python3
"""Lists the include edges between the NLS components (kit/nls/<component>/)
and their cycles. With --check, exits 1 when a component other than the
formats (lxf) is included by lxf, or when lxf includes any NLS header."""
import os
import re
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "kit", "nls")
INC = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def component_files(suffixes):
    """Yields (component, folder, file name) for every file of a component
    whose name ends in one of suffixes."""
    for comp in sorted(os.listdir(ROOT)):
        d = os.path.join(ROOT, comp)
        if not os.path.isdir(d):
            continue
        for base, _, files in os.walk(d):
            for f in files:
                if f.endswith(suffixes):
                    yield comp, base, f


def owners():
    return {f: comp for comp, _, f in component_files((".h",))}


def edges(own):
    e = {}
    for comp, base, f in component_files((".h", ".cpp", ".c")):
        with open(os.path.join(base, f), encoding="utf-8", errors="replace") as fh:
            for inc in INC.findall(fh.read()):
                to = own.get(os.path.basename(inc))
                if to and to != comp:
                    e.setdefault(comp, {}).setdefault(to, []).append(f)
    return e


def cycles(e):
    out, seen = [], set()
    def walk(node, path):
        for nxt in e.get(node, {}):
            if nxt in path:
                cyc = path[path.index(nxt):]
                key = frozenset(cyc)
                if key not in seen:
                    seen.add(key)
                    out.append(cyc + [nxt])
            elif len(path) < 12:
                walk(nxt, path + [nxt])
    for n in sorted(e):
        walk(n, [n])
    return out


def main():
    own = owners()
    e = edges(own)
    for a in sorted(e):
        for b in sorted(e[a]):
            print(f"{a} -> {b}  ({', '.join(sorted(set(e[a][b])))})")
    cyc = cycles(e)
    for c in cyc:
        print("cycle: " + " -> ".join(c))
    bad = [b for b in e.get("lxf", {})]
    if "--check" in sys.argv:
        if bad:
            print("lxf includes " + ", ".join(bad), file=sys.stderr)
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
