#!/usr/bin/env python3
"""Runs the README's examples as shown, and checks that every path it names
exists.

An example is a fenced code block right after a line "<!-- example -->". It
reads as a terminal session: a line beginning with "$ " is a command, the lines
beginning with "> " that follow it continue that command (a here-document, or
a line ended by a backslash), and the other lines up to the next command are
what the command prints, standard error included. In an expected line "..."
stands for any text; a line of "..." alone for any number of lines. Trailing
blanks do not count.

Each example runs as one bash session in a new directory holding build and
build32 (the 64-bit and the 32-bit build trees) and the source tree's top
folders, with HOME set to that directory; whatever it leaves running in its
process group is killed at the end. An example that names build32/ needs the
32-bit tree, any other the 64-bit one.

Paths: every word of a code span outside the examples (a code span stays on
one line) that looks like a
relative path (it has a slash, and no placeholder such as <NAME>, no '=', no
'$') must exist: build/... and build32/... in those trees (when they are
there), anything else in the source tree. Plain-text words that begin with a
top folder of the source tree are checked the same way.

Usage: readme_examples.py --source DIR --tree64 DIR --tree32 DIR --width 64|32
With --width 64 the examples that need no 32-bit tree run, and the paths are
checked; with --width 32 only the examples that need it. Exit 0 when all
passed, 1 when one failed, 77 when nothing could run for want of a tree.
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile

SKIP = 77
MARKER = "<!-- example -->"
STEP = "@@README-EXAMPLE-STEP@@"
TOP_FOLDERS = ("platform", "agents", "kit", "probe", "discovery", "tools", "tests", "bench",
               "scripts", "cmake", ".ci")
TIMEOUT = 120


class Example:
    def __init__(self, line):
        self.line = line          # line of the README where the block starts
        self.steps = []           # (command text, [expected lines])

    def needs32(self):
        return any("build32/" in cmd for cmd, _ in self.steps)


def parse(readme_lines):
    """The examples, and the README's lines outside them."""
    examples = []
    prose = []
    i = 0
    while i < len(readme_lines):
        line = readme_lines[i]
        if line.strip() == MARKER:
            j = i + 1
            if j >= len(readme_lines) or not readme_lines[j].startswith("```"):
                raise SystemExit(f"README.md:{i + 1}: {MARKER} is not followed by a code block")
            ex = Example(j + 1)
            j += 1
            while j < len(readme_lines) and not readme_lines[j].startswith("```"):
                text = readme_lines[j]
                if text.startswith("$ "):
                    ex.steps.append([text[2:], []])
                elif text.startswith("> ") or text == ">":
                    if not ex.steps or ex.steps[-1][1]:
                        raise SystemExit(f"README.md:{j + 1}: a continuation line after output")
                    ex.steps[-1][0] += "\n" + text[2:]
                else:
                    if not ex.steps:
                        raise SystemExit(f"README.md:{j + 1}: output before the first command")
                    ex.steps[-1][1].append(text)
                j += 1
            examples.append(ex)
            i = j + 1
            continue
        prose.append((i + 1, line))
        i += 1
    return examples, prose


def line_pattern(expected):
    return re.compile(".*".join(re.escape(p) for p in expected.rstrip().split("...")) + r"\Z")


def matches(expected, actual):
    """Whether the actual lines match the expected ones ("..." wildcards)."""
    if not expected:
        return not actual
    head = expected[0]
    if head.strip() == "...":
        return any(matches(expected[1:], actual[k:]) for k in range(len(actual) + 1))
    if not actual or not line_pattern(head).match(actual[0].rstrip()):
        return False
    return matches(expected[1:], actual[1:])


def session_script(ex):
    # The exit status of each command survives the marker for the next one
    # ("echo $?").
    parts = ["exec 2>&1"]
    for cmd, _ in ex.steps:
        parts.append(cmd)
        parts.append(f"__rc=$?; printf '\\n{STEP}\\n'; (exit $__rc)")
    return "\n".join(parts) + "\n"


def run_example(ex, source, tree64, tree32):
    work = tempfile.mkdtemp(prefix="qen-readme-")
    try:
        os.chmod(work, 0o755)
        os.symlink(tree64, os.path.join(work, "build"))
        if tree32:
            os.symlink(tree32, os.path.join(work, "build32"))
        for name in os.listdir(source):
            if name in TOP_FOLDERS:
                os.symlink(os.path.join(source, name), os.path.join(work, name))
        env = {k: v for k, v in os.environ.items() if not k.startswith(("VIRUZE_", "QEN_"))}
        env.update(HOME=work, LC_ALL="C", PWD=work)
        proc = subprocess.Popen(["bash", "--noprofile", "--norc"], cwd=work, env=env,
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                start_new_session=True)
        try:
            out, _ = proc.communicate(session_script(ex).encode(), timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            out = b""
            print(f"README.md:{ex.line}: example timed out after {TIMEOUT} s")
            return False
        finally:
            try:
                os.killpg(proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            proc.wait()
        chunks = out.decode(errors="replace").split("\n" + STEP + "\n")
        ok = True
        for n, (cmd, expected) in enumerate(ex.steps):
            got = chunks[n] if n < len(chunks) else "<no output: the session ended early>"
            actual = got.split("\n") if got else []
            while actual and actual[-1] == "":
                actual.pop()
            if not matches(expected, actual):
                ok = False
                print(f"README.md:{ex.line}: command {n + 1} of the example:\n  $ " +
                      cmd.replace("\n", "\n  > "))
                print("  expected:\n" + "".join(f"    |{e}\n" for e in expected) +
                      "  printed:\n" + "".join(f"    |{a}\n" for a in actual))
        return ok
    finally:
        shutil.rmtree(work, ignore_errors=True)


PLACEHOLDER = re.compile(r"[<>*$=~{}|\\]|\.\.\.")


def path_words(prose):
    """(line, word) of every relative path the README's text names."""
    in_block = False
    for lineno, line in prose:
        if line.startswith("```"):
            in_block = not in_block
            continue
        if in_block:
            continue
        for span in re.findall(r"`([^`]+)`", line):
            for word in span.split():
                yield lineno, word
        plain = re.sub(r"`[^`]+`", " ", line)
        for word in plain.split():
            word = word.strip("()[],;:.\"'")
            if word.startswith(tuple(f + "/" for f in TOP_FOLDERS)):
                yield lineno, word


def check_paths(prose, source, tree64, tree32):
    ok = True
    in_block = False
    for lineno, line in prose:
        if line.startswith("```"):
            in_block = not in_block
        elif not in_block and line.count("`") % 2:
            ok = False
            print(f"README.md:{lineno}: a code span runs over the line end (keep it on one line)")
    for lineno, word in path_words(prose):
        word = word.rstrip(".,;:)")
        if "/" not in word or word.startswith(("/", "-", "http")) or PLACEHOLDER.search(word):
            continue
        first = word.split("/")[0]
        if first == "build":
            base, rest = tree64, word[len("build/"):]
        elif first == "build32":
            base, rest = tree32, word[len("build32/"):]
        elif first.startswith("build"):
            continue  # the other trees (build-asan/, build-demo/, ...) exist only once built
        else:
            base, rest = source, word
        if base is None:
            continue
        if not os.path.exists(os.path.join(base, rest)):
            ok = False
            print(f"README.md:{lineno}: {word} does not exist")
    return ok


def tree_of(path, program):
    return path if path and os.path.exists(os.path.join(path, program)) else None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--source", required=True)
    ap.add_argument("--tree64", required=True)
    ap.add_argument("--tree32", required=True)
    ap.add_argument("--width", choices=("64", "32"), required=True)
    a = ap.parse_args()
    source = os.path.realpath(a.source)
    tree64 = tree_of(os.path.realpath(a.tree64), "probe/healthprobe_64")
    tree32 = tree_of(os.path.realpath(a.tree32), "probe/healthprobe_32")
    with open(os.path.join(source, "README.md"), encoding="utf-8") as f:
        examples, prose = parse(f.read().split("\n"))
    if not examples:
        print("README.md has no examples")
        return 1
    ok = True
    ran = 0
    if a.width == "64":
        ok = check_paths(prose, source, tree64, tree32) and ok
        ran += 1
    for ex in examples:
        if ex.needs32() != (a.width == "32"):
            continue
        if tree64 is None or (ex.needs32() and tree32 is None):
            print(f"README.md:{ex.line}: skipped: no " +
                  ("64-bit tree" if tree64 is None else "32-bit tree"))
            continue
        ran += 1
        if run_example(ex, source, tree64, tree32):
            print(f"README.md:{ex.line}: example passed ({len(ex.steps)} commands)")
        else:
            ok = False
    if not ok:
        return 1
    return 0 if ran else SKIP


if __name__ == "__main__":
    sys.exit(main())
