"""Many cases built and run as one program, each judged on its own.

Starting a program is what a case costs most under Wine and qemu, so cases
share one.  A case that ends the process (a crash, a hang) or that the
compiler rejects must still be named alone: the case running when the
process ended is run again by itself, the cases after it go on in a batch of
their own, and a batch that does not build is halved until the case that
breaks it is alone.  Every case that differs in a batch is run again alone,
and that run is its verdict, so a finding is always one program of one case
(unless told not to rerun hangs: then the case a batch hangs in differs as
it is)."""
import os
import re

from .cprint import CASE_END, batch_source
from . import check as checking
from .check import Result, compare
from .generate import generate
from .model import ModelError, TooLong, predict
from .targets import suffix_for

END = re.compile("^" + re.escape(CASE_END) + r"(\d+) (\d+)$")


class Case:
    def __init__(self, seed, program, expected):
        self.seed, self.program, self.expected = seed, program, expected


def split(stdout):
    """The finished cases' (lines, status) in order, and whether the text
    ends in the middle of a case."""
    done, lines = [], []
    for line in stdout.split("\n"):
        m = END.match(line)
        if m and int(m.group(1)) == len(done):
            done.append(("".join(x + "\n" for x in lines), int(m.group(2))))
            lines = []
        else:
            lines.append(line)
    partial = any(lines)
    return done, partial


class Runner:
    """Builds and runs cases on a target; counts the programs it ran."""

    def __init__(self, target, workdir, rerun_hangs=True):
        self.target, self.workdir = target, workdir
        self.programs = 0
        # False: a case the batch hangs in differs without a run alone (the
        # model never predicts a hang); alone it would take the whole
        # timeout again
        self.rerun_hangs = rerun_hangs

    def alone(self, case, name):
        self.programs += 1
        return checking.check(self.target, case.program, case.expected, self.workdir, name)

    def run(self, cases, name, confirm=True):
        """{seed: Result} for the cases; without confirm, a case that
        differed in a batch keeps its batched Result (marked `batched`),
        for the caller to confirm alone once it knows it must."""
        kinds = sorted({c.program.build_kind for c in cases})
        if len(kinds) > 1:
            # one program is one language and one build model
            out = {}
            for n, kind in enumerate(kinds):
                out.update(self.run([c for c in cases if c.program.build_kind == kind], f"{name}{'lsa'[n]}", confirm))
            return out
        if len(cases) == 1:
            return {cases[0].seed: self.alone(cases[0], name)}
        source = os.path.join(self.workdir, name + suffix_for(kinds[0]))
        exe = os.path.join(self.workdir, name + self.target.exe_suffix)
        with open(source, "w") as f:
            f.write(batch_source([c.program for c in cases]))
        ok, _ = self.target.build(source, exe, kinds[0])
        if not ok:
            half = len(cases) // 2
            out = self.run(cases[:half], name + "a", confirm)
            out.update(self.run(cases[half:], name + "b", confirm))
            return out
        self.programs += 1
        status, stdout, how = self.target.run(exe)
        for path in (exe, source):
            try:
                os.unlink(path)
            except OSError:
                pass
        done, _ = split(stdout)
        results = {}
        for case, (text, case_status) in zip(cases, done):
            r = compare(case.expected, case_status, text, "")
            if not r.agrees:
                if confirm:
                    r = self.confirm(case, r, name)
                else:
                    r.batched = True
            results[case.seed] = r
        if len(done) < len(cases):
            stopped = cases[len(done)]
            if how == "hang" and not self.rerun_hangs:
                r = compare(stopped.expected, status, "", how)
                r.batched = True
                results[stopped.seed] = r
            else:
                # the process ended inside this case: it alone says how
                results[stopped.seed] = self.alone(stopped, f"{name}-{stopped.seed}")
            rest = cases[len(done) + 1:]
            if rest:
                results.update(self.run(rest, name + "r", confirm))
        elif how == "hang" or status != 0:
            # every case ended, yet the process did not: halve to find the case
            half = len(cases) // 2
            results.update(self.run(cases[:half], name + "a", confirm))
            results.update(self.run(cases[half:], name + "b", confirm))
        return results

    def confirm(self, case, batched, name):
        """A case that differed in a batch, run alone; a difference seen only
        after other cases in the same process says so."""
        r = self.alone(case, f"{name}-{case.seed}")
        if r.agrees:
            return Result("batch", "differs only after other cases in the same process: " + batched.detail)
        return r


def cases_of(count, seed, language="c"):
    """The cases of seeds SEED to SEED+COUNT-1 with the model's prediction;
    a seed whose case the model cannot predict is left out."""
    out = []
    for s in range(seed, seed + count):
        program = generate(s, language=language)
        try:
            out.append(Case(s, program, predict(program)))
        except (TooLong, ModelError):
            continue
    return out
