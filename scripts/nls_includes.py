#!/usr/bin/env python3
"""Lists the include edges between the components of a folder of the kit
(kit/nls/<component>/ unless --root names another) and their cycles.

  --order a,b,c  the components bottom-up: each may include only the
                 components before it in the list (and itself)
  --check        with --order: exits 1 when a component includes one that is
                 not below it, when a component of the folder is missing from
                 the order, or when the order names a folder that is not there;
                 without --order: exits 1 on any cycle
  --stamp FILE   writes FILE once the check passed (the build's record that
                 it ran)
"""
import argparse
import os
import re
import sys

NLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "kit", "nls")
INC = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def component_files(root, suffixes):
    """Yields (component, folder, file name) for every file of a component
    whose name ends in one of suffixes."""
    for comp in sorted(os.listdir(root)):
        d = os.path.join(root, comp)
        if not os.path.isdir(d):
            continue
        for base, _, files in os.walk(d):
            for f in sorted(files):
                if f.endswith(suffixes):
                    yield comp, base, f


def components(root):
    return sorted(c for c in os.listdir(root) if os.path.isdir(os.path.join(root, c)))


def owners(root):
    return {f: comp for comp, _, f in component_files(root, (".h",))}


def edges(root, own):
    e = {}
    for comp, base, f in component_files(root, (".h", ".cpp", ".c")):
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


def order_faults(order, present, e):
    """The faults of the include graph e against the bottom-up order."""
    faults = []
    rank = {c: i for i, c in enumerate(order)}
    for c in present:
        if c not in rank:
            faults.append(f"component {c} is not in the order")
    for c in order:
        if c not in present:
            faults.append(f"the order names {c}, which is not a component")
    if len(rank) != len(order):
        faults.append("the order names a component twice")
    for a in sorted(e):
        for b in sorted(e[a]):
            if a in rank and b in rank and rank[b] > rank[a]:
                files = ", ".join(sorted(set(e[a][b])))
                faults.append(f"upward include: {a} includes {b} ({files})")
    return faults


def main(argv):
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", default=NLS)
    ap.add_argument("--order", default="")
    ap.add_argument("--check", action="store_true")
    ap.add_argument("--stamp")
    args = ap.parse_args(argv)
    root = os.path.abspath(args.root)
    e = edges(root, owners(root))
    if not args.check:
        for a in sorted(e):
            for b in sorted(e[a]):
                print(f"{a} -> {b}  ({', '.join(sorted(set(e[a][b])))})")
    cyc = cycles(e)
    for c in cyc:
        print("cycle: " + " -> ".join(c), file=sys.stderr if args.check else sys.stdout)
    if args.check:
        if args.order:
            faults = order_faults(args.order.split(","), components(root), e)
        else:
            faults = ["include cycle"] if cyc else []
        for f in faults:
            print(f"{root}: {f}", file=sys.stderr)
        if faults:
            return 1
        if args.stamp:
            with open(args.stamp, "w", encoding="utf-8") as fh:
                fh.write("ok\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
