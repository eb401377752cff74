#!/usr/bin/env python3
"""Mutation check: do the tests catch small faults planted in the code?

Applies a catalogue of small faults (a comparison flipped or loosened, a
logical or arithmetic operator swapped, a constant off by one, a mask or
sign dropped, a statement removed) one at a time to the source files given,
rebuilds incrementally in a build folder of its own, runs the in-process
test programs that link the changed file, and prints one line per mutant:
killed (by which test), survived, or not compiled. The file is always put
back as it was, also when the run is interrupted.

    tools/mutate.py [options] FILE[:FROM-TO] ...

FROM-TO limits a file to those lines (1-based, inclusive; several ranges
may be joined by commas). A mutant takes a few seconds on two cores, some
fifteen for a header that the tests include. Typical use:

    nice tools/mutate.py --sample 300 --out mut.tsv \\
        emulator/core/arith.h emulator/core/arith.cpp tapeimage/tape.cpp

Options:
    --build DIR     build folder (default build-mut: no link-time
                    optimisation, -O1); configured on first use
    --list          print the mutants and stop
    --sample N      a fixed random choice of N of the mutants (see --seed)
    --seed S        seed of that choice (default 1)
    --ids FILE      only the mutants whose ids FILE lists (one per line, or
                    a result file of an earlier run: its survivors)
    --out FILE      also write the results as tab-separated lines
    --timeout SEC   limit per test program and mutant (default 60)
    --jobs N        build jobs (default 2)
    --whole         build the programs too and, when the in-process tests
                    pass, run every test program, those that run the
                    programs as processes included: slower, for going over
                    the survivors of a first run (with --ids)

The test programs are the GoogleTest binaries of the build folder; those
that run the built programs as processes (and the cases that do so inside
the others) are left out, since the programs themselves are not rebuilt,
unless --whole is given.
"""

import argparse
import os
import random
import re
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# The in-process test programs, and the cases in them that run built
# programs as processes.
TESTS = {
    "tests/emulator_test": "",
    "tests/seq_test": "",
    "tests/arith_test": "",
    "tests/edit_test": "",
    "tests/periph_test": "",
    "tests/tape_test": "",
    "tests/tapedump_test": "-DumpTest.Program",
    "tests/progtape_test": "-ProgTape.FullRoadFromDescriptionToUnload",
    "tests/modernise_test": "",
    "tests/record_test": "",
}

# ---------------------------------------------------------------------------
# Lexing: just enough of C++ to find operators and literals outside
# comments, strings, character literals and #include lines.

TOKEN = re.compile(
    r"""
    (?P<ws>\s+)
  | (?P<comment>//[^\n]*|/\*.*?\*/)
  | (?P<string>"(?:\\.|[^"\\\n])*")
  | (?P<char>'(?:\\.|[^'\\\n])*')
  | (?P<number>0[xX][0-9a-fA-F]+[uUlL]*|\d+[uUlL]*)
  | (?P<ident>[A-Za-z_]\w*)
  | (?P<op><<=|>>=|->|\+\+|--|<<|>>|<=|>=|==|!=|&&|\|\||\+=|-=|\*=|/=|&=|\|=|\^=|::|\.\.\.|[-+*/%&|^!~<>=?:;,.(){}\[\]#])
  | (?P<other>.)
    """,
    re.S | re.X,
)


def tokens(text):
    """(kind, text, offset) for every token; preprocessor include lines and
    pragma lines are dropped whole."""
    out = []
    pos = 0
    for m in TOKEN.finditer(text):
        kind = m.lastgroup
        out.append((kind, m.group(), m.start()))
        pos = m.end()
    # Drop #include and #pragma lines.
    keep = []
    skip_to = -1
    for i, (kind, tok, off) in enumerate(out):
        if off < skip_to:
            continue
        if tok == "#" and i + 1 < len(out) and out[i + 1][1] in ("include", "pragma"):
            nl = text.find("\n", off)
            skip_to = len(text) if nl < 0 else nl
            continue
        keep.append((kind, tok, off))
    return keep


def spaced(text, off, length):
    """True when the operator at off has white space on both sides (the
    code's format writes binary operators so; templates, references and
    pointers are written without)."""
    before = off > 0 and text[off - 1] in " \t"
    after = off + length < len(text) and text[off + length] in " \t\n"
    return before and after


# ---------------------------------------------------------------------------
# The catalogue. Each mutant: (offset, length, replacement, operator name).

SWAPS = {
    "<": ["<="],
    "<=": ["<"],
    ">": [">="],
    ">=": [">"],
    "==": ["!="],
    "!=": ["=="],
    "&&": ["||"],
    "||": ["&&"],
    "+": ["-"],
    "-": ["+"],
    "&": ["|"],
    "|": ["&"],
    "^": ["|"],
    "<<": [">>"],
    ">>": ["<<"],
    "+=": ["-="],
    "-=": ["+="],
    "|=": ["&="],
    "&=": ["|="],
}
NAMES = {
    "relational": {"<", "<=", ">", ">=", "==", "!="},
    "logical": {"&&", "||"},
    "arith": {"+", "-", "+=", "-="},
    "bitwise": {"&", "|", "^", "|=", "&=", "<<", ">>"},
}
MASKS = {"MASK20": "MASK21", "MASK21": "MASK20", "SIGN": "0"}
TYPES = {
    "int", "long", "unsigned", "char", "bool", "auto", "const", "static", "int32_t",
    "uint32_t", "uint64_t", "uint8_t", "size_t", "ssize_t", "off_t", "Reg", "Reg&",
    "Route&", "Err", "std", "return", "break", "continue", "goto", "case", "default",
    "if", "for", "while", "switch", "do", "else", "struct", "namespace", "template",
    "void", "inline", "constexpr", "extern", "using", "tape", "FILE", "double",
    "float", "Machine", "Pos", "Got", "Overlay", "Pending", "NEXT", "STEP",
}


def op_name(tok):
    for name, ops in NAMES.items():
        if tok in ops:
            return name
    return "op"


def literal_variants(tok):
    m = re.match(r"(0[xX][0-9a-fA-F]+|\d+)([uUlL]*)$", tok)
    if not m:
        return []
    body, suffix = m.groups()
    hexa = body[:2].lower() == "0x"
    v = int(body, 16 if hexa else 10)
    out = []
    for nv in (v + 1, v - 1):
        if nv < 0:
            continue
        out.append(("0x%X" % nv if hexa else str(nv)) + suffix)
    return out


def statements(text, lines):
    """Whole statements on one line that can be removed: expression
    statements (assignments, calls, increments), and the statement after an
    `if (...)` on the same line."""
    out = []
    start = 0
    for no, line in enumerate(lines, 1):
        off = start
        start += len(line) + 1
        s = line.strip()
        if not s.endswith(";") or s.endswith("\\"):
            continue
        lead = off + (len(line) - len(line.lstrip()))
        first = re.match(r"[A-Za-z_]\w*|\+\+|--|\*", s)
        if not first:
            continue
        word = first.group()
        if word == "if":
            # The statement after the condition, if it is on this line.
            depth = 0
            i = s.find("(")
            for j in range(i, len(s)):
                depth += {"(": 1, ")": -1}.get(s[j], 0)
                if depth == 0:
                    break
            rest = s[j + 1:].strip()
            if rest and not rest.startswith(("return", "{", "break", "continue", "goto")):
                k = lead + s.index(rest, j + 1)
                out.append((k, len(rest), ";", "delete"))
            continue
        if word in TYPES or s.startswith(("std::", "tape::Pos", "tape::Err")):
            continue
        # A declaration: two identifiers in a row before "=" (Type name = ...).
        if re.match(r"[A-Za-z_][\w:<>]*[&*]?\s+[&*]?[A-Za-z_]\w*\s*(=|;|\[|\()", s) and not re.match(
                r"[A-Za-z_]\w*\s*(=|\(|\[|\.|->|\+\+|--|\+=|-=|\|=|&=|\^=)", s):
            continue
        if not re.search(r"=|\(|\+\+|--", s):
            continue
        out.append((lead, len(s), ";", "delete"))
    return out


def mutants_of(path, ranges):
    text = open(os.path.join(ROOT, path)).read()
    lines = text.split("\n")
    starts = [0]
    for line in lines:
        starts.append(starts[-1] + len(line) + 1)

    def line_of(off):
        lo, hi = 0, len(starts) - 1
        while lo < hi:
            mid = (lo + hi + 1) // 2
            if starts[mid] <= off:
                lo = mid
            else:
                hi = mid - 1
        return lo + 1

    found = []
    toks = tokens(text)
    for i, (kind, tok, off) in enumerate(toks):
        prev = toks[i - 1] if i else ("ws", "", 0)
        if kind == "op" and tok in SWAPS:
            if tok in ("<", ">", "&", "*", "|", "^", "+", "-", "<<", ">>", "<=", ">=", "==", "!=",
                       "&&", "||") and not spaced(text, off, len(tok)):
                continue
            for rep in SWAPS[tok]:
                found.append((off, len(tok), rep, op_name(tok)))
        elif kind == "op" and tok in ("++", "--"):
            found.append((off, 2, "--" if tok == "++" else "++", "arith"))
        elif kind == "op" and tok == "!" and i + 1 < len(toks):
            found.append((off, 1, "", "negation"))
        elif kind == "number":
            # Not in array sizes of declarations, which only move a bound.
            if prev[1] == "[" and re.search(r"\b(char|int32_t|int|uint8_t)\b[^=]*\[$",
                                            text[starts[line_of(off) - 1]:off]):
                continue
            for rep in literal_variants(tok):
                found.append((off, len(tok), rep, "constant"))
        elif kind == "ident" and tok in MASKS:
            found.append((off, len(tok), MASKS[tok], "mask"))
        elif kind == "ident" and tok in ("true", "false"):
            found.append((off, len(tok), "false" if tok == "true" else "true", "constant"))
    found += statements(text, lines)

    result = []
    for off, length, rep, name in found:
        no = line_of(off)
        if ranges and not any(a <= no <= b for a, b in ranges):
            continue
        col = off - starts[no - 1] + 1
        mid = "%s:%d:%d:%s" % (path, no, col, rep if name != "delete" else "delete")
        result.append({"id": mid, "path": path, "line": no, "off": off, "len": length,
                       "rep": rep, "op": name, "orig": text[off:off + length]})
    result.sort(key=lambda m: (m["line"], m["off"], m["rep"]))
    return text, result


# ---------------------------------------------------------------------------
# Building and testing.

class Runner:
    def __init__(self, build, jobs, timeout, whole=False):
        self.whole = whole
        self.build = build
        self.jobs = jobs
        self.timeout = timeout
        self.tests = []
        self.wins = {}  # (path, test program) -> mutants killed: tried first

    def ninja(self, quiet=True):
        """(ok, output); output None when the build did not end in time (the
        build runs the programs it makes, on the examples)."""
        targets = [os.path.basename(t) for t in TESTS]
        cmd = ["cmake", "--build", self.build, "-j", str(self.jobs)]
        if not self.whole:
            cmd += ["--target"] + targets
        p = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                             start_new_session=True)
        try:
            out, _ = p.communicate(timeout=max(600, 5 * self.timeout))
        except subprocess.TimeoutExpired:
            os.killpg(p.pid, signal.SIGKILL)
            p.communicate()
            return False, None
        return p.returncode == 0, out

    def stamps(self):
        return {t: os.path.getmtime(os.path.join(self.build, t)) for t in self.tests}

    def run_test(self, test, filt):
        """None when the program passes, else the first failing test (or
        "timeout", or "crash")."""
        cmd = [os.path.join(self.build, test), "--gtest_fail_fast", "--gtest_brief=1"]
        if filt and not self.whole:
            cmd.append("--gtest_filter=" + filt)
        try:
            r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                               errors="replace", timeout=self.timeout,
                               cwd=os.path.join(self.build, "tests"), start_new_session=True)
        except subprocess.TimeoutExpired:
            return "timeout"
        if r.returncode == 0:
            return None
        m = re.search(r"\[  FAILED  \] (\S+)", r.stdout)
        if m:
            return m.group(1)
        return "crash (status %d)" % r.returncode

    def check(self, path):
        """Rebuilds; returns ("killed", by) / ("survived", "") / ("stillborn", "")."""
        before = self.stamps()
        ok, out = self.ninja()
        if out is None:
            return "killed", "(the build hangs: a program it runs)"
        if not ok and "error:" not in out:
            return "killed", "(the build fails: a program it runs)"
        if not ok:
            return "stillborn", ""
        after = self.stamps()
        linked = [t for t in self.tests if after[t] != before[t]]
        linked.sort(key=lambda t: -self.wins.get((path, t), 0))
        for t in linked:
            by = self.run_test(t, TESTS.get(t, ""))
            if by:
                self.wins[(path, t)] = self.wins.get((path, t), 0) + 1
                return "killed", "%s %s" % (os.path.basename(t), by)
        if self.whole:
            # The programs were rebuilt: every test that runs them.
            for t in self.tests:
                if t not in linked:
                    by = self.run_test(t, "")
                    if by:
                        return "killed", "%s %s" % (os.path.basename(t), by)
            return "survived", ""
        if not linked:
            return "survived", "(no test program links it)"
        return "survived", ""


def parse_file_arg(arg):
    m = re.match(r"(.+?):([\d,\-]+)$", arg)
    if not m:
        return arg, []
    ranges = []
    for part in m.group(2).split(","):
        a, _, b = part.partition("-")
        ranges.append((int(a), int(b or a)))
    return m.group(1), ranges


def read_ids(name):
    ids = set()
    for line in open(name):
        f = line.rstrip("\n").split("\t")
        if len(f) == 1 and f[0]:
            ids.add(f[0])
        elif len(f) > 1 and f[1] == "survived":
            ids.add(f[0])
    return ids


def main():
    ap = argparse.ArgumentParser(usage="%(prog)s [options] FILE[:FROM-TO] ...", description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("files", nargs="+")
    ap.add_argument("--build", default=os.path.join(ROOT, "build-mut"))
    ap.add_argument("--list", action="store_true")
    ap.add_argument("--sample", type=int, default=0)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--ids")
    ap.add_argument("--out")
    ap.add_argument("--timeout", type=float, default=60)
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--whole", action="store_true")
    args = ap.parse_args()

    sources = {}
    todo = []
    for arg in args.files:
        path, ranges = parse_file_arg(arg)
        path = os.path.relpath(os.path.abspath(path), ROOT)
        text, ms = mutants_of(path, ranges)
        sources[path] = text
        todo += ms
    if args.ids:
        want = read_ids(args.ids)
        todo = [m for m in todo if m["id"] in want]
    if args.sample and args.sample < len(todo):
        todo = random.Random(args.seed).sample(todo, args.sample)
        todo.sort(key=lambda m: (m["path"], m["line"], m["off"], m["rep"]))
    if args.list:
        for m in todo:
            print("%s\t%s\t%r -> %r" % (m["id"], m["op"], m["orig"], m["rep"]))
        print("%d mutants" % len(todo))
        return 0

    build = os.path.abspath(args.build)
    if not os.path.exists(os.path.join(build, "build.ninja")):
        subprocess.run(["cmake", "-S", ROOT, "-B", build, "-G", "Ninja",
                        "-DCMAKE_BUILD_TYPE=Mutate", "-DCMAKE_CXX_FLAGS_MUTATE=-O1"],
                       check=True, stdout=subprocess.DEVNULL)
    runner = Runner(build, args.jobs, args.timeout, args.whole)
    ok, log = runner.ninja()
    if not ok:
        sys.stderr.write((log or "") + "\nmutate: the unchanged sources do not build\n")
        return 2
    runner.tests = [t for t in TESTS if os.path.exists(os.path.join(build, t))]
    if args.whole:
        d = os.path.join(build, "tests")
        runner.tests += sorted("tests/" + f for f in os.listdir(d)
                               if f.endswith("_test") and "tests/" + f not in TESTS)
    for t in runner.tests:
        if runner.run_test(t, TESTS.get(t, "")):
            sys.stderr.write("mutate: %s fails before any change\n" % t)
            return 2

    # SIGTERM as an interrupt, so that the file is put back either way.
    signal.signal(signal.SIGTERM, signal.default_int_handler)
    out = open(args.out, "w") if args.out else None
    counts = {"killed": 0, "survived": 0, "stillborn": 0}
    survivors = []
    t0 = time.time()
    current = None
    try:
        for k, m in enumerate(todo, 1):
            text = sources[m["path"]]
            mutated = text[:m["off"]] + m["rep"] + text[m["off"] + m["len"]:]
            full = os.path.join(ROOT, m["path"])
            current = (full, text)
            with open(full, "w") as f:
                f.write(mutated)
            verdict, by = runner.check(m["path"])
            with open(full, "w") as f:
                f.write(text)
            current = None
            counts[verdict] += 1
            if verdict == "survived":
                survivors.append(m)
            what = "%r -> %r" % (m["orig"], m["rep"]) if m["op"] != "delete" else \
                "delete %r" % m["orig"]
            print("%4d/%d %-9s %s  %s  %s" % (k, len(todo), verdict, m["id"], what, by), flush=True)
            if out:
                out.write("%s\t%s\t%s\t%s\n" % (m["id"], verdict, by, what))
                out.flush()
    except KeyboardInterrupt:
        print("\nmutate: interrupted", flush=True)
    finally:
        if current:
            with open(current[0], "w") as f:
                f.write(current[1])
        if out:
            out.close()
    runner.ninja()  # the build folder back in step with the sources

    tried = counts["killed"] + counts["survived"]
    score = 100.0 * counts["killed"] / tried if tried else 0.0
    print("\n%d mutants: %d killed, %d survived, %d did not compile; %.1f %% killed; %.0f s"
          % (sum(counts.values()), counts["killed"], counts["survived"], counts["stillborn"], score,
             time.time() - t0))
    for m in survivors:
        print("survived: %s" % m["id"])
    return 0 if not survivors else 1


if __name__ == "__main__":
    sys.exit(main())
