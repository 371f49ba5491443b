#!/usr/bin/env python3
"""Cases a minute of `./zeb fuzz` on a platform, batched and one case to a
program, measured in the same run on the same cases (so that the ratio holds
whatever else the machine is doing; the machine's load is printed beside).

    benchmarks/fuzz_rate.py [--platform host] [--count 400] [--single 80] [--seed 424242] [--jobs 2] [--batch 40]

The one-case-per-program rate is measured on the first --single of the
cases, since it is the slow one."""
import argparse
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "harness"))

import zeb  # noqa: E402
from fuzz import known, loop  # noqa: E402


def rate(target, count, seed, jobs, batch):
    lines = []
    started = time.monotonic()
    differ = loop.fuzz(target, count, seed, jobs=jobs, batch=batch, known=target.known, out=lines.append)
    seconds = time.monotonic() - started
    return count * 60 / seconds, seconds, differ, lines[-1]


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--platform", default="host")
    p.add_argument("--count", type=int, default=400)
    p.add_argument("--single", type=int, default=80)
    p.add_argument("--seed", type=int, default=424242)
    p.add_argument("--jobs", type=int, default=2)
    p.add_argument("--batch", type=int, default=loop.BATCH)
    a = p.parse_args(argv)
    target = zeb.fuzz_target(a.platform)
    target.known = known.load(target.name)
    load = " ".join(f"{x:.2f}" for x in os.getloadavg())
    print(f"{target.name}, {a.jobs} jobs, {os.cpu_count()} processors, load before {load}")
    single, s_time, s_differ, s_line = rate(target, a.single, a.seed, a.jobs, 1)
    print(f"one case to a program: {a.single} cases in {s_time:.1f} s: {single:.0f} cases a minute ({s_line})")
    batched, b_time, b_differ, b_line = rate(target, a.count, a.seed, a.jobs, a.batch)
    print(f"{a.batch} cases to a program: {a.count} cases in {b_time:.1f} s: {batched:.0f} cases a minute ({b_line})")
    load = " ".join(f"{x:.2f}" for x in os.getloadavg())
    print(f"ratio {batched / single:.1f}; load after {load}")
    return 1 if s_differ or b_differ else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
