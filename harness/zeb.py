#!/usr/bin/env python3
"""zeb: build and run the exception-handling conformance suite.

  zeb run [--platform host|arm|wine] [--junit FILE] [--timeout S] [REGEX]
  zeb test
  zeb cc SOURCE -o PROGRAM [-I DIR] [-D NAME[=VALUE]]
  zeb check-sources
  zeb fuzz [--platform P] [--count N] [--seed S] [--jobs J] [--keep DIR]
  zeb matrix [--platforms host,arm,wine] [--output FILE] [--update-readme]
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_sources  # noqa: E402
import matrix  # noqa: E402
import packages  # noqa: E402
import report  # noqa: E402
from platforms import PLATFORMS, ROOT  # noqa: E402

SUITE_LABELS = "^(seh|cxx|mixed)$"
JOBS = str(max(2, os.cpu_count() or 2))


def sh(cmd, **kw):
    return subprocess.run(cmd, **kw).returncode


def configure(build):
    if build.needs_host_tool:
        build_host_tool()
    if not os.path.exists(os.path.join(build.dir, "CMakeCache.txt")):
        os.makedirs(build.dir, exist_ok=True)
        if sh(["cmake", "-S", ROOT, "-B", build.dir, "-DCMAKE_BUILD_TYPE=RelWithDebInfo"] + build.cmake_args,
              stdout=subprocess.DEVNULL) != 0:
            sys.exit(f"zeb: configuring {build.name} failed")


def compile_build(build, targets=()):
    """Builds what it can; a program that fails to build fails its own test.
    The compiler's messages go to build.log in the build directory."""
    configure(build)
    cmd = ["cmake", "--build", build.dir, "-j", JOBS]
    for t in targets:
        cmd += ["--target", t]
    log = os.path.join(build.dir, "build.log")
    with open(log, "w") as out:
        ok = sh(cmd + ["--", "-k"], stdout=out, stderr=subprocess.STDOUT) == 0
    if not ok:
        print(f"zeb: some of {build.name} did not build; the compiler's messages are in {log}", flush=True)
    return ok


def build_host_tool():
    host = PLATFORMS["host"][0]
    configure(host)
    if sh(["cmake", "--build", host.dir, "-j", JOBS, "--target", "zeb-lower", "zebseh"],
          stdout=subprocess.DEVNULL) != 0:
        sys.exit("zeb: building the lowering tool failed")
    return host


def run_ctest(build, regex=None, labels=None, quiet=False):
    shutil.rmtree(build.results, ignore_errors=True)
    cmd = ["ctest", "--test-dir", build.dir, "-j", JOBS, "--output-on-failure"]
    if labels:
        cmd += ["-L", labels]
    if regex:
        cmd += ["-R", regex]
    if quiet:
        cmd += ["-Q"]
    cmd += ["--output-junit", os.path.join(build.dir, "ctest-junit.xml")]
    return sh(cmd)


def run_platform(platform, regex=None):
    """Builds and runs the programs of one platform; returns their results."""
    packages.ensure(platform)
    results = []
    for build in PLATFORMS[platform]:
        print(f"zeb: building {build.name} ...", flush=True)
        compile_build(build, ["programs"])
        run_ctest(build, regex=regex, labels=SUITE_LABELS, quiet=True)
        results += report.load_results(build.results)
    results.sort(key=lambda r: r["name"])
    return results


def cmd_run(args):
    os.environ["ZEB_TIMEOUT"] = str(args.timeout)
    results = run_platform(args.platform, args.regex)
    if not results:
        print(f"zeb: no program matches '{args.regex}'" if args.regex else "zeb: no program was run")
    print(report.table(results, args.platform))
    if args.junit:
        report.write_junit(results, args.junit, args.platform)
    print(report.closing(results))
    passed, failed, _ = report.counts(results)
    return 0 if failed == 0 and results else 1


def cmd_test(args):
    """The project's own tests: the layer's unit tests and the whole suite on
    the host and on ARM, the compile check of the sources, and the suite on
    Wine (expected failures allowed, unexpected results not)."""
    packages.ensure("host", "arm", "wine", "check-sources")
    started = time.monotonic()
    failures = []
    for platform in ("host", "arm", "wine"):
        for build in PLATFORMS[platform]:
            step = time.monotonic()
            print(f"== {build.name}: build", flush=True)
            # On Wine some programs are known not to build (their tests say
            # so, as expected failures); elsewhere everything must build.
            if not compile_build(build) and platform != "wine":
                failures.append(f"{build.name}: build")
            print(f"== {build.name}: tests", flush=True)
            if run_ctest(build) != 0:
                failures.append(f"{build.name}: tests")
            print(f"== {build.name}: {time.monotonic() - step:.0f} s", flush=True)
    print("== check-sources", flush=True)
    if check_sources.main() != 0:
        failures.append("check-sources")
    print(f"zeb test: {time.monotonic() - started:.0f} s")
    for f in failures:
        print(f"zeb test: FAILED {f}")
    return 1 if failures else 0


def cmd_check_sources(args):
    packages.ensure("check-sources")
    return check_sources.main()


def cmd_matrix(args):
    platforms = [p for p in args.platforms.split(",") if p]
    for p in platforms:
        if p not in PLATFORMS:
            sys.exit(f"zeb: unknown platform '{p}'")
    by_platform = {p: run_platform(p) for p in platforms}
    text = matrix.markdown(by_platform)
    print(text)
    if args.output:
        with open(args.output, "w") as f:
            f.write(text + "\n")
    if args.update_readme:
        matrix.update_readme(os.path.join(ROOT, "README.md"), text)
    return 0


def cmd_cc(args):
    packages.ensure("host")
    host = build_host_tool()
    cmd = [sys.executable, os.path.join(ROOT, "platform", "cc", "zeb_cc.py"), args.source, "-o", args.output,
           "--lower", os.path.join(host.dir, "platform", "zeb-lower"),
           "--runtime", os.path.join(host.dir, "platform", "libzebseh.a")]
    cmd += [f"-I{d}" for d in args.includes] + [f"-D{d}" for d in args.defines]
    return sh(cmd)


def fuzz_target(platform):
    """The fuzzer's view of a platform: build one source, run one program."""
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "fuzz"))
    import targets
    if platform == "host":
        packages.ensure("host")
        return targets.host(ROOT, build_host_tool().dir)
    if platform == "arm":
        packages.ensure("arm")
        host = build_host_tool()
        arm32 = PLATFORMS["arm"][0]
        configure(arm32)
        if sh(["cmake", "--build", arm32.dir, "-j", JOBS, "--target", "zebseh"], stdout=subprocess.DEVNULL) != 0:
            sys.exit("zeb: building the ARM run-time failed")
        return targets.arm(ROOT, host.dir, arm32.dir)
    if platform == "wine":
        packages.ensure("wine")
        return targets.wine(os.path.join(ROOT, "build", "fuzz", "wineprefix"))
    sys.exit(f"zeb: unknown platform '{platform}'")


def cmd_fuzz(args):
    if args.count < 0 or args.jobs < 1:
        sys.exit("zeb: --count must be 0 or more and --jobs 1 or more")
    if args.keep:
        try:
            os.makedirs(args.keep, exist_ok=True)
        except OSError as e:
            sys.exit(f"zeb: cannot write reduced programs to {args.keep}: {e.strerror}")
    target = fuzz_target(args.platform)
    import known
    import runner
    try:
        target.known = known.load(args.platform)
    except ValueError as e:
        sys.exit(f"zeb: {e}")
    new = runner.fuzz(target, args.count, args.seed, jobs=args.jobs, keep=args.keep, known=target.known,
                      reduce_tries=args.reduce_tries)
    return 1 if new else 0


def main(argv):
    p = argparse.ArgumentParser(prog="zeb", description="exception-handling conformance suite")
    sub = p.add_subparsers(dest="command", required=True)
    r = sub.add_parser("run", help="build and run the suite's programs")
    r.add_argument("--platform", choices=sorted(PLATFORMS), default="host")
    r.add_argument("--junit", help="also write JUnit XML here")
    r.add_argument("--timeout", type=float, default=10.0, help="seconds before a program counts as hung")
    r.add_argument("regex", nargs="?", help="run only the programs whose name matches")
    sub.add_parser("test", help="the project's own tests")
    c = sub.add_parser("cc", help="build one source in the dialect into a program")
    c.add_argument("source")
    c.add_argument("-o", dest="output", required=True)
    c.add_argument("-I", dest="includes", action="append", default=[])
    c.add_argument("-D", dest="defines", action="append", default=[])
    sub.add_parser("check-sources", help="compile every source for Windows on ARM64 with clang")
    m = sub.add_parser("matrix", help="results of every program on several platforms, as Markdown")
    m.add_argument("--platforms", default="host,arm,wine")
    m.add_argument("--output", help="also write the Markdown here")
    m.add_argument("--update-readme", action="store_true", help="put the matrix into README.md")
    f = sub.add_parser("fuzz", help="random programs run on a platform and compared with the model")
    f.add_argument("--platform", choices=sorted(PLATFORMS), default="host")
    f.add_argument("--count", type=int, default=100, help="programs to run (default 100)")
    f.add_argument("--seed", type=int, default=1, help="seed of the first program; program i has seed+i")
    f.add_argument("--jobs", type=int, default=int(JOBS), help="programs built and run at once")
    f.add_argument("--keep", help="write each reduced program that differs here")
    f.add_argument("--reduce-tries", type=int, default=300, help="builds spent reducing one difference")
    args = p.parse_args(argv)
    return {"fuzz": cmd_fuzz, "run": cmd_run, "test": cmd_test, "cc": cmd_cc, "check-sources": cmd_check_sources,
            "matrix": cmd_matrix}[args.command](args)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
