#!/usr/bin/env python3
"""Compiles every program source, unmodified, with the real target's code
generator: clang for Windows on ARM64 (aarch64-w64-mingw32) against
mingw-w64's headers.  A source passes with no error and no warning; this
shows the sources are the platform's dialect and not the layer's.
"""
import glob
import os
import subprocess
import sys
import tempfile

import report
from paths import ROOT
from verdicts import judge_known
from xfail import XfailError, load_xfail

MINGW = "/usr/x86_64-w64-mingw32/include"
LIBSTDCXX = "/usr/lib/gcc/x86_64-w64-mingw32/12-win32/include/c++"


def command(source, obj):
    cmd = ["clang-19", "--target=aarch64-w64-mingw32", "-fms-extensions", "-Wall", "-Wextra",
           "-isystem", MINGW]
    if not source.endswith(".c"):
        cmd += ["-isystem", LIBSTDCXX, "-isystem", os.path.join(LIBSTDCXX, "x86_64-w64-mingw32")]
    return cmd + ["-c", source, "-o", obj]


def check(source, tmp):
    obj = os.path.join(tmp, os.path.basename(source) + ".obj")
    r = subprocess.run(command(source, obj), stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    lines = [l for l in r.stdout.splitlines() if ": error:" in l or ": warning:" in l or "PLEASE submit" in l]
    if r.returncode < 0 or r.returncode > 1 or "PLEASE submit" in r.stdout:
        return False, "the compiler crashed" + (f": {lines[0]}" if lines else "")
    if r.returncode != 0:
        return False, lines[0] if lines else f"exit status {r.returncode}"
    if lines:
        return False, lines[0]
    return True, ""


def main():
    sources = sorted(glob.glob(os.path.join(ROOT, "seh", "*.c")) + glob.glob(os.path.join(ROOT, "cxx", "*.c")) +
                     glob.glob(os.path.join(ROOT, "cxx", "*.cpp")))
    try:
        known = load_xfail("check-sources", {os.path.splitext(os.path.basename(s))[0] for s in sources})
    except XfailError as e:
        print(f"zeb: {e}")
        return 1
    results = []
    with tempfile.TemporaryDirectory() as tmp:
        for s in sources:
            name = os.path.splitext(os.path.basename(s))[0]
            ok, reason = check(s, tmp)
            rel = os.path.relpath(s, ROOT)
            reason = reason.replace(s, rel)
            verdict, reason = judge_known(ok, reason, known.get(name))
            results.append({"name": name, "verdict": verdict, "reason": reason})
    results.sort(key=lambda r: r["name"])
    print(report.table(results, "Windows ARM64 compile"))
    print(report.closing(results))
    return 0 if report.counts(results)[1] == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
