"""Shows that every verdict can fail: the suite is built and run against
each variant run-time (variants.py), and for each the programs that fail,
with what they printed, are listed; then each variant's predictions are
checked.  A variant is caught when at least one program fails.

Most variants change only the run-time: the programs' objects are built
once for all of those and linked against each variant's run-time; the
variants whose switch a program's headers test build the programs anew."""
import concurrent.futures
import copy
import os
import re
import subprocess

import cmake_builds
import programs
import runner
from variants import changes_programs, layer_builds, platform_for
from verdicts import Verdict

COUNTER = re.compile(r"Counter ?= ?(-?\d+)")
CXX_COUNTS = re.compile(r"c == -?\d+, d == -?\d+")


def build_variants(platform, jobs):
    """Builds every variant run-time the platform's templates need; False
    (with the log's name printed) when one does not build."""
    for build in layer_builds(platform):
        folder = cmake_builds.build_dir(build)
        log = os.path.join(folder, "variants.log")
        with open(log, "w") as out:
            status = subprocess.run(["cmake", "--build", folder, "-j", str(jobs), "--target", "zebseh_variants"],
                                    stdout=out, stderr=subprocess.STDOUT).returncode
        if status != 0:
            print(f"zeb: the variant run-times of build/{build} did not build; see {log}")
            return False
    return True


def printed(result):
    """What a failing run showed, in short: its count, else the checker's
    reason."""
    out = result.get("stdout", "")
    for pattern in (COUNTER, CXX_COUNTS):
        m = pattern.search(out)
        if m:
            return "Counter = " + m.group(1) if pattern is COUNTER else m.group(0)
    reason = result["reason"]
    return reason if len(reason) <= 60 else reason[:57] + "..."


def not_built(result):
    return result.get("reason", "").startswith("not built")


def failing(results):
    """The runs that caught a variant: failures of programs that were built
    (a build that fails says nothing of the run-time)."""
    return [r for r in results if Verdict(r["verdict"]).is_failure and not not_built(r)]


def prediction_holds(results, program, text):
    """(holds, what the program printed) for one prediction."""
    for r in results:
        if r["name"] == program:
            ok = re.search(re.escape(text) + r"(?!\d)", r.get("stdout", "")) is not None
            return ok, printed(r) if r["verdict"] != Verdict.PASS else "passed"
    return False, "not run"


def judge(variants, by_variant):
    """The report's lines and whether everything held: every variant caught
    (or a declared hole still uncaught) and every prediction printed."""
    lines, ok = [], True
    width = max(len(v.name) for v in variants)
    lines.append(f"{'variant':<{width}}  programs that fail (what they printed)")
    lines.append(f"{'-' * width}  {'-' * 38}")
    caught = 0
    for v in variants:
        fails = failing(by_variant[v.name])
        if fails:
            caught += 1
            lines.append(f"{v.name:<{width}}  " + ", ".join(f"{r['name']} ({printed(r)})" for r in fails))
        else:
            lines.append(f"{v.name:<{width}}  none: {'a known hole' if v.hole else 'NOT CAUGHT'}")
    lines.append("")
    lines.append("predictions:")
    for v in variants:
        for program, text in v.predicts.items():
            holds, shown = prediction_holds(by_variant[v.name], program, text)
            ok = ok and holds
            verdict = "holds" if holds else f"DOES NOT HOLD: it printed {shown}"
            lines.append(f"  {v.name}: {program} prints \"{text}\": {verdict}")
    for v in variants:
        unbuilt = [r for r in by_variant[v.name] if not_built(r)]
        if unbuilt:
            ok = False
            lines.append(f"{v.name}: {len(unbuilt)} runs not built, so not judged: "
                         f"{unbuilt[0]['name']}: {unbuilt[0]['reason']}")
    for v in variants:
        fails = failing(by_variant[v.name])
        if v.hole and not fails:
            lines.append(f"hole: {v.name}: {v.hole}")
        elif v.hole:
            ok = False
            lines.append(f"{v.name} is declared a hole but the suite caught it: drop its `hole` line")
        elif not fails:
            ok = False
            lines.append(f"{v.name} ({v.breaks}) is caught by no program")
    lines.append(f"{len(variants)} variants, {caught} caught")
    return lines, ok


def shared_objects(platform, chosen, jobs):
    """{name: object} of the programs built with the platform's own
    templates but not linked (in build/sensitivity/NAME/objects); a program
    whose object does not build is left out, to be built whole, and fail
    the same way, against each variant."""
    base = copy.copy(platform)
    base.build_dir = os.path.join(platform.root, "build", "sensitivity", platform.name, "objects")
    folder = os.path.join(base.build_dir, "suite")
    os.makedirs(folder, exist_ok=True)
    with concurrent.futures.ThreadPoolExecutor(max(1, jobs)) as pool:
        built = pool.map(lambda p: (p.name, runner.build(base, p, folder, compile_only=True)[0]), chosen)
        return {name: path for name, path in built if path}


def run(platform, variants, jobs, regex=None, progress=print):
    """Results per variant of the suite (or the programs REGEX picks) on
    PLATFORM with that variant's run-time; None when the run-times did not
    build.  Raises PlatformError."""
    runner.prepare(platform)
    if not build_variants(platform, jobs):
        return None
    chosen = programs.select(programs.suite(platform.root), regex)
    linked_only = [v for v in variants if not changes_programs(platform.root, v)]
    objects = shared_objects(platform, chosen, jobs) if linked_only else {}
    by_variant = {}
    for v in variants:
        variant_platform = platform_for(platform, v)
        if v in linked_only:
            variant_platform.objects = objects
        progress(f"zeb: {variant_platform.name}: {v.breaks} ...", flush=True)
        by_variant[v.name] = runner.run_platform(variant_platform, chosen, jobs)
    return by_variant
