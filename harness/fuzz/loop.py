"""./zeb fuzz: generate, build, run, compare with the model, reduce."""
import concurrent.futures
import os
import shutil
import signal
import tempfile
import time

from .cprint import c_source
from .generate import generate
from .model import ModelError, TooLong, predict
from .program import static_constructs
from .reduce import reduce


class Result:
    """A program's run against the model: kind is "agree", "output",
    "status", "crash", "hang" or "build"."""

    def __init__(self, kind, detail="", signature=None):
        self.kind, self.detail = kind, detail
        # what a reduced program must keep: the kind, and for a differing
        # line the kinds of event on both sides
        self.signature = signature or (kind,)

    @property
    def agrees(self):
        return self.kind == "agree"


def show(text):
    return '"' + text.encode("unicode_escape").decode("ascii") + '"'


def compare(expected, status, stdout, how):
    """How a run differs from what the model expects."""
    if how == "hang":
        return Result("hang", "still running after the timeout")
    got = stdout.split("\n")
    if got and got[-1] == "":
        got.pop()
    want = expected.lines
    for n in range(max(len(got), len(want))):
        g = got[n] if n < len(got) else None
        w = want[n] if n < len(want) else None
        if g != w:
            got_text = show(g) if g is not None else "nothing more"
            want_text = show(w) if w is not None else "nothing more"
            where = f"line {n + 1}: got {got_text}, model expects {want_text}"
            if status < 0:
                return Result("crash", f"killed by {signal_name(-status)}; {where}")
            return Result("output", where, ("output", (g or "")[:1], (w or "")[:1]))
    if status != expected.status:
        return Result("status", f"exit status {status}, model expects {expected.status}")
    return Result("agree")


def build_failure(log):
    """The line of a compiler's messages that says what went wrong."""
    if "PLEASE submit a bug report" in log or "Stack dump:" in log:
        return "the compiler crashed"
    first = next((ln for ln in log.splitlines() if "error" in ln.lower()), log.strip()[:200])
    return first.strip()


def signal_name(n):
    try:
        return signal.Signals(n).name
    except ValueError:
        return f"signal {n}"


def check(target, program, expected, workdir, name):
    """Builds and runs one program; its Result."""
    source = os.path.join(workdir, name + ".c")
    exe = os.path.join(workdir, name + target.exe_suffix)
    with open(source, "w") as f:
        f.write(c_source(program))
    ok, log = target.build(source, exe)
    if not ok:
        return Result("build", "did not build: " + build_failure(log))
    status, stdout, how = target.run(exe)
    try:
        os.unlink(exe)
    except OSError:
        pass
    return compare(expected, status, stdout, how)


def minimise(target, program, first, workdir, name, max_tries):
    """The program cut down while it differs the same way as first."""
    def still_differs(p):
        try:
            expected = predict(p)
        except (TooLong, ModelError):
            return False
        r = check(target, p, expected, workdir, name)
        return r.signature == first.signature
    return reduce(program, still_differs, max_tries)


class Stats:
    def __init__(self):
        self.programs = 0
        self.runs = {}                # construct -> programs that ran it

    def add(self, constructs):
        self.programs += 1
        for c in constructs:
            self.runs[c] = self.runs.get(c, 0) + 1

    def line(self):
        parts = [f"{c} {100 * n // max(1, self.programs)}%" for c, n in sorted(self.runs.items())]
        return "constructs run: " + ", ".join(parts)


def write_kept(keep, seed, platform, program):
    """Writes a reduced program and what the model expects of it; its path."""
    os.makedirs(keep, exist_ok=True)
    path = os.path.join(keep, f"seed-{seed}-{platform}.c")
    with open(path, "w") as f:
        f.write(c_source(program))
    try:
        e = predict(program)
        with open(path[:-2] + ".expected", "w") as f:
            f.write(e.stdout + f"status {e.status}\n")
    except (TooLong, ModelError):
        pass
    return path


def fuzz(target, count, seed, jobs=2, keep=None, known=None, reduce_tries=300, out=print):
    """Runs count programs from seed on; returns the number of new differences."""
    off = set(known.off) if known else set()
    started = time.monotonic()
    stats = Stats()
    workdir = tempfile.mkdtemp(prefix="zeb-fuzz-")
    agree, differ, known_count, skipped = 0, [], 0, 0
    target.start()
    try:
        jobs_in = []
        for i in range(count):
            s = seed + i
            program = generate(s, off)
            try:
                expected = predict(program)
            except (TooLong, ModelError) as e:
                skipped += 1
                out(f"seed {s}: skipped, the model cannot follow it ({type(e).__name__}: {e})")
                continue
            stats.add(expected.constructs)
            jobs_in.append((s, program, expected))
        with concurrent.futures.ThreadPoolExecutor(max(1, jobs)) as pool:
            futures = [(s, p, e, pool.submit(check, target, p, e, workdir, f"fuzz{s}")) for s, p, e in jobs_in]
            for s, program, expected, fut in futures:
                r = fut.result()
                if r.agrees:
                    agree += 1
                else:
                    differ.append((s, r))
        ran = time.monotonic() - started
        new = 0
        for s, r in differ:
            program = generate(s, off)
            if known and known.known:
                # known when it goes away with every known construct switched off
                without = generate(s, off | known.switched_off())
                try:
                    r2 = check(target, without, predict(without), workdir, f"known{s}")
                except (TooLong, ModelError):
                    r2 = None                 # cannot tell: reduce the program as it is
                if r2 is not None and r2.agrees:
                    known_count += 1
                    why = known.explain(static_constructs(program))
                    names = " or ".join(c for c, _ in why) or "?"
                    out(f"seed {s}: known ({names}): {r.detail}")
                    continue
                if r2 is not None:
                    program, r = without, r2
            small = minimise(target, program, r, workdir, f"reduce{s}", reduce_tries)
            note = ""
            if keep:
                note = f" (reduced: {write_kept(keep, s, target.name, small)})"
            new += 1
            out(f"seed {s}: {r.detail}{note}")
        out(stats.line())
        minutes = ran / 60
        out(f"{len(jobs_in)} programs in {ran:.0f} s ({len(jobs_in) / minutes if minutes else 0:.0f} per minute"
            f" with {jobs} jobs)" + (f"; {skipped} skipped" if skipped else ""))
        if known_count:
            out(f"{known_count} known deviations")
        out(f"{agree} agree, {new} differ")
        return new
    finally:
        target.stop()
        shutil.rmtree(workdir, ignore_errors=True)


def main(argv):
    """The host platform with given tools, for the project's own tests."""
    import argparse
    from . import targets
    p = argparse.ArgumentParser(description="fuzz the layer with a given lowering tool and run-time")
    p.add_argument("--lower", required=True)
    p.add_argument("--runtime", required=True)
    p.add_argument("--count", type=int, default=40)
    p.add_argument("--seed", type=int, default=424242)
    p.add_argument("--jobs", type=int, default=2)
    a = p.parse_args(argv)
    return 1 if fuzz(targets.host(a.lower, a.runtime), a.count, a.seed, jobs=a.jobs, reduce_tries=40) else 0


if __name__ == "__main__":
    import sys
    sys.exit(main(sys.argv[1:]))
