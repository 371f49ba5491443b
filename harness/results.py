"""Results files: one run of programs on one platform, kept so that runs
can be compared across tool versions, merged across shards and turned into
the matrix without running anything again.  The format is in the README
("Results files"); `format` changes whenever a reader would misread it.

    {"format": 1,
     "run": {"platform", "platform_file", "platform_file_sha256", "description",
             "zeb_commit", "zeb_modified", "started", "host", "tools": [{"command", "version"}],
             "programs", "regex", "shard", "windows"},
     "results": [{"name", "verdict", "reason", "failure", "known", "status", "stdout",
                  "stderr", "seconds", "attempts"}]}
"""
import datetime
import hashlib
import json
import os
import platform as host_platform
import socket
import subprocess

import process
from paths import ROOT
from verdicts import Verdict

FORMAT = 1
RESULT_KEYS = ("name", "verdict", "reason", "status", "stdout", "seconds", "attempts")
VERSION_TIMEOUT = 60


class ResultsError(Exception):
    """A results file that cannot be read; the message names it."""


def zeb_commit():
    """(commit, modified) of the suite's own tree; (None, None) outside git."""
    try:
        head = subprocess.run(["git", "-C", ROOT, "rev-parse", "HEAD"], capture_output=True, text=True, timeout=30)
        dirty = subprocess.run(["git", "-C", ROOT, "status", "--porcelain", "--untracked-files=no"],
                               capture_output=True, text=True, timeout=30)
    except (OSError, subprocess.TimeoutExpired):
        return None, None
    if head.returncode != 0:
        return None, None
    return head.stdout.strip(), bool(dirty.stdout.strip())


def tool_versions(platform):
    """[{command, version}] for each of the platform's `versions` commands:
    the first line it prints (or why there is none)."""
    tools = []
    env = dict(os.environ, **platform.env())
    for template in platform.versions:
        # The command as the file writes it, so that runs on other machines
        # (other folders) name the same tool the same way.
        command = template
        try:
            o = process.run(platform.command_line(template), VERSION_TIMEOUT, env=env, cwd=platform.build_dir)
            text = (o.stdout or o.stderr).decode("utf-8", "replace").strip().splitlines()
            version = text[0].strip() if text else f"(no output, exit status {o.status})"
            if o.timed_out:
                version = f"(still running after {VERSION_TIMEOUT} s)"
        except OSError as e:
            version = f"(cannot run: {e.strerror})"
        tools.append({"command": command, "version": version})
    return tools


def now():
    return datetime.datetime.now(datetime.timezone.utc).isoformat(timespec="seconds")


def run_info(platform, which="suite", regex=None, shard=None, started=None):
    """What a results file says of its run: platform, suite, host, tools;
    STARTED when the run began (default: now)."""
    commit, modified = zeb_commit()
    try:
        with open(platform.source_path, "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
    except OSError:
        digest = None
    return {
        "platform": platform.name,
        "description": platform.description,
        "platform_file": platform.path,
        "platform_file_sha256": digest,
        "zeb_commit": commit,
        "zeb_modified": modified,
        "started": started or now(),
        "host": {"name": socket.gethostname(), "system": f"{host_platform.system()} {host_platform.release()}",
                 "machine": host_platform.machine()},
        "tools": tool_versions(platform),
        "programs": which,
        "regex": regex,
        "shard": f"{shard[0]}/{shard[1]}" if shard else None,
    }


def stored(result):
    """A result as the file keeps it (the platform is the run's)."""
    return {k: (str(v) if k == "verdict" else v) for k, v in result.items() if k != "platform"}


def write(path, info, results):
    folder = os.path.dirname(os.path.abspath(path))
    os.makedirs(folder, exist_ok=True)
    temporary = path + ".tmp"
    with open(temporary, "w", encoding="utf-8") as f:
        json.dump({"format": FORMAT, "run": info, "results": [stored(r) for r in results]}, f, indent=1)
        f.write("\n")
    os.replace(temporary, path)


def load(path):
    """(run, results) of a results file, each result with its platform;
    raises ResultsError."""
    try:
        with open(path, encoding="utf-8") as f:
            data = json.load(f)
    except OSError as e:
        raise ResultsError(f"{path}: cannot be read: {e.strerror}") from None
    except (ValueError, UnicodeDecodeError) as e:
        raise ResultsError(f"{path}: not a results file (not JSON: {e})") from None
    if not isinstance(data, dict) or "format" not in data:
        raise ResultsError(f"{path}: not a results file (no 'format')")
    if data["format"] != FORMAT:
        raise ResultsError(f"{path}: results format {data['format']!r}; this zeb reads format {FORMAT}")
    run, results = data.get("run"), data.get("results")
    if not isinstance(run, dict) or not isinstance(run.get("platform"), str) or not isinstance(results, list):
        raise ResultsError(f"{path}: not a results file ('run' with its 'platform', and 'results', are needed)")
    names = set()
    for i, r in enumerate(results):
        missing = [k for k in RESULT_KEYS if not isinstance(r, dict) or k not in r]
        if missing:
            raise ResultsError(f"{path}: result {i + 1} lacks {', '.join(missing)}")
        try:
            r["verdict"] = Verdict(r["verdict"])
        except ValueError:
            raise ResultsError(f"{path}: result {r['name']}: unknown verdict {r['verdict']!r}") from None
        if r["name"] in names:
            raise ResultsError(f"{path}: {r['name']} has two results")
        names.add(r["name"])
        r.setdefault("failure", r["reason"])
        r.setdefault("known", "")
        r.setdefault("stderr", "")
        r["platform"] = run["platform"]
    return run, results


def column_name(run):
    """What the matrix and comparisons call a run: its platform, and the
    Windows it ran on where a device runner recorded it."""
    windows = run.get("windows")
    if isinstance(windows, dict) and windows.get("version"):
        return f"{run['platform']} (Windows {windows['version']})"
    return run["platform"]


def merge(runs):
    """One run from the shards RUNS ([(path, run, results)]): refused when
    two hold the same program or they are of different platforms or tools."""
    (first_path, first, _), rest = runs[0], runs[1:]
    for path, run, _ in rest:
        if run["platform"] != first["platform"]:
            raise ResultsError(f"{path}: a run of {run['platform']}, {first_path} one of {first['platform']}: "
                               "shards of one run are of one platform")
        if run.get("tools", []) != first.get("tools", []):
            raise ResultsError(f"{path}: its tools differ from those of {first_path}: shards of one run use "
                               "the same tools")
    seen, merged = {}, []
    for path, _, results in runs:
        for r in results:
            if r["name"] in seen:
                raise ResultsError(f"{path}: {r['name']} is in {seen[r['name']]} too: shards do not overlap")
            seen[r["name"]] = path
            merged.append(r)
    info = dict(first)
    info["shard"] = None
    info["merged_from"] = [path for path, _, _ in runs]
    info["started"] = min(run.get("started") or "" for _, run, _ in runs) or None
    return info, sorted(merged, key=lambda r: r["name"])
