#!/usr/bin/env python3
"""Runs one program once and judges it.

Pass: exit status as expected (0 unless said otherwise) and standard output
exactly as expected (empty for every structured-exception program).
Otherwise the verdict says what went wrong: the failure line, the first
differing line, the exit status, the signal by name, or a hang.

CTest runs the layer's behaviour programs through here: the run's expected
output, status and known failure come from the files beside its source and
the platform's expected failures, read as `./zeb run` reads them.
"""
import argparse
import json
import os
import shlex
import signal
import sys

import process
import programs
import xfail
from expected import compare_output, load_expected
from verdicts import Verdict, judge_known


def show(text, limit=160):
    """One line, with carriage returns and line feeds visible."""
    s = text.encode("unicode_escape").decode("ascii")
    return s if len(s) <= limit else s[:limit] + "..."


def signal_name(number):
    try:
        return signal.Signals(number).name
    except ValueError:
        return f"signal {number}"


def judge(status, stdout, stderr, expected, expected_status, timed_out, timeout):
    """Returns (passed, reason)."""
    if timed_out:
        return False, f"hang: still running after {timeout:g} s"
    if status < 0:
        line = stderr.strip().splitlines()[:1]
        extra = f" ({show(line[0])})" if line else ""
        return False, f"crash: killed by {signal_name(-status)}{extra}"
    differs = compare_output(expected, stdout)
    if status == expected_status and differs is None:
        return True, ""
    if expected == "" and stdout:
        # A structured-exception program says what failed in its one line.
        return False, f"exit status {status}: {show(stdout)}"
    if differs is not None:
        return False, f"exit status {status}; {differs}"
    err = stderr.strip().splitlines()
    if err:
        return False, f"exit status {status}: {show(err[0])}"
    return False, f"exit status {status}, expected {expected_status}"


def run(cmd, timeout, env=None, cwd=None):
    """(status, stdout, stderr, timed_out, seconds) of one run of a program."""
    o = process.run(cmd, timeout, env=env, cwd=cwd)
    return o.status, o.stdout, o.stderr, o.timed_out, o.seconds


def the_run(source, name):
    """The run NAME of the program whose source is SOURCE (None: a bare
    program, which must exit 0 and print nothing)."""
    if source is None:
        return programs.Run(name, [], None, None)
    for r in programs.Program(source).runs:
        if r.name == name:
            return r
    sys.exit(f"check.py: {source} has no run named {name}")


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--name", required=True, help="the run's name (NAME, or NAME@ARGS for a run with arguments)")
    p.add_argument("--program", required=True)
    p.add_argument("--source", help="the program's source, beside which its expected results are")
    p.add_argument("--emulator", default="", help="command that runs the program (e.g. qemu-arm)")
    p.add_argument("--timeout", type=float, default=float(os.environ.get("ZEB_TIMEOUT", "10")))
    p.add_argument("--platform", default="host", help="whose expected failures apply (expected-failures/NAME.txt)")
    p.add_argument("--expected-failures", help="a file of expected failures instead of the platform's")
    p.add_argument("--text-mode", action="store_true",
                   help="standard output is a Windows text stream: each line feed arrives as CR LF")
    p.add_argument("--results-dir")
    a = p.parse_args(argv)

    this_run = the_run(a.source, a.name)
    try:
        known = (xfail.parse_xfail(a.expected_failures) if a.expected_failures else xfail.load_xfail(a.platform))
    except (OSError, xfail.XfailError) as e:
        sys.exit(f"check.py: {e}")
    entry = known.get(a.name)
    expected, expected_status = load_expected(this_run.expect, this_run.status)
    cmd = shlex.split(a.emulator) + [a.program] + this_run.args
    if not os.path.exists(a.program):
        status, stdout, stderr, took, timed_out = 127, "", "", 0.0, False
        passed, reason = False, "the program was not built (see the build's errors)"
    else:
        status, out, err, timed_out, took = run(cmd, a.timeout)
        stdout = out.decode("utf-8", "replace")
        if a.text_mode:
            stdout = stdout.replace("\r\n", "\n")
        stderr = err.decode("utf-8", "replace")
        passed, reason = judge(status, stdout, stderr, expected, expected_status, timed_out, a.timeout)

    verdict, reason = judge_known(passed, reason, entry, timed_out)

    print(f"{verdict} {a.name}" + (f": {reason}" if reason else ""))
    if stdout and verdict != Verdict.PASS:
        print("--- standard output ---\n" + stdout.rstrip("\n"))
    if stderr and verdict != Verdict.PASS:
        print("--- standard error ---\n" + stderr.rstrip("\n"))
    if a.results_dir:
        os.makedirs(a.results_dir, exist_ok=True)
        with open(os.path.join(a.results_dir, a.name + ".json"), "w") as f:
            json.dump({"name": a.name, "platform": a.platform, "verdict": verdict, "reason": reason,
                       "known": entry.reason if entry else "", "status": status, "stdout": stdout, "stderr": stderr,
                       "seconds": round(took, 3)}, f)
    return 1 if verdict.is_failure else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
