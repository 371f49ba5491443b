"""Builds and runs the suite's programs on one platform, from its file's
templates, and judges each run with the checker.

Order: setup (once), start, then every program built and run (in parallel),
then stop, which runs even when something before it failed.  A program that
does not build fails its own rows with the compiler's first error line.
"""
import concurrent.futures
import os
import re
import shlex
import subprocess
import sys

from check import judge, run as run_program, show
from expected import load_expected
from platform_file import PlatformError, check_commands, missing_commands
from xfail import judge_known

SESSION_TIMEOUT = 300


def _environment(platform, arch=None):
    return dict(os.environ, **platform.env(arch))


def _session_command(platform, key, log):
    """Runs setup, start or stop; its output goes to the terminal (setup)
    or to a log, never to a pipe that a server it leaves behind would hold
    open.  Returns the exit status."""
    cmd = platform.command(key)
    os.makedirs(platform.build_dir, exist_ok=True)
    if key == "setup":
        return subprocess.run(cmd, env=_environment(platform), cwd=platform.build_dir,
                              stdin=subprocess.DEVNULL).returncode
    with open(log, "ab") as out:
        try:
            return subprocess.run(cmd, env=_environment(platform), cwd=platform.build_dir, stdin=subprocess.DEVNULL,
                                  stdout=out, stderr=subprocess.STDOUT, timeout=SESSION_TIMEOUT).returncode
        except subprocess.TimeoutExpired:
            return f"still running after {SESSION_TIMEOUT} s"


def prepare(platform):
    """Checks that every command can run, running setup first when that is
    what makes one of them; raises PlatformError."""
    keys = ("c", "cxx", "run", "start", "stop")
    check_commands(platform, ("setup",))
    if platform.template("setup") is None:
        check_commands(platform, keys)
        return
    # A compiler or script that setup makes cannot be found before it runs;
    # anything else that is missing is reported now.
    for key, table, why in missing_commands(platform, keys):
        if "does not exist" not in why:
            raise PlatformError(f"{platform.where(key, table)}: the command cannot run: {why}")
    status = _session_command(platform, "setup", None)
    if status != 0:
        raise PlatformError(f"{platform.where('setup')}: the setup command failed (exit status {status})")
    check_commands(platform, keys, after_setup=True)


def first_error(output, status):
    """The line of a compiler's output that says what went wrong first."""
    lines = [l.strip() for l in output.splitlines() if l.strip()]
    for line in lines:
        if re.search(r"\berror\b", line, re.I):
            return line
    return lines[0] if lines else f"exit status {status}"


def build(platform, program, folder):
    """Builds one program; returns (path, None) or (None, why not)."""
    path = os.path.join(folder, program.name + platform.suffix)
    for stale in (path, path + ".log"):
        if os.path.exists(stale):
            os.unlink(stale)
    cmd = platform.command(program.language, program.arch, source=program.source, program=path,
                           name=program.name, arch=program.arch,
                           options=" ".join(shlex.quote(o) for o in program.options))
    try:
        status, out, err, timed_out, _ = run_program(cmd, platform.build_timeout,
                                                     env=_environment(platform, program.arch), cwd=folder)
    except OSError as e:
        return None, f"not built: {e}"
    output = (out + err).decode("utf-8", "replace")
    if status != 0 or timed_out or not os.path.exists(path):
        with open(path + ".log", "w") as f:
            f.write(output)
        if timed_out:
            why = f"the compiler was still running after {platform.build_timeout:g} s"
        elif status != 0:
            why = first_error(output, status)
        else:
            why = f"the build command succeeded but wrote no {os.path.basename(path)}"
        root = platform.root.rstrip("/") + "/"
        return None, "not built: " + show(why.replace(root, ""), 200)
    return path, None


def run_one(platform, program, run, path, timeout):
    """Runs one run of a built program and judges it: the checker's result."""
    expected, expected_status = load_expected(run.expect, run.status)
    args = " ".join(shlex.quote(a) for a in run.args)
    cmd = platform.command("run", program.arch, program=path, args=args, name=run.name, arch=program.arch)
    try:
        status, out, err, timed_out, took = run_program(cmd, timeout, env=_environment(platform, program.arch),
                                                        cwd=os.path.dirname(path))
    except OSError as e:
        status, out, err, timed_out, took = 127, b"", str(e).encode(), False, 0.0
    stdout = out.decode("utf-8", "replace")
    if platform.text_mode:
        stdout = stdout.replace("\r\n", "\n")
    stderr = err.decode("utf-8", "replace")
    passed, reason = judge(status, stdout, stderr, expected, expected_status, timed_out, timeout)
    return result(platform, run.name, passed, reason, status, stdout, stderr, took)


def result(platform, name, passed, reason, status=None, stdout="", stderr="", seconds=0.0):
    known = platform.known.get(name, "")
    verdict, reason = judge_known(passed, reason, known)
    return {"name": name, "platform": platform.name, "verdict": verdict, "reason": reason, "known": known,
            "status": status, "stdout": stdout, "stderr": stderr, "seconds": round(seconds, 3)}


def build_and_run(platform, program, folder, timeout):
    path, why = build(platform, program, folder)
    if path is None:
        return [result(platform, r.name, False, why) for r in program.runs]
    return [run_one(platform, program, r, path, timeout) for r in program.runs]


def run_platform(platform, programs, jobs, timeout=None):
    """Results of every run of PROGRAMS on PLATFORM, sorted by name; raises
    PlatformError when the platform cannot be used at all."""
    timeout = timeout or platform.timeout
    prepare(platform)
    folder = os.path.join(platform.build_dir, "suite")
    os.makedirs(folder, exist_ok=True)
    log = os.path.join(platform.build_dir, "session.log")
    results = []
    if platform.template("start") is not None:
        status = _session_command(platform, "start", log)
        if status != 0:
            _stop(platform, log)
            raise PlatformError(f"{platform.where('start')}: the start command failed ({_status(status)}; "
                                f"see {log})")
    pool = concurrent.futures.ThreadPoolExecutor(max_workers=max(1, jobs))
    try:
        for rows in pool.map(lambda p: build_and_run(platform, p, folder, timeout), programs):
            results += rows
    finally:
        # On an interrupt, what has not started does not start.
        pool.shutdown(wait=True, cancel_futures=True)
        _stop(platform, log)
    return sorted(results, key=lambda r: r["name"])


def _status(status):
    return f"exit status {status}" if isinstance(status, int) else status


def _stop(platform, log):
    if platform.template("stop") is None:
        return
    status = _session_command(platform, "stop", log)
    if status != 0:
        print(f"zeb: {platform.where('stop')}: the stop command failed ({_status(status)}; see {log})",
              file=sys.stderr)

