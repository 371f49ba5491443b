"""The steps that make a foreign-architecture Wine usable from its sysroot,
shared by the Windows-on-ARM platforms' setups: launchers that run its
binaries under qemu-user, import libraries made from .def lists, and a
private prefix with no debugger."""
import glob
import os
import shlex
import shutil
import subprocess

import packages

AEDEBUG = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug"


def write_launchers(sysroot, qemu, preloader, server, what):
    """Wine starts its server and each new process by running
    $bindir/wineserver and $bindir/PRELOADER; with no binfmt handler for the
    architecture those must go through qemu (the command QEMU, a list)
    themselves.  Rewritten every time, so that a moved checkout still works."""
    bindir = os.path.join(sysroot, "usr", "lib", "wine")
    emulator = " ".join(shlex.quote(w) for w in qemu)
    scripts = {
        preloader: f'exec {emulator} -L "{sysroot}" "$@"\n',
        "wineserver": f'exec {emulator} -L "{sysroot}" "{bindir}/{server}" "$@"\n',
    }
    for name, body in scripts.items():
        path = os.path.join(bindir, name)
        if os.path.lexists(path):
            os.remove(path)
        with open(path, "w") as f:
            f.write(f"#!/bin/sh\n# Made by the {what} setup: runs Wine's binary under qemu-user.\n" + body)
        os.chmod(path, 0o755)


def import_libraries(build, dlltool, machine, imports, what):
    """lib/libNAME.a for each IMPORTS/NAME.def, made by llvm-dlltool for
    MACHINE when the list is newer."""
    lib = os.path.join(build, "lib")
    os.makedirs(lib, exist_ok=True)
    for d in sorted(glob.glob(os.path.join(imports, "*.def"))):
        name = os.path.splitext(os.path.basename(d))[0]
        out = os.path.join(lib, f"lib{name}.a")
        if not os.path.exists(out) or os.path.getmtime(out) < os.path.getmtime(d):
            packages.run([dlltool, "-m", machine, "-d", d, "-l", out], what)


def runtime_dir(build):
    """BUILD/xdg-runtime, private to the user (mode 0700), for the
    platform's XDG_RUNTIME_DIR: without a valid one Wine's first line on
    stderr is "XDG_RUNTIME_DIR is invalid", ahead of whatever the program or
    the emulator reports, whether or not the caller's session has one."""
    path = os.path.join(build, "xdg-runtime")
    os.makedirs(path, exist_ok=True)
    os.chmod(path, 0o700)
    return path


def wine_prefix(build, sysroot, wine, what, say):
    """A private prefix, made once with WINE (the command that runs Wine's
    loader, a list) and no debugger: an unhandled exception ends the
    process with its code, as on a Windows machine with none configured,
    instead of starting winedbg."""
    prefix = os.path.join(build, "wineprefix")
    stamp = os.path.join(prefix, ".made")
    if os.path.exists(stamp):
        return
    shutil.rmtree(prefix, ignore_errors=True)
    os.makedirs(prefix)
    say(f"making the Wine prefix {prefix} (about 20 s under emulation)")
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", WINELOADERNOEXEC="1")
    quiet = dict(env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    packages.run(wine + ["wineboot", "--init"], what, **quiet)
    packages.run(wine + ["reg", "add", AEDEBUG, "/v", "Debugger", "/d", "none", "/f"], what, **quiet)
    packages.run(wine + ["reg", "add", AEDEBUG, "/v", "Auto", "/d", "1", "/f"], what, **quiet)
    packages.run([os.path.join(sysroot, "usr", "lib", "wine", "wineserver"), "-w"], what, **quiet)
    open(stamp, "w").close()
