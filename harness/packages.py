"""Debian packages that platforms need, and installing what is missing."""
import os
import subprocess
import sys

# What the compile check of the sources needs; each platform's file lists
# what it needs itself (`packages`).
CHECK_SOURCES = ["clang-19", "mingw-w64-x86-64-dev"]


def missing(packages):
    out = subprocess.run(["dpkg-query", "-W", "-f", "${Package} ${db:Status-Status}\n"] + packages,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
    installed = {line.split()[0] for line in out.splitlines() if line.endswith(" installed")}
    return [p for p in packages if p not in installed]


def ensure(wanted):
    """Installs the Debian packages WANTED (as root), or says how and stops."""
    absent = missing(wanted) if wanted else []
    if not absent:
        return
    command = "apt-get install -y " + " ".join(absent)
    if os.geteuid() != 0:
        sys.exit(f"zeb: missing packages; install them with:\n  sudo apt-get update && sudo {command}")
    print(f"zeb: installing {' '.join(absent)}", flush=True)
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    subprocess.run(["apt-get", "update", "-q"], check=True, env=env)
    subprocess.run(["apt-get", "install", "-y", "-q"] + absent, check=True, env=env)
