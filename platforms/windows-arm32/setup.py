#!/usr/bin/env python3
"""Makes everything the windows-arm32 platform needs, under its build folder:

    sysroot/      Debian 13's armhf Wine and what it depends on, extracted (no
                  maintainer scripts, the host's dpkg untouched), with two
                  small scripts that start Wine's child processes and server
                  under qemu-arm
    lib/          import libraries for kernel32.dll and msvcrt.dll (32-bit
                  ARM), made from the lists windows-arm64 uses
    crt/          the start-up and the C support, compiled for armv7
    wineprefix/   a private Wine prefix
    xdg-runtime/  the private XDG_RUNTIME_DIR the platform file gives Wine

    setup.py BUILD_DIR --clang CLANG --dlltool DLLTOOL --qemu QEMU_ARM

Each step is done once; a second run only checks.  The tools are named by
the platform file: clang-19 refuses __try for 32-bit ARM Windows, and armhf
Wine 10 does not start under Debian 12's qemu-arm 7.2.
"""
import argparse
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
PLATFORMS = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(PLATFORMS, "debian"))
import packages  # noqa: E402
import wine_sysroot  # noqa: E402

SUITE = "trixie"
PACKAGES = ["wine32", "libwine"]
MINGW_INCLUDE = "/usr/x86_64-w64-mingw32/include"
WHAT = "windows-arm32"


def say(text):
    print(f"zeb: {WHAT}: {text}", flush=True)


def run(cmd, **kw):
    return packages.run(cmd, WHAT, **kw)


C_FLAGS = ["--target=armv7-w64-mingw32", "-fms-extensions", "-Wall", "-Wextra", "-O1",
           "-isystem", os.path.join(PLATFORMS, "windows-arm64", "include"), "-isystem", MINGW_INCLUDE,
           "-D__MSVCRT_VERSION__=0x700", "-D__USE_MINGW_ANSI_STDIO=0"]
SOURCES = {"start.o": os.path.join(PLATFORMS, "windows-arm64", "crt", "start.c"),
           "support.o": os.path.join(HERE, "crt", "support.c")}


def runtime_objects(build, clang):
    crt = os.path.join(build, "crt")
    os.makedirs(crt, exist_ok=True)
    for obj, src in SOURCES.items():
        out = os.path.join(crt, obj)
        if not os.path.exists(out) or os.path.getmtime(out) < os.path.getmtime(src):
            run([clang] + C_FLAGS + ["-c", src, "-o", out])


def main(argv):
    parser = argparse.ArgumentParser(prog="setup.py")
    parser.add_argument("build")
    parser.add_argument("--clang", required=True)
    parser.add_argument("--dlltool", required=True)
    parser.add_argument("--qemu", required=True)
    args = parser.parse_args(argv)
    build = os.path.abspath(args.build)
    os.makedirs(build, exist_ok=True)
    sysroot = os.path.join(build, "sysroot")
    if not os.path.exists(os.path.join(sysroot, ".made")):
        say(f"fetching Debian {SUITE}'s armhf Wine ({', '.join(PACKAGES)} and their dependencies)")
    packages.fetch(os.path.join(build, "apt"), sysroot, SUITE, "armhf", PACKAGES, WHAT)
    qemu = [os.path.abspath(args.qemu)]
    wine_sysroot.write_launchers(sysroot, qemu, "wine-preloader", "wineserver32", WHAT)
    wine_sysroot.import_libraries(build, args.dlltool, "arm", os.path.join(PLATFORMS, "windows-arm64", "imports"),
                                  WHAT)
    runtime_objects(build, args.clang)
    wine_sysroot.runtime_dir(build)
    wine = qemu + ["-L", sysroot, os.path.join(sysroot, "usr", "lib", "wine", "wine")]
    wine_sysroot.wine_prefix(build, sysroot, wine, WHAT, say)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
