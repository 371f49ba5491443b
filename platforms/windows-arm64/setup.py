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

    setup.py BUILD_DIR

Each step is done once; a second run only checks.  The Wine comes from
Debian 13 (trixie): Debian 12's arm64 Wine 8.0 has no C++ exception support
on ARM64 (its __CxxFrameHandler is a stub that says "not implemented"), and
its DLLs are ELF objects, not the platform's PE images.
"""
import glob
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SUITE = "trixie"
PACKAGES = ["wine64", "libwine"]
# qemu-user 7.2's default CPU ("max") makes Wine 10 die at start-up on an
# illegal instruction; an ARMv8.0 core runs it.
QEMU = ["qemu-aarch64", "-cpu", "cortex-a72"]
MINGW_INCLUDE = "/usr/x86_64-w64-mingw32/include"
AEDEBUG = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug"


def say(text):
    print(f"zeb: windows-arm64: {text}", flush=True)


def run(cmd, **kw):
    r = subprocess.run(cmd, **kw)
    if r.returncode != 0:
        sys.exit(f"zeb: windows-arm64: failed ({r.returncode}): {' '.join(cmd)}")
    return r


def debian_mirror():
    """The host's Debian mirror, so that a machine with a local mirror uses it."""
    sources = (["/etc/apt/sources.list"] + sorted(glob.glob("/etc/apt/sources.list.d/*.sources")) +
               sorted(glob.glob("/etc/apt/sources.list.d/*.list")))
    for path in sources:
        try:
            with open(path) as f:
                lines = f.read().splitlines()
        except OSError:
            continue
        for line in lines:
            # "URIs: http://..." in deb822 files, "deb [options] http://... suite" in one-line ones
            words = line.split()
            if words[:1] not in (["URIs:"], ["deb"]):
                continue
            for uri in words[1:]:
                if "://" in uri and uri.rstrip("/").endswith("/debian"):
                    return uri.rstrip("/")
    return "http://deb.debian.org/debian"


def fetch_sysroot(build):
    """Downloads the closure of Wine's arm64 packages with a private apt
    configuration (its own architecture, lists, cache and an empty status
    file, so apt takes nothing as installed) and extracts each package."""
    sysroot = os.path.join(build, "sysroot")
    stamp = os.path.join(sysroot, ".made")
    if os.path.exists(stamp):
        return sysroot
    apt = os.path.join(build, "apt")
    shutil.rmtree(apt, ignore_errors=True)
    shutil.rmtree(sysroot, ignore_errors=True)
    for d in ("lists/partial", "cache/archives/partial", "sources"):
        os.makedirs(os.path.join(apt, d))
    open(os.path.join(apt, "status"), "w").close()
    with open(os.path.join(apt, "sources", "debian.sources"), "w") as f:
        f.write(f"Types: deb\nURIs: {debian_mirror()}\nSuites: {SUITE}\nComponents: main\n"
                "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg\n")
    conf = os.path.join(apt, "apt.conf")
    with open(conf, "w") as f:
        f.write(f'''APT::Architecture "arm64";
APT::Architectures {{ "arm64"; }};
APT::Install-Recommends "false";
Dir::State "{apt}";
Dir::State::Lists "{apt}/lists";
Dir::State::status "{apt}/status";
Dir::Cache "{apt}/cache";
Dir::Etc::SourceList "/dev/null";
Dir::Etc::SourceParts "{apt}/sources";
Dir::Etc::Preferences "/dev/null";
Dir::Etc::PreferencesParts "/dev/null";
''')
    env = dict(os.environ, APT_CONFIG=conf, DEBIAN_FRONTEND="noninteractive")
    say(f"fetching Debian {SUITE}'s arm64 Wine ({', '.join(PACKAGES)} and their dependencies)")
    quiet = dict(stdout=subprocess.DEVNULL)
    run(["apt-get", "update", "-q"], env=env, **quiet)
    run(["apt-get", "install", "-q", "-y", "--download-only"] + PACKAGES, env=env, **quiet)
    debs = sorted(glob.glob(os.path.join(apt, "cache", "archives", "*.deb")))
    say(f"extracting {len(debs)} packages into {sysroot}")
    os.makedirs(sysroot)
    for deb in debs:
        run(["dpkg-deb", "-x", deb, sysroot])
    # Debian 13 ships /lib, /bin and /sbin only as links to /usr (base-files
    # makes them), and the arm64 loader is found through /lib.
    for d in ("lib", "bin", "sbin"):
        if not os.path.lexists(os.path.join(sysroot, d)):
            os.symlink(os.path.join("usr", d), os.path.join(sysroot, d))
    shutil.rmtree(os.path.join(apt, "cache"), ignore_errors=True)
    open(stamp, "w").close()
    return sysroot


def write_launchers(sysroot):
    """Wine starts its server and each new process by running
    $bindir/wineserver and $bindir/wine64-preloader; with no binfmt handler
    for arm64 those must go through qemu themselves.  Rewritten every time,
    so that a moved checkout still works."""
    bindir = os.path.join(sysroot, "usr", "lib", "wine")
    qemu = " ".join(QEMU)
    scripts = {
        "wine64-preloader": f'exec {qemu} -L "{sysroot}" "$@"\n',
        "wineserver": f'exec {qemu} -L "{sysroot}" "{bindir}/wineserver64" "$@"\n',
    }
    for name, body in scripts.items():
        path = os.path.join(bindir, name)
        if os.path.lexists(path):
            os.remove(path)
        with open(path, "w") as f:
            f.write("#!/bin/sh\n# Made by the windows-arm64 setup: runs Wine's arm64 binary under qemu-user.\n" + body)
        os.chmod(path, 0o755)


def import_libraries(build):
    lib = os.path.join(build, "lib")
    os.makedirs(lib, exist_ok=True)
    for d in sorted(glob.glob(os.path.join(HERE, "imports", "*.def"))):
        name = os.path.splitext(os.path.basename(d))[0]
        out = os.path.join(lib, f"lib{name}.a")
        if not os.path.exists(out) or os.path.getmtime(out) < os.path.getmtime(d):
            run(["llvm-dlltool-19", "-m", "arm64", "-d", d, "-l", out])


C_FLAGS = ["--target=aarch64-w64-mingw32", "-fms-extensions", "-Wall", "-Wextra", "-O1",
           "-isystem", os.path.join(HERE, "include"), "-isystem", MINGW_INCLUDE,
           "-D__MSVCRT_VERSION__=0x700", "-D__USE_MINGW_ANSI_STDIO=0"]
# The C++ support is compiled for the msvc target, like the C++ programs,
# so that its thread-local variable is reached the way their code reaches it.
SUPPORT_FLAGS = ["--target=aarch64-pc-windows-msvc", "-Wall", "-Wextra", "-O1"]


def runtime_objects(build):
    crt = os.path.join(build, "crt")
    os.makedirs(crt, exist_ok=True)
    for source, flags in (("start.c", C_FLAGS), ("support.c", SUPPORT_FLAGS)):
        src = os.path.join(HERE, "crt", source)
        out = os.path.join(crt, source.replace(".c", ".o"))
        if not os.path.exists(out) or os.path.getmtime(out) < os.path.getmtime(src):
            run(["clang-19"] + flags + ["-c", src, "-o", out])


def wine_prefix(build, sysroot):
    prefix = os.path.join(build, "wineprefix")
    stamp = os.path.join(prefix, ".made")
    if os.path.exists(stamp):
        return
    shutil.rmtree(prefix, ignore_errors=True)
    os.makedirs(prefix)
    say(f"making the Wine prefix {prefix} (about 15 s under emulation)")
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", WINELOADERNOEXEC="1")
    wine = QEMU + ["-L", sysroot, os.path.join(sysroot, "usr", "lib", "wine", "wine64")]
    quiet = dict(env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    run(wine + ["wineboot", "--init"], **quiet)
    # No debugger: an unhandled exception ends the process with its code, as
    # on a Windows machine with none configured, instead of starting winedbg.
    run(wine + ["reg", "add", AEDEBUG, "/v", "Debugger", "/d", "none", "/f"], **quiet)
    run(wine + ["reg", "add", AEDEBUG, "/v", "Auto", "/d", "1", "/f"], **quiet)
    run([os.path.join(sysroot, "usr", "lib", "wine", "wineserver"), "-w"], **quiet)
    open(stamp, "w").close()


def main(argv):
    if len(argv) != 1:
        sys.exit("usage: setup.py BUILD_DIR")
    build = os.path.abspath(argv[0])
    os.makedirs(build, exist_ok=True)
    sysroot = fetch_sysroot(build)
    write_launchers(sysroot)
    import_libraries(build)
    runtime_objects(build)
    wine_prefix(build, sysroot)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
