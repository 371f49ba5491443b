#!/usr/bin/env python3
"""Newer tools than Debian 12 has, from Debian unstable, for the platform
files that choose them:

    unstable-tools.py FOLDER

makes FOLDER/sysroot (the packages and what they depend on, extracted) and
FOLDER/bin (clang-23, clang++-23, llvm-dlltool-23, llvm-objdump-23,
qemu-aarch64, qemu-arm).  Unstable's clang needs a newer C library than
Debian 12's, so its programs are set to the sysroot's own dynamic loader and
libraries; qemu-user is a static program and runs as it is.  Done once; a
second run only checks.
"""
import glob
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import packages  # noqa: E402

SUITE = "unstable"
LLVM = 23
PACKAGES = [f"clang-{LLVM}", f"lld-{LLVM}", f"llvm-{LLVM}", "qemu-user", "patchelf"]
# The programs the platforms run, and the names they have in bin/.
LLVM_BIN = f"usr/lib/llvm-{LLVM}/bin"
LINKS = {f"clang-{LLVM}": f"{LLVM_BIN}/clang", f"clang++-{LLVM}": f"{LLVM_BIN}/clang++",
         f"llvm-dlltool-{LLVM}": f"{LLVM_BIN}/llvm-dlltool", f"llvm-objdump-{LLVM}": f"{LLVM_BIN}/llvm-objdump",
         "qemu-aarch64": "usr/bin/qemu-aarch64", "qemu-arm": "usr/bin/qemu-arm"}
# The dynamically linked ones, whose loader and library path are set.
PATCHED = [f"{LLVM_BIN}/clang", f"{LLVM_BIN}/lld", f"{LLVM_BIN}/llvm-ar", f"{LLVM_BIN}/llvm-objdump"]
WHAT = "unstable tools"


def readelf_has_runpath(path):
    r = subprocess.run(["readelf", "-d", path], capture_output=True, text=True)
    return r.returncode == 0 and "(RUNPATH)" in r.stdout


def set_loader(sysroot):
    """Each program runs with the sysroot's loader, and it and every library
    it loads find their libraries in the sysroot: DT_RPATH, which (unlike
    the RUNPATH Debian's LLVM libraries have) also serves the libraries
    loaded on their behalf."""
    loader = os.path.join(sysroot, "usr/lib/x86_64-linux-gnu/ld-linux-x86-64.so.2")
    libs = ":".join(os.path.join(sysroot, d) for d in ("usr/lib/x86_64-linux-gnu", f"usr/lib/llvm-{LLVM}/lib"))
    patchelf = [loader, "--library-path", libs, os.path.join(sysroot, "usr/bin/patchelf")]
    for program in PATCHED:
        packages.run(patchelf + ["--set-interpreter", loader, "--force-rpath", "--set-rpath", libs,
                                 os.path.join(sysroot, program)], WHAT)
    for lib in glob.glob(os.path.join(sysroot, "usr/lib/x86_64-linux-gnu/lib*.so*")):
        if not os.path.islink(lib) and readelf_has_runpath(lib):
            packages.run(patchelf + ["--force-rpath", "--set-rpath", libs, lib], WHAT)


def main(argv):
    if len(argv) != 1:
        sys.exit("usage: unstable-tools.py FOLDER")
    folder = os.path.abspath(argv[0])
    sysroot = os.path.join(folder, "sysroot")
    stamp = os.path.join(folder, ".made")
    if not os.path.exists(stamp):
        started = time.monotonic()
        print(f"zeb: {WHAT}: fetching Debian {SUITE}'s {', '.join(PACKAGES)} and their dependencies", flush=True)
        # A half-made sysroot is made again from the start.
        if os.path.exists(os.path.join(sysroot, ".made")):
            os.remove(os.path.join(sysroot, ".made"))
        packages.fetch(os.path.join(folder, "apt"), sysroot, SUITE, "amd64", PACKAGES, WHAT)
        set_loader(sysroot)
        open(stamp, "w").close()
        print(f"zeb: {WHAT}: made in {time.monotonic() - started:.0f} s", flush=True)
    bindir = os.path.join(folder, "bin")
    os.makedirs(bindir, exist_ok=True)
    for name, target in LINKS.items():
        link = os.path.join(bindir, name)
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(os.path.join(sysroot, target), link)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
