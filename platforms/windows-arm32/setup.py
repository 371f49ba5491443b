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

    setup.py BUILD_DIR --clang CLANG --dlltool DLLTOOL --qemu QEMU_ARM

Each step is done once; a second run only checks.  The tools are named by
the platform file: clang-19 refuses __try for 32-bit ARM Windows, and armhf
Wine 10 does not start under Debian 12's qemu-arm 7.2.
"""
import argparse
import glob
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
PLATFORMS = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(PLATFORMS, "debian"))
import packages  # noqa: E402

SUITE = "trixie"
PACKAGES = ["wine32", "libwine"]
MINGW_INCLUDE = "/usr/x86_64-w64-mingw32/include"
AEDEBUG = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug"
WHAT = "windows-arm32"


def say(text):
    print(f"zeb: {WHAT}: {text}", flush=True)


def run(cmd, **kw):
    return packages.run(cmd, WHAT, **kw)


def write_launchers(sysroot, qemu):
    """Wine starts its server and each new process by running
    $bindir/wineserver and $bindir/wine-preloader; with no binfmt handler
    for armhf those must go through qemu themselves.  Rewritten every time,
    so that a moved checkout still works."""
    bindir = os.path.join(sysroot, "usr", "lib", "wine")
    scripts = {
        "wine-preloader": f'exec "{qemu}" -L "{sysroot}" "$@"\n',
        "wineserver": f'exec "{qemu}" -L "{sysroot}" "{bindir}/wineserver32" "$@"\n',
    }
    for name, body in scripts.items():
        path = os.path.join(bindir, name)
        if os.path.lexists(path):
            os.remove(path)
        with open(path, "w") as f:
            f.write("#!/bin/sh\n# Made by the windows-arm32 setup: runs Wine's armhf binary under qemu-user.\n" + body)
        os.chmod(path, 0o755)


def import_libraries(build, dlltool):
    lib = os.path.join(build, "lib")
    os.makedirs(lib, exist_ok=True)
    for d in sorted(glob.glob(os.path.join(PLATFORMS, "windows-arm64", "imports", "*.def"))):
        name = os.path.splitext(os.path.basename(d))[0]
        out = os.path.join(lib, f"lib{name}.a")
        if not os.path.exists(out) or os.path.getmtime(out) < os.path.getmtime(d):
            run([dlltool, "-m", "arm", "-d", d, "-l", out])


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


def wine_prefix(build, sysroot, qemu):
    prefix = os.path.join(build, "wineprefix")
    stamp = os.path.join(prefix, ".made")
    if os.path.exists(stamp):
        return
    shutil.rmtree(prefix, ignore_errors=True)
    os.makedirs(prefix)
    say(f"making the Wine prefix {prefix} (about 20 s under emulation)")
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", WINELOADERNOEXEC="1")
    wine = [qemu, "-L", sysroot, os.path.join(sysroot, "usr", "lib", "wine", "wine")]
    quiet = dict(env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    run(wine + ["wineboot", "--init"], **quiet)
    # No debugger: an unhandled exception ends the process with its code, as
    # on a Windows machine with none configured, instead of starting winedbg.
    run(wine + ["reg", "add", AEDEBUG, "/v", "Debugger", "/d", "none", "/f"], **quiet)
    run(wine + ["reg", "add", AEDEBUG, "/v", "Auto", "/d", "1", "/f"], **quiet)
    run([os.path.join(sysroot, "usr", "lib", "wine", "wineserver"), "-w"], **quiet)
    open(stamp, "w").close()


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
    write_launchers(sysroot, os.path.abspath(args.qemu))
    import_libraries(build, args.dlltool)
    runtime_objects(build, args.clang)
    wine_prefix(build, sysroot, os.path.abspath(args.qemu))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
