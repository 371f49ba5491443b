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
import sys
import threading
import zlib

import cmake_builds
import process
from check import judge, run as run_program, show, signal_name
from expected import load_expected
from platform_file import PlatformError, check_commands, missing_commands
from verdicts import Verdict, judge_known

SESSION_TIMEOUT = 300


def environment(platform, arch=None):
    """The environment of the platform's commands (for one architecture's)."""
    return dict(os.environ, **platform.env(arch))


def session_command(platform, key, log):
    """Runs setup, start or stop; its output goes to the terminal (setup)
    or to a log, never to a pipe that a server it leaves behind would hold
    open.  Returns the exit status, or why there is none."""
    cmd = platform.command(key)
    os.makedirs(platform.build_dir, exist_ok=True)
    if key == "setup":
        return process.run(cmd, env=environment(platform), cwd=platform.build_dir, output=None).status
    with open(log, "ab") as out:
        outcome = process.run(cmd, SESSION_TIMEOUT, env=environment(platform), cwd=platform.build_dir, output=out)
    return f"still running after {SESSION_TIMEOUT} s" if outcome.timed_out else outcome.status


def build_layer(platform):
    """Builds the layer's CMake builds that the platform's commands use
    (its `layer` keys); raises PlatformError when one does not build."""
    if platform.variant is not None:
        return   # built when the platform it varies was prepared
    for build in platform.layer_builds():
        if not cmake_builds.build(build):
            raise PlatformError(f"{platform.where('layer')}: the layer's build/{build} did not build")


def prepare(platform):
    """Checks that every command can run, building the layer and running
    setup first when that is what makes one of them; raises PlatformError."""
    keys = ("c", "cxx", "run", "start", "stop")
    check_commands(platform, ("setup",))
    build_layer(platform)
    if platform.template("setup") is None:
        check_commands(platform, keys)
        return
    # A compiler or script that setup makes cannot be found before it runs;
    # anything else that is missing is reported now.
    for key, table, why in missing_commands(platform, keys):
        if "does not exist" not in why:
            raise PlatformError(f"{platform.where(key, table)}: the command cannot run: {why}")
    status = session_command(platform, "setup", None)
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


def build(platform, program, folder, compile_only=False):
    """Builds one program (only its object, with compile_only), or links
    the object the platform holds for it; returns (path, None) or (None,
    why not)."""
    path = os.path.join(folder, program.name + (".o" if compile_only else platform.suffix))
    for stale in (path, path + ".log"):
        if os.path.exists(stale):
            os.unlink(stale)
    options = program.options + (["-c"] if compile_only else [])
    source = program.source if compile_only else platform.objects.get(program.name, program.source)
    cmd = platform.command(program.language, program.arch, source=source, program=path,
                           name=program.name, arch=program.arch,
                           options=" ".join(shlex.quote(o) for o in options))
    try:
        status, out, err, timed_out, _ = run_program(cmd, platform.build_timeout,
                                                     env=environment(platform, program.arch), cwd=folder)
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


# Standard output and error kept in a result; the rest is cut.
OUTPUT_LIMIT = 4000
# Runs in a row that the runner itself failed before the platform counts as
# unreachable and the rest is not run.
UNREACHABLE_AFTER = 5


class Session:
    """One run of programs on a platform: what every build and run shares
    (the timeout, retries, whether the platform is still reachable)."""

    def __init__(self, platform, timeout, retries=0):
        self.platform = platform
        self.timeout = timeout
        self.retries = retries
        self.lock = threading.Lock()
        self.unresolved_in_a_row = 0
        self.unreachable = None     # why the rest is not run

    def note(self, row):
        """Counts runs the runner itself failed; enough in a row and the
        platform counts as unreachable."""
        with self.lock:
            if row["verdict"] != Verdict.UNRESOLVED:
                self.unresolved_in_a_row = 0
                return
            self.unresolved_in_a_row += 1
            if self.unresolved_in_a_row >= UNREACHABLE_AFTER and self.unreachable is None:
                self.unreachable = (f"{self.platform.name}: {UNREACHABLE_AFTER} runs in a row ended with the "
                                    f"runner's own failure status {self.platform.infra_status}: the platform looks "
                                    "unreachable; the programs not yet run are not run")
                print(f"zeb: {self.unreachable}", file=sys.stderr, flush=True)


def run_once(platform, program, run, path, timeout):
    """One run of a built program: (status, stdout, stderr, timed_out, seconds)."""
    args = " ".join(shlex.quote(a) for a in run.args)
    cmd = platform.command("run", program.arch, program=path, args=args, name=run.name, arch=program.arch)
    try:
        status, out, err, timed_out, took = run_program(cmd, timeout, env=environment(platform, program.arch),
                                                        cwd=os.path.dirname(path))
    except OSError as e:
        status, out, err, timed_out, took = 127, b"", str(e).encode(), False, 0.0
    stdout = out.decode("utf-8", "replace")
    if platform.text_mode:
        stdout = stdout.replace("\r\n", "\n")
    return status, stdout, err.decode("utf-8", "replace"), timed_out, took


def run_one(session, program, run, path):
    """Runs one run of a built program and judges it; an unexpected result
    is run again, up to the session's retries, and is FLAKY when a retry
    gives the expected one."""
    platform, timeout = session.platform, session.timeout
    expected, expected_status = load_expected(run.expect, run.status)
    first = None
    for attempt in range(1, session.retries + 2):
        status, stdout, stderr, timed_out, took = run_once(platform, program, run, path, timeout)
        if platform.infra_status is not None and status == platform.infra_status and not timed_out:
            line = stderr.strip().splitlines()[:1]
            why = f"the runner could not run it (exit status {status}" + (f": {show(line[0])})" if line else ")")
            return unresolved(platform, run.name, why, stdout, stderr, took, attempt)
        passed, reason = judge(status, stdout, stderr, expected, expected_status, timed_out, timeout)
        row = result(platform, run.name, passed, reason, status, stdout, stderr, took, timed_out, attempt)
        if not row["verdict"].is_failure:
            if first is not None:
                row["verdict"] = Verdict.FLAKY
                row["reason"] = f"as expected on attempt {attempt}; first: {first['reason']}"
            return row
        first = first or row
        first["attempts"] = attempt
    return first


def shown_status(status, timed_out=False):
    """An exit status as results files keep it: the number, or the signal's
    name; None when the program was never run or never ended."""
    if status is None or timed_out:
        return None
    return signal_name(-status) if status < 0 else status


def bounded(text):
    return text if len(text) <= OUTPUT_LIMIT else text[:OUTPUT_LIMIT] + f"\n[{len(text) - OUTPUT_LIMIT} more characters]"


def result(platform, name, passed, reason, status=None, stdout="", stderr="", seconds=0.0, timed_out=False,
           attempts=1):
    entry = platform.known.get(name)
    verdict, shown = judge_known(passed, reason, entry, timed_out)
    return {"name": name, "platform": platform.name, "verdict": verdict, "reason": shown, "failure": reason,
            "known": entry.reason if entry else "", "status": shown_status(status, timed_out),
            "stdout": bounded(stdout), "stderr": bounded(stderr), "seconds": round(seconds, 3), "attempts": attempts}


def unresolved(platform, name, why, stdout="", stderr="", seconds=0.0, attempts=0):
    return {"name": name, "platform": platform.name, "verdict": Verdict.UNRESOLVED, "reason": why, "failure": why,
            "known": "", "status": None, "stdout": bounded(stdout), "stderr": bounded(stderr),
            "seconds": round(seconds, 3), "attempts": attempts}


def build_and_run(session, program, folder):
    if session.unreachable:
        return [unresolved(session.platform, r.name, "not run: the platform was unreachable") for r in program.runs]
    path, why = build(session.platform, program, folder)
    if path is None:
        return [result(session.platform, r.name, False, why) for r in program.runs]
    rows = []
    for r in program.runs:
        if session.unreachable:
            rows.append(unresolved(session.platform, r.name, "not run: the platform was unreachable"))
            continue
        rows.append(run_one(session, program, r, path))
        session.note(rows[-1])
    return rows


def shard_of(name, count):
    """The shard (1 to COUNT) a program belongs to: by its name alone, so
    every machine splits the same programs the same way."""
    return zlib.crc32(name.encode("utf-8")) % count + 1


def in_shard(programs, shard):
    """The programs of shard (K, N); all of them for None."""
    if shard is None:
        return programs
    k, n = shard
    return [p for p in programs if shard_of(p.name, n) == k]


def run_platform(platform, programs, jobs, timeout=None, retries=0):
    """Results of every run of PROGRAMS on PLATFORM, sorted by name; raises
    PlatformError when the platform cannot be used at all."""
    session = Session(platform, timeout or platform.timeout, retries)
    prepare(platform)
    folder = os.path.join(platform.build_dir, "suite")
    os.makedirs(folder, exist_ok=True)
    log = os.path.join(platform.build_dir, "session.log")
    results = []
    if platform.template("start") is not None:
        status = session_command(platform, "start", log)
        if status != 0:
            stop(platform, log)
            raise PlatformError(f"{platform.where('start')}: the start command failed ({_status(status)}; "
                                f"see {log})")
    pool = concurrent.futures.ThreadPoolExecutor(max_workers=max(1, jobs))
    try:
        for rows in pool.map(lambda p: build_and_run(session, p, folder), programs):
            results += rows
    finally:
        # On an interrupt, what has not started does not start.
        pool.shutdown(wait=True, cancel_futures=True)
        stop(platform, log)
    return sorted(results, key=lambda r: r["name"])


def _status(status):
    return f"exit status {status}" if isinstance(status, int) else status


def stop(platform, log):
    """Runs the platform's stop command, if it has one; a failure is told,
    not raised, since stop also runs after something else failed."""
    if platform.template("stop") is None:
        return
    status = session_command(platform, "stop", log)
    if status != 0:
        print(f"zeb: {platform.where('stop')}: the stop command failed ({_status(status)}; see {log})",
              file=sys.stderr)

