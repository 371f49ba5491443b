#!/usr/bin/env python3
"""Builds the portable SEH layer with CMake: the lowering tool and the
run-time, for the host and for each ARM architecture.

    cmake_builds.py host|arm32|arm64 ...    build what the platforms' templates use
    cmake_builds.py --all BUILD             everything of BUILD: unit tests, behaviour programs, benchmarks

The compiler's messages go to build/BUILD/build.log.
"""
import fcntl
import os
import subprocess
import sys

from paths import BUILD, ROOT
JOBS = str(max(2, os.cpu_count() or 2))


def build_dir(name):
    return os.path.join(BUILD, name)


def lowering_tool():
    return os.path.join(build_dir("host"), "layer", "zeb-lower")


def runtime(name):
    return os.path.join(build_dir(name), "layer", "libzebseh.a")


def variant_runtime(name, variant):
    """The run-time of build NAME with one variant's behaviour broken (CMake
    target zebseh_VARIANT)."""
    return os.path.join(build_dir(name), "layer", "variants", variant, "libzebseh.a")


def _toolchain(name):
    return f"-DCMAKE_TOOLCHAIN_FILE={os.path.join(ROOT, 'cmake', name + '.cmake')}"


CMAKE_ARGS = {
    "host": ["-DZEB_PLATFORM=host"],
    "arm32": [_toolchain("arm32"), "-DZEB_PLATFORM=arm", f"-DZEB_LOWER={lowering_tool()}"],
    "arm64": [_toolchain("arm64"), "-DZEB_PLATFORM=arm", f"-DZEB_LOWER={lowering_tool()}"],
}
TARGETS = {"host": ["zeb-lower", "zebseh"], "arm32": ["zebseh"], "arm64": ["zebseh"]}


def configure(name):
    folder = build_dir(name)
    if os.path.exists(os.path.join(folder, "CMakeCache.txt")):
        return True
    os.makedirs(folder, exist_ok=True)
    cmd = ["cmake", "-S", ROOT, "-B", folder, "-DCMAKE_BUILD_TYPE=RelWithDebInfo"] + CMAKE_ARGS[name]
    return subprocess.run(cmd, stdout=subprocess.DEVNULL).returncode == 0


def build(name, everything=False):
    """Builds what it can (-k); True when all of it built."""
    if name != "host":
        # A cross build takes its lowering tool from the host build.
        if not build("host"):
            return False
    os.makedirs(BUILD, exist_ok=True)
    # Runs of zeb side by side (shards of one run) build one at a time.
    with open(os.path.join(BUILD, f".{name}.lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not configure(name):
            print(f"zeb: configuring build/{name} failed", file=sys.stderr)
            return False
        cmd = ["cmake", "--build", build_dir(name), "-j", JOBS]
        if not everything:
            for t in TARGETS[name]:
                cmd += ["--target", t]
        log = os.path.join(build_dir(name), "build.log")
        with open(log, "w") as out:
            ok = subprocess.run(cmd + ["--", "-k"], stdout=out, stderr=subprocess.STDOUT).returncode == 0
    if not ok:
        print(f"zeb: some of build/{name} did not build; the compiler's messages are in {log}",
              file=sys.stderr, flush=True)
    return ok


def main(argv):
    everything = "--all" in argv
    names = [a for a in argv if a != "--all"]
    if not names or any(n not in CMAKE_ARGS for n in names):
        sys.exit(__doc__)
    return 0 if all([build(n, everything) for n in names]) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
