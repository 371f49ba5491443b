"""Debian packages fetched into a folder of their own: a private apt
configuration (its own architecture, lists, cache and an empty status file,
so that apt takes nothing as installed and the host's dpkg is not touched)
downloads a set of packages and what they depend on, and each is extracted
without its maintainer scripts."""
import glob
import os
import shutil
import subprocess
import sys


def run(cmd, what, **kw):
    r = subprocess.run(cmd, **kw)
    if r.returncode != 0:
        sys.exit(f"zeb: {what}: failed ({r.returncode}): {' '.join(cmd)}")
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


def fetch(apt, sysroot, suite, arch, packages, what):
    """Downloads PACKAGES of Debian SUITE for ARCH and their dependencies
    (apt's own folders in APT) and extracts them into SYSROOT; done once,
    a stamp in SYSROOT says so.  Returns the number of packages and their
    size in bytes, or None when they were there already."""
    stamp = os.path.join(sysroot, ".made")
    if os.path.exists(stamp):
        return None
    shutil.rmtree(apt, ignore_errors=True)
    shutil.rmtree(sysroot, ignore_errors=True)
    for d in ("lists/partial", "cache/archives/partial", "sources"):
        os.makedirs(os.path.join(apt, d))
    open(os.path.join(apt, "status"), "w").close()
    with open(os.path.join(apt, "sources", "debian.sources"), "w") as f:
        f.write(f"Types: deb\nURIs: {debian_mirror()}\nSuites: {suite}\nComponents: main\n"
                "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg\n")
    conf = os.path.join(apt, "apt.conf")
    with open(conf, "w") as f:
        f.write(f'''APT::Architecture "{arch}";
APT::Architectures {{ "{arch}"; }};
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
    quiet = dict(stdout=subprocess.DEVNULL)
    run(["apt-get", "update", "-q"], what, env=env, **quiet)
    run(["apt-get", "install", "-q", "-y", "--download-only"] + list(packages), what, env=env, **quiet)
    debs = sorted(glob.glob(os.path.join(apt, "cache", "archives", "*.deb")))
    size = sum(os.path.getsize(d) for d in debs)
    print(f"zeb: {what}: extracting {len(debs)} packages ({size / 1e6:.0f} MB) into {sysroot}", flush=True)
    os.makedirs(sysroot)
    for deb in debs:
        run(["dpkg-deb", "-x", deb, sysroot], what)
    # Debian 13 and later ship /lib, /bin and /sbin only as links to /usr
    # (base-files makes them), and the loaders are found through /lib.
    for d in ("lib", "bin", "sbin"):
        if not os.path.lexists(os.path.join(sysroot, d)):
            os.symlink(os.path.join("usr", d), os.path.join(sysroot, d))
    shutil.rmtree(os.path.join(apt, "cache"), ignore_errors=True)
    open(stamp, "w").close()
    return len(debs), size
