#!/usr/bin/env python3
"""Makes everything the windows-arm64 platform needs, under its build folder:

    sysroot/      Debian's arm64 Wine and what it depends on, extracted (no
                  maintainer scripts, the host's dpkg untouched), with two
                  small scripts that start Wine's child processes and server
                  under qemu-aarch64
    lib/          import libraries for kernel32.dll and msvcrt.dll, made
                  from the .def lists in imports/
    crt/          the start-up and the C++ support, compiled
    wineprefix/   a private Wine prefix

    setup.py BUILD_DIR [--clang CLANG] [--dlltool DLLTOOL] [--qemu QEMU]

The tools are Debian 12's clang-19, llvm-dlltool-19 and qemu-aarch64 unless
others are named (a platform file that picks newer versions).

Each step is done once; a second run only checks.  The Wine comes from
Debian 13 (trixie): Debian 12's arm64 Wine 8.0 has no C++ exception support
on ARM64 (its __CxxFrameHandler is a stub that says "not implemented"), and
its DLLs are ELF objects, not the platform's PE images.
"""
import argparse
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "debian"))
import packages  # noqa: E402
import wine_sysroot  # noqa: E402
SUITE = "trixie"
PACKAGES = ["wine64", "libwine"]
# qemu-user 7.2's default CPU ("max") makes Wine 10 die at start-up on an
# illegal instruction; an ARMv8.0 core runs it.
QEMU = ["qemu-aarch64", "-cpu", "cortex-a72"]
MINGW_INCLUDE = "/usr/x86_64-w64-mingw32/include"


def say(text):
    print(f"zeb: windows-arm64: {text}", flush=True)


def run(cmd, **kw):
    return packages.run(cmd, "windows-arm64", **kw)


def fetch_sysroot(build):
    """Debian 13's arm64 Wine and what it depends on, in sysroot/."""
    sysroot = os.path.join(build, "sysroot")
    if not os.path.exists(os.path.join(sysroot, ".made")):
        say(f"fetching Debian {SUITE}'s arm64 Wine ({', '.join(PACKAGES)} and their dependencies)")
    packages.fetch(os.path.join(build, "apt"), sysroot, SUITE, "arm64", PACKAGES, "windows-arm64")
    return sysroot


C_FLAGS = ["--target=aarch64-w64-mingw32", "-fms-extensions", "-Wall", "-Wextra", "-O1",
           "-isystem", os.path.join(HERE, "include"), "-isystem", MINGW_INCLUDE,
           "-D__MSVCRT_VERSION__=0x700", "-D__USE_MINGW_ANSI_STDIO=0"]
# The C++ support is compiled for the msvc target, like the C++ programs,
# so that its thread-local variable is reached the way their code reaches it.
SUPPORT_FLAGS = ["--target=aarch64-pc-windows-msvc", "-Wall", "-Wextra", "-O1"]


def runtime_objects(build, clang):
    crt = os.path.join(build, "crt")
    os.makedirs(crt, exist_ok=True)
    for source, flags in (("start.c", C_FLAGS), ("support.c", SUPPORT_FLAGS)):
        src = os.path.join(HERE, "crt", source)
        out = os.path.join(crt, source.replace(".c", ".o"))
        if not os.path.exists(out) or os.path.getmtime(out) < os.path.getmtime(src):
            run([clang] + flags + ["-c", src, "-o", out])


def main(argv):
    parser = argparse.ArgumentParser(prog="setup.py")
    parser.add_argument("build")
    parser.add_argument("--clang", default="clang-19")
    parser.add_argument("--dlltool", default="llvm-dlltool-19")
    parser.add_argument("--qemu", default=QEMU[0])
    args = parser.parse_args(argv)
    build = os.path.abspath(args.build)
    os.makedirs(build, exist_ok=True)
    sysroot = fetch_sysroot(build)
    qemu = [args.qemu] + QEMU[1:]
    wine_sysroot.write_launchers(sysroot, qemu, "wine64-preloader", "wineserver64", "windows-arm64")
    wine_sysroot.import_libraries(build, args.dlltool, "arm64", os.path.join(HERE, "imports"), "windows-arm64")
    runtime_objects(build, args.clang)
    wine = qemu + ["-L", sysroot, os.path.join(sysroot, "usr", "lib", "wine", "wine64")]
    wine_sysroot.wine_prefix(build, sysroot, wine, "windows-arm64", say)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
