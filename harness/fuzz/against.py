"""The fuzzer judged: random cases run against each variant run-time must
differ from the model, or the generator has a hole.  The same cases go
against every variant, batched as in a campaign."""
import os
import shutil
import tempfile
import time
import concurrent.futures

from .batch import Runner, cases_of
from .cprint import batch_source
from .targets import suffix_for

# A variant can make a case loop for ever, and each case it does that to
# costs a whole timeout.  A batch takes milliseconds on the host, so a hang
# is told after this many times as long as a batch takes with the default
# run-time, at least MIN_TIMEOUT seconds, at most the platform's timeout.
MARGIN = 20
MIN_TIMEOUT = 2.0

# What the generator would need to make a variant's programs differ, for the
# variants it does not make differ.
CLOSES = {
    "cxx_destroy_twice_on_rethrow": "C++ cases: a rethrown object's destructor counted by the handlers that caught it",
    "cxx_leak_on_new_throw": "C++ cases: a handler that ends by a new throw, with the first object's destructor logged",
    "noncontinuable_continued": "a filter continuing a noncontinuable exception that reaches it (generated, "
                                "about 1 case in 100: run more cases)",
}


def hang_timeout(target, cases):
    """The timeout for batches of CASES against variants of TARGET (the
    platform with the default run-time), from one batch run on it."""
    kind = cases[0].program.build_kind
    cases = [c for c in cases if c.program.build_kind == kind]   # one program is of one build kind
    workdir = tempfile.mkdtemp(prefix="zeb-against-")
    try:
        source, exe = os.path.join(workdir, "t" + suffix_for(kind)), os.path.join(workdir, "t" + target.exe_suffix)
        with open(source, "w") as f:
            f.write(batch_source([c.program for c in cases]))
        if not target.build(source, exe, kind)[0]:
            return target.timeout
        started = time.monotonic()
        _, _, how = target.run(exe)
        if how == "hang":
            return target.timeout
        return min(target.timeout, max(MIN_TIMEOUT, MARGIN * (time.monotonic() - started)))
    finally:
        shutil.rmtree(workdir, ignore_errors=True)


def differing(target, cases, batch, jobs):
    """{seed: Result} of the cases that do not agree with the model."""
    workdir = tempfile.mkdtemp(prefix="zeb-against-")
    try:
        runner = Runner(target, workdir, rerun_hangs=False)
        groups = [cases[i:i + batch] for i in range(0, len(cases), batch)]
        out = {}
        with concurrent.futures.ThreadPoolExecutor(max(1, jobs)) as pool:
            # a case differing in its batch is enough: no need to run it alone
            for part in pool.map(lambda g: runner.run(g[1], f"v{g[0]}", confirm=False), enumerate(groups)):
                out.update({s: r for s, r in part.items() if not r.agrees})
        return out
    finally:
        shutil.rmtree(workdir, ignore_errors=True)


def matrix(variants, found, total):
    """The report's lines (variant, differing cases, the first of them) and
    the variants no case caught.  A case that did not build catches nothing
    (it says nothing of the run-time): it is listed, and its variant counts
    as not caught."""
    width = max(len(v.name) for v in variants)
    lines = [f"{'variant':<{width}}  differing cases of {total}  first (seed: what differs)",
             f"{'-' * width}  {'-' * 24}  {'-' * 30}"]
    holes, unbuilt = [], {}
    for v in variants:
        d = {s: r for s, r in found[v.name].items() if r.kind != "build"}
        unbuilt[v.name] = {s: r for s, r in found[v.name].items() if r.kind == "build"}
        first = ""
        if d:
            s = min(d)
            first = f"{s}: {d[s].kind}: {d[s].detail}"
            first = first if len(first) <= 90 else first[:87] + "..."
        if not d or unbuilt[v.name]:
            holes.append(v)
        lines.append(f"{v.name:<{width}}  {len(d):>24}  {first}")
    lines.append("")
    for v in holes:
        if unbuilt[v.name]:
            s = min(unbuilt[v.name])
            lines.append(f"not judged: {v.name}: {len(unbuilt[v.name])} cases not built; {s}: "
                         f"{unbuilt[v.name][s].detail}")
        else:
            lines.append(f"generator hole: {v.name} ({v.breaks}): no case differs; "
                         f"{CLOSES.get(v.name, 'no construct known to close it')}")
    lines.append(f"{len(variants)} variants, {len(variants) - len(holes)} caught by {total} random cases")
    return lines, holes
