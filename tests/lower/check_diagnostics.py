#!/usr/bin/env python3
"""Checks the lowering tool's diagnostics, one source per case.

    check_diagnostics.py --lower TOOL [--cxx COMPILER --include DIR...] CASE...

A case's first line says what must happen:

    // expect: LINE:COL: REGEX   the tool exits 1, prints a line
                                 CASE:LINE:COL: error: MESSAGE with MESSAGE
                                 matching REGEX, and leaves no output file
                                 (a stale one from an earlier run included);
    // expect: ok                the tool exits 0 and writes the output, which
                                 compiles when --cxx is given.

Prints one line per case and a closing count; exits 1 on any failure.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

EXPECT = re.compile(r"^//\s*expect:\s*(?:(ok)|(\d+):(\d+):\s*(.+?))\s*$")


def read_expectation(case):
    with open(case, encoding="utf-8") as f:
        first = f.readline()
    m = EXPECT.match(first)
    if not m:
        raise ValueError("first line is not '// expect: LINE:COL: REGEX' or '// expect: ok'")
    if m.group(1):
        return None
    return int(m.group(2)), int(m.group(3)), re.compile(m.group(4))


def include_flags(args):
    return [f for d in args.include for f in ("-I", d)]


def read_expectation_or_none(case):
    try:
        return "ok" if read_expectation(case) is None else "error"
    except (OSError, ValueError):
        return None


def check_case(case, args, tmp):
    """Returns a list of problems; empty when the case passes."""
    try:
        expected = read_expectation(case)
    except (OSError, ValueError) as e:
        return [str(e)]
    output = os.path.join(tmp, os.path.basename(case) + ".lowered.cpp")
    with open(output, "w") as f:
        f.write("stale output of an earlier run\n")
    try:
        r = subprocess.run([args.lower, case, "-o", output], capture_output=True, text=True, timeout=120)
    except subprocess.TimeoutExpired:
        return ["the tool did not finish within 120 s"]
    problems = []
    if expected is None:
        if r.returncode != 0:
            problems.append(f"exit status {r.returncode}, expected 0; stderr:\n{r.stderr.rstrip()}")
        elif not os.path.isfile(output) or open(output).read().startswith("stale output"):
            problems.append("no output written")
        elif args.cxx:
            # C sources are lowered to C, the others to C++.
            if case.endswith(".c"):
                compile_cmd = [args.cxx.replace("g++", "gcc"), "-std=gnu11", "-x", "c"]
            else:
                compile_cmd = [args.cxx, "-std=gnu++17", "-x", "c++"]
            c = subprocess.run(compile_cmd + ["-w", "-fsyntax-only"] + include_flags(args) + [output],
                               capture_output=True, text=True)
            if c.returncode != 0:
                problems.append(f"the lowered source does not compile:\n{c.stderr.rstrip()}")
        return problems

    line, col, message = expected
    if r.returncode != 1:
        problems.append(f"exit status {r.returncode}, expected 1")
    prefix = f"{case}:{line}:{col}: error: "
    if not any(l.startswith(prefix) and message.search(l[len(prefix):]) for l in r.stderr.splitlines()):
        problems.append(f"no line '{prefix}' matching /{message.pattern}/; stderr:\n{r.stderr.rstrip()}")
    left = sorted(os.listdir(tmp))
    if left:
        problems.append(f"files left behind: {', '.join(left)}")
    return problems


def check_odd_uses(args, good_case, tmp):
    """The tool's own edges, beyond one case each: an option missing its
    value, and a source whose path holds characters a #line directive must
    escape (its output must still compile)."""
    problems = []
    output = os.path.join(tmp, "out.cpp")
    r = subprocess.run([args.lower, good_case, "-o", output, "-x"], capture_output=True, text=True, timeout=120)
    if r.returncode != 2 or "-x needs a language" not in r.stderr or os.path.exists(output):
        problems.append(f"-x without a language: exit status {r.returncode}, expected 2 with a message and "
                        f"no output; stderr:\n{r.stderr.rstrip()}")
    odd = os.path.join(tmp, 'a "quoted" \\ folder')
    os.makedirs(odd)
    source = os.path.join(odd, os.path.basename(good_case))
    with open(good_case, "rb") as f, open(source, "wb") as g:
        g.write(f.read())
    r = subprocess.run([args.lower, source, "-o", output], capture_output=True, text=True, timeout=120)
    if r.returncode != 0:
        problems.append(f"a path with quotes and a backslash: exit status {r.returncode}; stderr:\n{r.stderr.rstrip()}")
    elif args.cxx:
        compiler = args.cxx.replace("g++", "gcc") if source.endswith(".c") else args.cxx
        language = ["-std=gnu11", "-x", "c"] if source.endswith(".c") else ["-std=gnu++17", "-x", "c++"]
        c = subprocess.run([compiler] + language + ["-w", "-fsyntax-only"] + include_flags(args) + [output],
                           capture_output=True, text=True)
        if c.returncode != 0:
            problems.append(f"a path with quotes and a backslash: the lowered source does not compile:\n"
                            f"{c.stderr.rstrip()}")
    return problems


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--lower", required=True, help="the lowering tool")
    p.add_argument("--cxx", help="compile the output of 'ok' cases with this compiler")
    p.add_argument("--include", action="append", default=[],
                   help="an include folder of the layer's (its stand-in headers, its interface), for --cxx")
    p.add_argument("cases", nargs="+")
    args = p.parse_args(argv)
    if args.cxx and not args.include:
        p.error("--cxx needs --include")

    failed = 0
    for case in args.cases:
        with tempfile.TemporaryDirectory(prefix="zeb-lower-case-") as tmp:
            problems = check_case(case, args, tmp)
        if problems:
            failed += 1
            print(f"FAIL {case}")
            for problem in problems:
                print("    " + problem.replace("\n", "\n    "))
        else:
            print(f"PASS {case}")
    # A C++ case: g++ refuses a malformed #line where gcc only warns.
    good = sorted((c for c in args.cases if read_expectation_or_none(c) == "ok"), key=lambda c: c.endswith(".c"))
    if good:
        with tempfile.TemporaryDirectory(prefix="zeb-lower-odd-") as tmp:
            problems = check_odd_uses(args, good[0], tmp)
        failed += bool(problems)
        print(f"{'FAIL' if problems else 'PASS'} odd uses of the tool")
        for problem in problems:
            print("    " + problem.replace("\n", "\n    "))
    print(f"{len(args.cases) + bool(good) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
