"""Whether running cases many to a program changes a verdict: the same
cases run batched and each alone, verdict by verdict.  Against a variant
run-time (which makes many cases differ) it shows that differing cases keep
their verdict too, not only agreeing ones.

    python3 -m fuzz.batching --lower TOOL --runtime LIB [--count N] [--seed S] [--batch B] [--language L]
"""
import concurrent.futures
import shutil
import tempfile

from .batch import Runner, cases_of
from .generate import LANGUAGES


def compare_batching(target, cases, batch, jobs=2):
    """[(seed, batched Result, alone Result)] of the cases whose verdicts differ."""
    workdir = tempfile.mkdtemp(prefix="zeb-batching-")
    try:
        runner = Runner(target, workdir)
        groups = [cases[i:i + batch] for i in range(0, len(cases), batch)]
        with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
            batched = {}
            for part in pool.map(lambda g: runner.run(g[1], f"b{g[0]}"), enumerate(groups)):
                batched.update(part)
            alone = dict(zip([c.seed for c in cases],
                             pool.map(lambda c: runner.alone(c, f"a{c.seed}"), cases)))
        return [(c.seed, batched[c.seed], alone[c.seed]) for c in cases
                if (batched[c.seed].kind, batched[c.seed].detail) != (alone[c.seed].kind, alone[c.seed].detail)]
    finally:
        shutil.rmtree(workdir, ignore_errors=True)


def main(argv):
    import argparse
    from . import targets
    from .loop import BATCH
    p = argparse.ArgumentParser(description="the same cases batched and alone: the same verdicts")
    p.add_argument("--lower", required=True)
    p.add_argument("--runtime", required=True)
    p.add_argument("--count", type=int, default=60)
    p.add_argument("--seed", type=int, default=424242)
    p.add_argument("--batch", type=int, default=BATCH)
    p.add_argument("--jobs", type=int, default=2)
    p.add_argument("--language", choices=LANGUAGES, default="c")
    a = p.parse_args(argv)
    cases = cases_of(a.count, a.seed, a.language)
    wrong = compare_batching(targets.host(a.lower, a.runtime), cases, a.batch, a.jobs)
    for seed, b, s in wrong:
        print(f"seed {seed}: batched {b.kind} ({b.detail}), alone {s.kind} ({s.detail})")
    print(f"{len(cases)} cases: {len(cases) - len(wrong)} with the same verdict batched and alone, "
          f"{len(wrong)} not")
    return 1 if wrong else 0


if __name__ == "__main__":
    import sys
    sys.exit(main(sys.argv[1:]))
