#!/usr/bin/env python3
"""Runs one program once and judges it.

Pass: exit status as expected (0 unless said otherwise) and standard output
exactly as expected (empty for every structured-exception program).
Otherwise the verdict says what went wrong: the failure line, the first
differing line, the exit status, the signal by name, or a hang.
"""
import argparse
import json
import os
import shlex
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from expected import compare_output, load_expected  # noqa: E402
from xfail import judge_known  # noqa: E402


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
    if status == 127 and stderr == "program was not built":
        return False, "the program was not built (see the build's errors)"
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
    """Runs the program; the verdict rests on the program's own exit.  A
    process it leaves behind holding its output open (an emulator's server)
    does not make it a hang: the output is read until shortly after exit."""
    start = time.monotonic()
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        proc = subprocess.Popen(cmd, stdout=out, stderr=err, stdin=subprocess.DEVNULL, start_new_session=True,
                                env=env, cwd=cwd)
        try:
            proc.wait(timeout=timeout)
            timed_out = False
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
            timed_out = True
        took = time.monotonic() - start
        out.seek(0)
        err.seek(0)
        return proc.returncode, out.read(), err.read(), timed_out, took


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--name", required=True)
    p.add_argument("--program", required=True)
    p.add_argument("--emulator", default="", help="command that runs the program (e.g. qemu-arm)")
    p.add_argument("--expect", help="file with the expected standard output (default: none)")
    p.add_argument("--status", type=int, default=None, help="expected exit status (default 0)")
    p.add_argument("--timeout", type=float, default=float(os.environ.get("ZEB_TIMEOUT", "10")))
    p.add_argument("--xfail", default="", help="known to fail on this platform, because ...")
    p.add_argument("--platform", default="host")
    p.add_argument("--text-mode", action="store_true",
                   help="standard output is a Windows text stream: each line feed arrives as CR LF")
    p.add_argument("--results-dir")
    p.add_argument("args", nargs="*")
    a = p.parse_args(argv)

    expected, expected_status = load_expected(a.expect, a.status)
    cmd = shlex.split(a.emulator) + [a.program] + a.args
    if not os.path.exists(a.program):
        status, out, err, timed_out, took = 127, b"", b"program was not built", False, 0.0
    else:
        status, out, err, timed_out, took = run(cmd, a.timeout)
    stdout = out.decode("utf-8", "replace")
    if a.text_mode:
        stdout = stdout.replace("\r\n", "\n")
    stderr = err.decode("utf-8", "replace")
    passed, reason = judge(status, stdout, stderr, expected, expected_status, timed_out, a.timeout)

    verdict, reason = judge_known(passed, reason, a.xfail)

    print(f"{verdict} {a.name}" + (f": {reason}" if reason else ""))
    if stdout and verdict != "PASS":
        print("--- standard output ---\n" + stdout.rstrip("\n"))
    if stderr and verdict != "PASS":
        print("--- standard error ---\n" + stderr.rstrip("\n"))
    if a.results_dir:
        os.makedirs(a.results_dir, exist_ok=True)
        with open(os.path.join(a.results_dir, a.name + ".json"), "w") as f:
            json.dump({"name": a.name, "platform": a.platform, "verdict": verdict, "reason": reason,
                       "known": a.xfail, "status": status, "stdout": stdout, "stderr": stderr, "seconds": round(took, 3)}, f)
    return 0 if verdict in ("PASS", "XFAIL") else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
