"""What each platform needs from Debian, and installing what is missing."""
import os
import subprocess
import sys

COMMON = ["cmake", "make", "g++", "python3", "libclang-19-dev", "clang-19", "libgtest-dev", "libbenchmark-dev"]
NEEDS = {
    "host": COMMON,
    "arm": COMMON + ["g++-arm-linux-gnueabihf", "g++-aarch64-linux-gnu", "qemu-user"],
    "wine": COMMON + ["mingw-w64-x86-64-dev", "g++-mingw-w64-x86-64", "wine64"],
    "check-sources": COMMON + ["mingw-w64-x86-64-dev"],
}


def missing(packages):
    out = subprocess.run(["dpkg-query", "-W", "-f", "${Package} ${db:Status-Status}\n"] + packages,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
    installed = {line.split()[0] for line in out.splitlines() if line.endswith(" installed")}
    return [p for p in packages if p not in installed]


def ensure(*platforms):
    """Installs what the platforms need (as root), or says how and stops."""
    wanted = []
    for p in platforms:
        wanted += [x for x in NEEDS[p] if x not in wanted]
    absent = missing(wanted)
    if not absent:
        return
    command = "apt-get install -y " + " ".join(absent)
    if os.geteuid() != 0:
        sys.exit(f"zeb: missing packages; install them with:\n  sudo apt-get update && sudo {command}")
    print(f"zeb: installing {' '.join(absent)}", flush=True)
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    subprocess.run(["apt-get", "update", "-q"], check=True, env=env)
    subprocess.run(["apt-get", "install", "-y", "-q"] + absent, check=True, env=env)
