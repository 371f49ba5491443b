#!/usr/bin/env python3
"""zeb: build and run the exception-handling conformance suite.

  zeb run [--platform NAME|PATH.toml] [--programs suite|behaviour] [--junit FILE] [--timeout S] [--jobs N] [REGEX]
  zeb test
  zeb platforms [PATH.toml ...]
  zeb cc [--c++] GCC-ARGUMENTS...     (sources, objects, -c, -o, -I, -D, -O2 ...)
  zeb check-sources
  zeb matrix [--platforms host,arm,wine,windows-arm64,PATH.toml] [--output FILE] [--update-readme]
  zeb pack --platform NAME|PATH.toml [--programs suite|behaviour|all] [--fuzz N --seed S] [REGEX] -o FILE.zip
  zeb fuzz [--platform NAME|PATH.toml] [--count N] [--minutes M] [--seed S] [--jobs J] [--batch B]
           [--keep DIR] [--findings DIR | --resume DIR]
  zeb sensitivity [--platform host|arm|PATH.toml] [--variants NAME,...] [--jobs N] [--fuzz N [--seed S]]
"""
import argparse
import os
import subprocess
import sys
import time

import check_sources
import cmake_builds
import compare
import device_check
import example
import matrix
import pack
import packages
import programs
import report
import repro
import results
import runner
import sensitivity
import variants
import xfail
from fuzz import against, campaign, known, linked, loop, targets
from paths import BUILD, ROOT
from platform_file import PlatformError
from platforms import built_in_names, resolve

JOBS = max(2, os.cpu_count() or 2)
# The layer's CMake builds that `zeb test` builds whole and runs the tests of.
LAYER_BUILDS = {"host": ["host"], "arm": ["arm32", "arm64"]}
# Platforms without the layer on which `zeb test` also runs the layer's
# behaviour programs (on the layer's own platforms CTest runs them): each
# difference from the documented semantics is listed with its cause.
BEHAVIOUR_ELSEWHERE = ("windows-arm64", "windows-arm64-clang-23", "windows-arm64-qemu-11", "windows-arm32")
# A user's platform file run by `zeb test` on a few programs: its runner
# copies each program elsewhere first, as one for a device would.
COPYING_PLATFORM = os.path.join(ROOT, "tests", "platforms", "copy-and-run.toml")
COPYING_PROGRAMS = "^(ZEB0004|ZEB0029|cxx-terminate-from-destructor|mixed-setjmp-fibonacci@5_1.0)$"
# The host with every program built -O2 by zeb-cc / zeb-c++: the suite and
# the behaviour programs must behave as at -O0.
OPTIMISED_PLATFORM = os.path.join(ROOT, "tests", "platforms", "host-O2.toml")


def sh(cmd, **kw):
    return subprocess.run(cmd, **kw).returncode


# Where `zeb test` and `zeb matrix` keep the runs they make.
RESULTS = os.path.join(BUILD, "results")


def all_run_names():
    """Every run of the suite and of the behaviour programs: what an
    expected-failures file may name."""
    return {r.name for which in programs.SETS.values() for p in which(ROOT) for r in p.runs}


def load_platform(name_or_path):
    """The platform, with its expected failures checked against the
    programs there are."""
    try:
        platform = resolve(name_or_path)
        if platform.expected_failures_path:
            xfail.parse_xfail(platform.expected_failures_path, all_run_names())
        return platform
    except (PlatformError, xfail.XfailError) as e:
        sys.exit(f"zeb: {e}")


def run_platform(platform, regex=None, jobs=JOBS, timeout=None, which="suite", retries=0, shard=None):
    """Builds and runs the suite's programs (or the behaviour programs) on
    one platform; returns their results."""
    packages.ensure(platform.packages)
    chosen = runner.in_shard(programs.select(programs.SETS[which](ROOT), regex), shard)
    chosen, elsewhere = programs.built_by(chosen, platform.deliverables, which)
    if not chosen:
        return []
    part = f" (shard {shard[0]} of {shard[1]})" if shard else ""
    skipped = f"; {len(elsewhere)} {'/'.join(sorted({p.arch for p in elsewhere}))} programs are not its business" if elsewhere else ""
    print(f"zeb: {platform.name}: building and running {len(chosen)} programs{part}{skipped} ...", flush=True)
    try:
        return runner.run_platform(platform, chosen, jobs, timeout, retries)
    except PlatformError as e:
        sys.exit(f"zeb: {e}")


def store(path, platform, found, started, which="suite", regex=None, shard=None):
    """Writes a run's results file; a run of no programs writes none."""
    if path and found:
        results.write(path, results.run_info(platform, which, regex, shard, started), found)
        print(f"zeb: results in {os.path.relpath(path)}")


def parse_shard(text):
    try:
        k, n = (int(x) for x in text.split("/"))
    except ValueError:
        k = n = 0
    if not 1 <= k <= n:
        raise argparse.ArgumentTypeError(f"'{text}' is not K/N with 1 <= K <= N")
    return k, n


def cmd_run(args):
    platform = load_platform(args.platform)
    if args.shard:
        platform.shard = args.shard[0]
    started = results.now()
    found = run_platform(platform, args.regex, args.jobs, args.timeout, args.programs, args.retries, args.shard)
    if not found:
        print(f"zeb: no program matches '{args.regex}'" if args.regex else "zeb: no program was run")
    print(report.table(found, platform.name))
    if args.junit:
        report.write_junit(found, args.junit, platform.name)
    store(args.results, platform, found, started, args.programs, args.regex, args.shard)
    print(report.closing(found))
    return 0 if report.run_ok(found) else 1


def load_results(path):
    try:
        return results.load(path)
    except results.ResultsError as e:
        sys.exit(f"zeb: {e}")


def cmd_compare(args):
    old_run, old = load_results(args.old)
    new_run, new = load_results(args.new)
    lines, worse = compare.report(old_run, old, new_run, new, os.path.basename(args.old), os.path.basename(args.new))
    print("\n".join(lines))
    return 1 if worse else 0


def cmd_repro(args):
    platform = load_platform(args.platform)
    packages.ensure(platform.packages)
    try:
        program, run = repro.find_run([programs.suite(ROOT), programs.behaviour(ROOT)], args.name)
        verdict, reason = repro.make(platform, program, run, os.path.abspath(args.output), args.timeout)
    except (repro.ReproError, PlatformError) as e:
        sys.exit(f"zeb: {e}")
    print(f"{run.name} on {platform.name}: {verdict}" + (f": {reason}" if reason else ""))
    print(f"zeb: {os.path.relpath(args.output)}/repro.sh builds and runs it again without zeb "
          f"(README.txt says what each file is)")
    return 0


def cmd_merge(args):
    loaded = [(path,) + load_results(path) for path in args.files]
    try:
        info, merged = results.merge(loaded)
    except results.ResultsError as e:
        sys.exit(f"zeb: {e}")
    print(report.table(merged, info["platform"]))
    if args.junit:
        report.write_junit(merged, args.junit, info["platform"])
    if args.results:
        results.write(args.results, info, merged)
        print(f"zeb: results in {os.path.relpath(args.results)}")
    print(report.closing(merged))
    return 0 if report.run_ok(merged) else 1


def run_ctest(build):
    folder = cmake_builds.build_dir(build)
    return sh(["ctest", "--test-dir", folder, "-j", str(JOBS), "--output-on-failure",
               "--output-junit", os.path.join(folder, "ctest-junit.xml")])


def suite_step(platform, failures, regex=None, which="suite"):
    """The suite (or the behaviour programs) on one platform, as `zeb run`
    shows it; any failure (an expected one is not) fails the step."""
    started = results.now()
    found = run_platform(platform, regex, which=which)
    print(report.table(found, platform.name))
    print(report.closing(found))
    store(os.path.join(RESULTS, platform.name + ("" if which == "suite" else "-" + which) + ".json"),
          platform, found, started, which, regex)
    if not report.run_ok(found):
        failures.append(f"{platform.name}: {which}")
    return found


SHARDING_PACKAGES = ["parallel"]


def shards_step(platform, whole, failures):
    """The suite split in two shards run side by side by GNU parallel, as a
    user splits it, merged: the verdicts must be the whole run's, program
    for program."""
    paths = [os.path.join(RESULTS, f"{platform.name}-shard{k}-of-2.json") for k in (1, 2)]
    for path in paths:
        if os.path.exists(path):
            os.unlink(path)
    log = os.path.join(RESULTS, f"{platform.name}-shards.log")
    os.makedirs(RESULTS, exist_ok=True)
    zeb = os.path.join(ROOT, "zeb")
    with open(log, "w") as out:
        sh(["parallel", "--will-cite", "--halt", "never", zeb, "run", "--platform", platform.name, "--shard", "{}/2",
            "--results", os.path.join(RESULTS, f"{platform.name}-shard{{}}-of-2.json"), ":::", "1", "2"],
           stdout=out, stderr=subprocess.STDOUT)
    try:
        info, merged = results.merge([(path,) + results.load(path) for path in paths])
    except results.ResultsError as e:
        print(f"zeb: the shards' results cannot be merged: {e} (see {log})")
        failures.append(f"{platform.name}: shards")
        return
    sharded = {r["name"]: str(r["verdict"]) for r in merged}
    unsharded = {r["name"]: str(r["verdict"]) for r in whole}
    if sharded != unsharded:
        for name in sorted(set(sharded) | set(unsharded)):
            if sharded.get(name) != unsharded.get(name):
                print(f"zeb: {name}: {unsharded.get(name, 'not run')} unsharded, {sharded.get(name, 'not run')} "
                      "in the shards")
        failures.append(f"{platform.name}: shards")
        return
    counts = [len(results.load(path)[1]) for path in paths]
    print(f"{counts[0]} + {counts[1]} runs in two shards, merged: the same verdicts as the whole run")


# The platforms whose pack `zeb test` runs as a device would.
PACKED = ("wine", "windows-arm64")


def device_pack_step(platform, whole, failures):
    """The platform's pack unzipped and run by zeb-run.exe under the
    platform's run command: the verdicts must be WHOLE's, program for
    program."""
    try:
        ok, lines = device_check.check(platform, whole)
    except (pack.PackError, PlatformError, OSError) as e:
        ok, lines = False, [f"zeb: {e}"]
    print("\n".join(lines))
    if not ok:
        failures.append(f"{platform.name}: pack")


def sensitivity_step(platform, failures):
    """The suite against every variant run-time: each variant caught (or a
    declared hole) and each prediction printed."""
    step = time.monotonic()
    try:
        chosen = variants.load_all(ROOT)
        by_variant = sensitivity.run(platform, chosen, JOBS)
    except (PlatformError, variants.VariantError) as e:
        print(f"zeb: {e}")
        by_variant = None
    if by_variant is None:
        failures.append(f"{platform.name}: sensitivity")
        return
    lines, ok = sensitivity.judge(chosen, by_variant)
    print("\n".join(lines))
    if not ok:
        failures.append(f"{platform.name}: sensitivity")
    print(f"== {platform.name}: sensitivity: {time.monotonic() - step:.0f} s", flush=True)


def cmd_test(args):
    """The project's own tests: the layer's unit tests and behaviour
    programs on the host and on ARM, the suite on host, ARM and Wine
    (expected failures allowed, unexpected results not), the suite through a
    user's kind of platform file, the suite and behaviour programs built
    -O2, the example project built by CMake with zeb-cc, the suite against
    every variant run-time on the host, and the compile check of the
    sources."""
    platforms = {name: load_platform(name) for name in ("host", "arm", "wine", "windows-arm64", "windows-arm64-clang-23",
                                                        "windows-arm64-qemu-11", "windows-arm32")}
    copying = load_platform(COPYING_PLATFORM)
    optimised = load_platform(OPTIMISED_PLATFORM)
    wanted = ([p for pl in list(platforms.values()) + [copying, optimised] for p in pl.packages] +
              packages.CHECK_SOURCES + SHARDING_PACKAGES)
    packages.ensure(list(dict.fromkeys(wanted)))
    started = time.monotonic()
    failures = []
    for name, platform in platforms.items():
        for build in LAYER_BUILDS.get(name, []):
            step = time.monotonic()
            print(f"== {build}: build", flush=True)
            if not cmake_builds.build(build, everything=True):
                failures.append(f"{build}: build")
            print(f"== {build}: tests", flush=True)
            if run_ctest(build) != 0:
                failures.append(f"{build}: tests")
            print(f"== {build}: {time.monotonic() - step:.0f} s", flush=True)
        step = time.monotonic()
        print(f"== {name}: suite", flush=True)
        found = suite_step(platform, failures)
        if name in PACKED:
            print(f"== {name}: the suite packed, run by zeb-run.exe as on a device", flush=True)
            device_pack_step(platform, found, failures)
        if name in BEHAVIOUR_ELSEWHERE:
            print(f"== {name}: behaviour programs", flush=True)
            suite_step(platform, failures, which="behaviour")
        print(f"== {name}: {time.monotonic() - step:.0f} s", flush=True)
        if name == "host":
            print(f"== {name}: the suite in two shards through GNU parallel", flush=True)
            shards_step(platform, found, failures)
            print(f"== {copying.name}: suite through {os.path.relpath(copying.path, ROOT)}", flush=True)
            suite_step(copying, failures, COPYING_PROGRAMS)
            print(f"== {optimised.name}: suite and behaviour programs at -O2", flush=True)
            suite_step(optimised, failures)
            suite_step(optimised, failures, which="behaviour")
            print("== example: examples/cmake-project with zeb-cc and zeb-c++", flush=True)
            if not example.build_and_test():
                failures.append("example: cmake-project")
            print(f"== {name}: sensitivity", flush=True)
            sensitivity_step(platform, failures)
    print("== check-sources", flush=True)
    if check_sources.main() != 0:
        failures.append("check-sources")
    print(f"zeb test: {time.monotonic() - started:.0f} s")
    for f in failures:
        print(f"zeb test: FAILED {f}")
    return 1 if failures else 0


def cmd_pack(args):
    """The chosen programs built for a Windows platform, with zeb-run.exe
    and the manifest, in one zip for a device."""
    platform = load_platform(args.platform)
    packages.ensure(platform.packages)
    fuzz = None
    if args.fuzz is not None:
        if args.fuzz < 1:
            sys.exit("zeb: --fuzz must be 1 or more")
        fuzz = (args.fuzz, args.seed)
    try:
        data = pack.make(platform, os.path.abspath(args.output), args.programs, args.regex, args.jobs, fuzz)
    except (pack.PackError, PlatformError, OSError) as e:
        sys.exit(f"zeb: {e}")
    runs = data["runs"]
    built = sum(1 for r in runs if r["program"])
    print(f"zeb: {os.path.relpath(args.output)}: {len(runs)} runs of {platform.name} ({len(runs) - built} not built), "
          f"{os.path.getsize(args.output) / 1e6:.1f} MB; on the device: unzip, then zeb-run.exe")
    return 0


def cmd_platforms(args):
    """Lists the platforms: the project's own and any files given."""
    rows, bad = [], 0
    for name_or_path in built_in_names() + args.files:
        try:
            p = resolve(name_or_path)
            rows.append((p.name, p.description, os.path.relpath(os.path.join(p.dir, os.path.basename(p.path)))))
        except PlatformError as e:
            print(f"zeb: {e}", file=sys.stderr)
            bad += 1
    width = max([len(r[0]) for r in rows] + [8])
    print(f"{'platform':<{width}}  description  (file)")
    for name, description, path in rows:
        print(f"{name:<{width}}  {description}  ({path})")
    return 1 if bad else 0


def cmd_check_sources(args):
    packages.ensure(packages.CHECK_SOURCES)
    return check_sources.main()


def cmd_matrix(args):
    """The matrix from stored runs (--from), or from runs of the platforms
    made now and stored under build/results/."""
    if args.from_files:
        columns = [load_results(path) for path in args.from_files]
    else:
        chosen = [load_platform(name_or_path) for name_or_path in args.platforms.split(",") if name_or_path]
        names = [p.name for p in chosen]
        for p in chosen:
            if names.count(p.name) > 1:
                sys.exit(f"zeb: two platforms are named '{p.name}'; the matrix needs one column each")
        columns = []
        for p in chosen:
            path = os.path.join(RESULTS, p.name + ".json")
            started = results.now()
            store(path, p, run_platform(p), started)
            columns.append(load_results(path))
    text = matrix.markdown(columns)
    print(text)
    if args.output:
        with open(args.output, "w") as f:
            f.write(text + "\n")
    if args.update_readme:
        matrix.update_readme(os.path.join(ROOT, "README.md"), text)
    return 0


def cmd_sensitivity(args):
    """The suite against each variant run-time: what catches each variant,
    and whether the predicted values are printed."""
    platform = load_platform(args.platform)
    try:
        chosen = variants.load_all(ROOT, [n for n in args.variants.split(",") if n] if args.variants else None)
        for v in chosen:
            variants.platform_for(platform, v)
    except variants.VariantError as e:
        sys.exit(f"zeb: {e}")
    packages.ensure(platform.packages)
    started = time.monotonic()
    if args.fuzz is not None:
        return sensitivity_fuzz(platform, chosen, args, started)
    try:
        by_variant = sensitivity.run(platform, chosen, args.jobs)
    except PlatformError as e:
        sys.exit(f"zeb: {e}")
    if by_variant is None:
        return 1
    lines, ok = sensitivity.judge(chosen, by_variant)
    print(f"zeb: {len(chosen)} variant run-times on {platform.name} in {time.monotonic() - started:.0f} s")
    print("\n".join(lines))
    return 0 if ok else 1


def sensitivity_fuzz(platform, chosen, args, started):
    """N random cases against every variant run-time: how many differ."""
    if args.fuzz < 1:
        sys.exit("zeb: --fuzz must be 1 or more")
    try:
        runner.prepare(platform)
    except PlatformError as e:
        sys.exit(f"zeb: {e}")
    if not sensitivity.build_variants(platform, args.jobs):
        return 1
    cases = against.cases_of(args.fuzz, args.seed, args.language)
    timeout = against.hang_timeout(targets.from_platform(platform, runner), cases[:loop.BATCH])
    print(f"zeb: a batch still running after {timeout:.1f} s hangs", flush=True)
    found = {}
    objects = linked.Objects(platform, runner)
    try:
        for v in chosen:
            print(f"zeb: {platform.name}.{v.name}: {v.breaks} ...", flush=True)
            variant_platform = variants.platform_for(platform, v)
            if variants.changes_programs(ROOT, v):
                target = targets.from_platform(variant_platform, runner)
            else:
                target = linked.Linked(variant_platform, runner, objects)
            target.timeout = timeout
            found[v.name] = against.differing(target, cases, loop.BATCH, args.jobs)
    finally:
        objects.close()
    lines, holes = against.matrix(chosen, found, len(cases))
    print(f"zeb: {len(cases)} random cases against {len(chosen)} variant run-times on {platform.name} "
          f"in {time.monotonic() - started:.0f} s")
    print("\n".join(lines))
    return 1 if holes else 0


def cmd_cc(argv):
    """gcc's command line, through the host's zeb-cc (zeb-c++ with --c++)."""
    packages.ensure(load_platform("host").packages)
    if not cmake_builds.build("host"):
        sys.exit("zeb: building the lowering tool failed")
    driver = "zeb-c++" if "--c++" in argv else "zeb-cc"
    return sh([os.path.join(cmake_builds.build_dir("host"), "bin", driver)] + [a for a in argv if a != "--c++"])


def fuzz_target(name_or_path):
    """The fuzzer's view of a platform: its file's C and run commands."""
    platform = load_platform(name_or_path)
    packages.ensure(platform.packages)
    try:
        runner.prepare(platform)
    except PlatformError as e:
        sys.exit(f"zeb: {e}")
    return targets.from_platform(platform, runner)


def cmd_fuzz(args):
    if (args.count is not None and args.count < 0) or args.jobs < 1 or args.batch < 1:
        sys.exit("zeb: --count must be 0 or more, --jobs and --batch 1 or more")
    if args.minutes is not None and args.minutes <= 0:
        sys.exit("zeb: --minutes must be more than 0")
    count = args.count
    if count is None and args.minutes is None and not args.resume:
        count = 100
    for folder, what in ((args.keep, "reduced programs"), (args.findings, "findings")):
        if folder:
            try:
                os.makedirs(folder, exist_ok=True)
            except OSError as e:
                sys.exit(f"zeb: cannot write {what} to {folder}: {e.strerror}")
    if args.resume:
        try:
            state = campaign.load(args.resume)
        except ValueError as e:
            sys.exit(f"zeb: {e}")
        if args.platform == "host" and state.platform != "host":
            args.platform = state.platform
    target = fuzz_target(args.platform)
    if args.resume and state.platform != target.name:
        sys.exit(f"zeb: {args.resume} holds a campaign on {state.platform}, not {target.name}")
    try:
        target.known = known.load(target.name)
    except ValueError as e:
        sys.exit(f"zeb: {e}")
    platform = getattr(target, "platform", None)
    versions = (lambda: results.tool_versions(platform)) if platform is not None else None
    new = loop.fuzz(target, count, args.seed, jobs=args.jobs, keep=args.keep, known=target.known,
                    reduce_tries=args.reduce_tries, batch=args.batch, minutes=args.minutes,
                    findings=args.findings, resume=args.resume, versions=versions, language=args.language)
    return 1 if new else 0


def main(argv):
    if argv[:1] == ["cc"]:
        return cmd_cc(argv[1:])
    p = argparse.ArgumentParser(prog="zeb", description="exception-handling conformance suite")
    sub = p.add_subparsers(dest="command", required=True)
    r = sub.add_parser("run", help="build and run the suite's programs")
    r.add_argument("--platform", default="host",
                   help=f"one of the project's own ({', '.join(built_in_names())}) or a platform file, PATH.toml")
    r.add_argument("--junit", help="also write JUnit XML here")
    r.add_argument("--timeout", type=float, help="seconds before a program counts as hung "
                   "(default: the platform's, else 10)")
    r.add_argument("--jobs", "-j", type=int, default=JOBS, help=f"programs built and run at once (default {JOBS})")
    r.add_argument("--programs", choices=sorted(programs.SETS), default="suite",
                   help="the suite's programs (default) or the layer's behaviour programs (tests/behaviour)")
    r.add_argument("--results", help="also write the run, with its tools' versions, into this results file")
    r.add_argument("--retries", type=int, default=0,
                   help="run an unexpected result again up to this many times (FLAKY when a retry is as expected)")
    r.add_argument("--shard", type=parse_shard, metavar="K/N",
                   help="run only the K-th of N parts of the programs (split by name)")
    r.add_argument("regex", nargs="?", help="run only the programs whose name matches")
    pk = sub.add_parser("pack", help="the programs built for a Windows platform, with a native runner, "
                        "in one zip to run on a Windows device")
    pk.add_argument("--platform", required=True, help="a platform whose programs are Windows programs "
                    "(windows-arm64, wine, or a platform file)")
    pk.add_argument("--programs", choices=pack.SETS, default="suite",
                    help="the suite's programs (default), the behaviour programs, or both")
    pk.add_argument("--fuzz", type=int, metavar="N", help="N generated programs with the model's expected "
                    "output instead")
    pk.add_argument("--seed", type=int, default=1, help="with --fuzz: the seed of the first program")
    pk.add_argument("--jobs", "-j", type=int, default=JOBS, help=f"programs built at once (default {JOBS})")
    pk.add_argument("-o", "--output", required=True, metavar="FILE.zip")
    pk.add_argument("regex", nargs="?", help="pack only the programs whose name matches")
    c = sub.add_parser("compare", help="what changed between two stored runs")
    c.add_argument("old", metavar="OLD.json")
    c.add_argument("new", metavar="NEW.json")
    mg = sub.add_parser("merge", help="join the stored runs of shards into one")
    mg.add_argument("files", nargs="+", metavar="SHARD.json")
    mg.add_argument("--results", help="write the joined run here")
    mg.add_argument("--junit", help="also write JUnit XML here")
    rp = sub.add_parser("repro", help="one program's run made into a folder for a bug report: source, commands, "
                        "tools, program, output, and a repro.sh that does it again without zeb")
    rp.add_argument("name", help="the program's (or run's) name")
    rp.add_argument("--platform", default="host", help="a platform's name or a platform file (default host)")
    rp.add_argument("-o", "--output", required=True, metavar="DIR")
    rp.add_argument("--timeout", type=float, help="seconds before the program counts as hung")
    sub.add_parser("test", help="the project's own tests")
    pl = sub.add_parser("platforms", help="list the platforms; check platform files")
    pl.add_argument("files", nargs="*", metavar="PATH.toml", help="platform files to check and list as well")
    # `zeb cc` takes gcc's command line whole (main() hands it over unparsed).
    sub.add_parser("cc", help="gcc's command line: sources in the dialect, objects, -c, -o, -I, -D, -O2 ...",
                   description="Builds sources in the dialect with the layer.  In C++ sources structured "
                               "exceptions run the destructors of the frames they unwind and a C++ throw is "
                               "offered to try/except filters as 0xE06D7363; catch (...) takes only C++ "
                               "exceptions (the platform's default /EHs model).  -fasync-exceptions: "
                               "catch (...) also takes structured exceptions (/EHa).  `zeb cc --help` has more.")
    sub.add_parser("check-sources", help="compile every source for Windows on ARM64 with clang")
    m = sub.add_parser("matrix", help="results of every program on several platforms, as Markdown")
    m.add_argument("--platforms", default="host,arm,wine,windows-arm64", help="names or platform files, comma-separated")
    m.add_argument("--output", help="also write the Markdown here")
    m.add_argument("--update-readme", action="store_true", help="put the matrix into README.md")
    m.add_argument("--from", dest="from_files", nargs="+", metavar="FILE.json",
                   help="build the matrix from stored runs, one column each, without running anything")
    f = sub.add_parser("fuzz", help="random programs run on a platform and compared with the model")
    f.add_argument("--platform", default="host", help="a platform's name or a platform file (default host)")
    f.add_argument("--count", type=int, help="cases to run (default 100, or no limit with --minutes)")
    f.add_argument("--minutes", type=float, help="stop starting programs after this many minutes")
    f.add_argument("--seed", type=int, default=1, help="seed of the first case; case i has seed+i")
    f.add_argument("--jobs", type=int, default=int(JOBS), help="programs built and run at once")
    f.add_argument("--batch", type=int, default=loop.BATCH,
                   help=f"cases in one program (default {loop.BATCH}; 1: each case a program of its own)")
    f.add_argument("--findings", help="write a report for each new group of differences here, and the "
                   "campaign's state")
    f.add_argument("--resume", metavar="DIR", help="go on with the campaign whose findings are in DIR")
    f.add_argument("--keep", help="write each reduced program that differs here")
    f.add_argument("--reduce-tries", type=int, default=300, help="builds spent reducing one difference")
    f.add_argument("--language", choices=loop.LANGUAGES, default="c",
                   help="the cases' language (default c; both: each seed's case is C or C++, by the seed)")
    se = sub.add_parser("sensitivity", help="the suite against run-times broken on purpose: what catches each fault")
    se.add_argument("--platform", default="host", help="host (default), arm, or a platform file that links the "
                    "layer's run-time")
    se.add_argument("--variants", "--faults", dest="variants", help="only these variants (comma-separated names of layer/variants/NAME.toml)")
    se.add_argument("--jobs", "-j", type=int, default=JOBS, help=f"programs built and run at once (default {JOBS})")
    se.add_argument("--fuzz", type=int, metavar="N", help="N random cases (./zeb fuzz's) against every variant "
                    "instead of the suite")
    se.add_argument("--seed", type=int, default=424242, help="with --fuzz: the first case's seed")
    se.add_argument("--language", choices=loop.LANGUAGES, default="both",
                    help="with --fuzz: the cases' language (default both: the C++ variants need C++ cases)")
    args = p.parse_args(argv)
    if getattr(args, "timeout", None) is not None and args.timeout <= 0:
        p.error("--timeout must be more than 0")
    if getattr(args, "jobs", 1) < 1:
        p.error("--jobs must be at least 1")
    if getattr(args, "retries", 0) < 0:
        p.error("--retries must be 0 or more")
    return {"run": cmd_run, "test": cmd_test, "platforms": cmd_platforms, "fuzz": cmd_fuzz,
            "check-sources": cmd_check_sources, "matrix": cmd_matrix, "compare": cmd_compare, "merge": cmd_merge,
            "repro": cmd_repro, "pack": cmd_pack,
            "sensitivity": cmd_sensitivity}[args.command](args)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
