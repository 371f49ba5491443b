"""./zeb fuzz: generate, build, run, compare with the model, reduce."""
import concurrent.futures
import os
import shutil
import tempfile
import time

from . import campaign as campaigns
from . import check as checking
from . import report
from .batch import Case, Runner
from .check import Result, compare  # noqa: F401  (the loop's results, for its callers)
from .cprint import c_source
from .generate import LANGUAGES, generate
from .model import ModelError, TooLong, predict
from .program import static_constructs
from .progress import Progress
from .reduce import reduce
from .targets import suffix_for

# Cases in one program: enough that starting it costs little beside
# compiling it (a compile grows with its cases, a start does not).
BATCH = 40


def minimise(target, program, first, workdir, name, max_tries, known=None):
    """The program cut down while it differs the same way as first; with
    `known`, never into a program that holds a known deviation's constructs
    (cutting statements can make one: a call that comes to stand right
    before a guarded block)."""
    def still_differs(p):
        if known is not None and known.explain(static_constructs(p)):
            return False
        try:
            expected = predict(p)
        except (TooLong, ModelError):
            return False
        r = checking.check(target, p, expected, workdir, name)
        return r.signature == first.signature
    return reduce(program, still_differs, max_tries)


class Stats:
    def __init__(self):
        self.programs = 0             # cases, each a program when run alone
        self.runs = {}                # construct -> cases that ran it

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
    path = os.path.join(keep, f"seed-{seed}-{platform}" + suffix_for(program.build_kind))
    with open(path, "w") as f:
        f.write(c_source(program))
    try:
        e = predict(program)
        with open(os.path.splitext(path)[0] + ".expected", "w") as f:
            f.write(e.stdout + f"status {e.status}\n")
    except (TooLong, ModelError):
        pass
    return path


def fuzz(target, count, seed, jobs=2, keep=None, known=None, reduce_tries=300, out=print, batch=BATCH,
         minutes=None, findings=None, resume=None, versions=None, progress=None, language="c"):
    """Runs count cases from seed on (None: no limit), for at most `minutes`
    when given, `batch` cases to a program; returns the campaign's number of
    new differences.  With `findings`, each new group of differences is
    written there as a report, and the campaign's state kept for `resume`
    (a folder a campaign wrote, whose seed, batch size and language it goes
    on with).  `language` is c, c++ or both (each seed's program one of the
    two)."""
    off = set(known.off) if known else set()
    if resume:
        c = campaigns.load(resume)
        findings, seed, batch = resume, c.seed, c.batch
        language = getattr(c, "language", "c")
    else:
        c = campaigns.Campaign(seed, batch, target.name)
        c.language = language
    if findings:
        os.makedirs(findings, exist_ok=True)
    stats = Stats()
    started = time.monotonic()
    deadline = None if minutes is None else started + 60 * minutes
    before = c.seconds
    workdir = tempfile.mkdtemp(prefix="zeb-fuzz-")
    if progress is None and out is print and minutes is not None:
        progress = Progress()

    def say(line):
        if progress:
            progress.clear()
        out(line)

    def ranges():
        k = 0
        while count is None or k * batch < count:
            first = seed + k * batch
            last = first + batch if count is None else seed + min((k + 1) * batch, count)
            if k not in c.done:
                yield k, range(first, last)
            k += 1

    def prepare(seeds):
        cases = []
        for s in seeds:
            program = generate(s, off, language)
            try:
                expected = predict(program)
            except (TooLong, ModelError) as e:
                c.skipped += 1
                say(f"seed {s}: skipped, the model cannot follow it ({type(e).__name__}: {e})")
                continue
            stats.add(expected.constructs)
            cases.append(Case(s, program, expected))
        return cases

    def run_batch(k, cases):
        """Runs a batch; a case that differs is tried again without the
        known constructs (those batched too), and alone when that does not
        make it agree."""
        runner = Runner(target, workdir)
        results = runner.run(cases, f"b{k}", confirm=False) if cases else {}
        withouts = {}
        if known and known.known:
            again = []
            for case in cases:
                if results[case.seed].agrees:
                    continue
                without = generate(case.seed, off | known.switched_off(), language)
                try:
                    again.append(Case(case.seed, without, predict(without)))
                except (TooLong, ModelError):
                    continue                  # cannot tell: reduce the case as it is
            withouts = runner.run(again, f"k{k}") if again else {}
        for case in cases:
            r = results[case.seed]
            if r.batched and not (case.seed in withouts and withouts[case.seed].agrees):
                results[case.seed] = runner.confirm(case, r, f"b{k}")
        return runner.programs, results, withouts

    def record(s, r, small):
        """Counts a new difference in its group; 1."""
        c.differ += 1
        signature = [list(r.signature), sorted(static_constructs(small))]
        g = c.group(signature)
        note = ""
        if keep:
            note = f" (reduced: {write_kept(keep, s, target.name, small)})"
        if g is None:
            path = None
            if findings:
                path = report.write(findings, len(c.groups) + 1, target, s, small, r,
                                    versions() if versions else ())
            g = c.add_group(signature, s, r.detail, path)
            note += f" (finding {len(c.groups)}" + (f": {path})" if path else ")")
        else:
            g["seeds"].append(s)
            note += f" (finding {c.groups.index(g) + 1} again)"
        say(f"seed {s}: {r.detail}{note}")
        return 1

    def handle(s, r, w):
        """A case that differed (w: its run without the known constructs):
        known, or new (cut down and grouped)."""
        program = generate(s, off, language)
        if r.kind == "batch":
            return record(s, r, program)       # alone it agrees: nothing to cut down
        if known and known.known and w is not None:
            # known when it goes away with every known construct switched off
            if w.agrees:
                c.known += 1
                why = known.explain(static_constructs(program))
                names = " or ".join(name for name, _ in why) or "?"
                say(f"seed {s}: known ({names}): {r.detail}")
                return 0
            program, r = generate(s, off | known.switched_off(), language), w
            return record(s, r, minimise(target, program, r, workdir, f"reduce{s}", reduce_tries, known))
        return record(s, r, minimise(target, program, r, workdir, f"reduce{s}", reduce_tries))

    def seconds():
        return before + time.monotonic() - started

    target.start()
    try:
        with concurrent.futures.ThreadPoolExecutor(max(1, jobs)) as pool:
            pending = {}
            source = ranges()
            more = True
            while True:
                while more and len(pending) < max(1, jobs) and (deadline is None or time.monotonic() < deadline):
                    nxt = next(source, None)
                    if nxt is None:
                        more = False
                        break
                    k, seeds = nxt
                    cases = prepare(seeds)
                    pending[pool.submit(run_batch, k, cases)] = (k, cases)
                if not pending:
                    break
                finished, _ = concurrent.futures.wait(pending, return_when=concurrent.futures.FIRST_COMPLETED)
                for fut in sorted(finished, key=lambda f: pending[f][0]):
                    k, cases = pending.pop(fut)
                    programs, results, withouts = fut.result()
                    c.programs += programs
                    c.cases += len(cases)
                    for case in cases:
                        r = results[case.seed]
                        if r.agrees:
                            c.agree += 1
                            continue
                        handle(case.seed, r, withouts.get(case.seed))
                    c.done.add(k)
                    c.seconds = seconds()
                    if findings:
                        c.save(findings)
                    if progress:
                        progress.update(c, c.seconds)
        if progress:
            progress.clear()
        c.seconds = seconds()
        if findings:
            c.save(findings)
        out(stats.line())
        per_minute = 60 / c.seconds if c.seconds else 0
        out(f"{c.cases} cases in {c.programs} programs in {c.seconds:.0f} s ({c.cases * per_minute:.0f} cases and "
            f"{c.programs * per_minute:.0f} programs a minute with {jobs} jobs)"
            + (f"; {c.skipped} skipped" if c.skipped else ""))
        if c.known:
            out(f"{c.known} known deviations")
        for n, g in enumerate(c.groups, 1):
            out(f"finding {n}: {len(g['seeds'])} cases (seed {g['seeds'][0]} first): {g['detail']}"
                + (f"; report {g['report']}" if g["report"] else ""))
        out(f"{c.cases} cases in {c.programs} programs: {c.agree} agree, {c.differ} differ")
        return c.differ
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
    p.add_argument("--language", choices=LANGUAGES, default="c")
    a = p.parse_args(argv)
    return 1 if fuzz(targets.host(a.lower, a.runtime), a.count, a.seed, jobs=a.jobs, reduce_tries=40,
                     language=a.language) else 0


if __name__ == "__main__":
    import sys
    sys.exit(main(sys.argv[1:]))
