"""./zeb pack: the suite built for a Windows platform, made into one zip
that runs on a Windows device with nothing installed: the programs,
manifest.json (what to run and what each run must produce) and zeb-run.exe,
the project's native runner (device/), built with the platform's own C
command.  The README's "Running on a Windows device" says how it is used.

manifest.json (`format` 1):

    {"format": 1,
     "platform": {"name", "description", "platform_file", "platform_file_sha256",
                  "tools": [{"command", "version"}], "text_mode", "timeout"},
     "zeb_commit", "zeb_modified", "programs": "suite" | "behaviour" | "all" | "fuzz", "regex",
     "runs": [{"name", "program": "programs/NAME.exe" | null, "not_built": null | "not built: ...",
               "args": [...], "status": N, "timeout": S,
               "output": [[LITERAL, PATTERN, LITERAL, ...], ...]}],
     "expected_failures": [{"name", "reason", "match": TEXT | null, "flaky": bool}]}

`output` holds the expected output's lines as splitlines(keepends=True)
cuts them, each split at its {{pattern}} pieces (one literal for a plain
line), so that the runner needs no line splitting or pattern parsing of its
own for what is expected.
"""
import concurrent.futures
import hashlib
import json
import os
import re
import shutil
import zipfile

import programs
import results
import runner
from expected import load_expected
from paths import ROOT

FORMAT = 1
DEVICE = os.path.join(ROOT, "device")
RUNNER_SOURCE = os.path.join(DEVICE, "unity.c")
RUNNER = "zeb-run.exe"
SETS = ("suite", "behaviour", "all")
# What zeb-run's pattern matcher takes: anything else in a {{...}} piece is
# refused at pack time rather than misjudged on the device.
UNSUPPORTED_PATTERN = re.compile(r"\\[^\\.\[\](){}|?*+^$dwsntr\-]|\{|\}|\(\?[^:]|(?<!\[)\^|\$|[*+?][*+?]")


class PackError(Exception):
    """A pack that cannot be made; the message says why."""


def chosen_programs(which, regex):
    sets = ("suite", "behaviour") if which == "all" else (which,)
    found = [p for s in sets for p in programs.SETS[s](ROOT)]
    return programs.select(found, regex)


def output_lines(text, where):
    """The expected output as the manifest holds it (see above)."""
    lines = []
    for line in text.splitlines(keepends=True):
        pieces, pos = [], 0
        for m in re.finditer(r"\{\{(.*?)\}\}", line):
            if UNSUPPORTED_PATTERN.search(m.group(1)):
                raise PackError(f"{where}: the pattern {{{{{m.group(1)}}}}} uses what zeb-run's matcher does not "
                                "take (anchors, bounds, look-arounds, back-references, lazy quantifiers)")
            pieces += [line[pos:m.start()], m.group(1)]
            pos = m.end()
        lines.append(pieces + [line[pos:]])
    return lines


def run_entry(platform, run, program_file, not_built, expected, status):
    return {"name": run.name, "program": program_file, "not_built": not_built, "args": list(run.args),
            "status": status, "timeout": platform.timeout, "output": output_lines(expected, run.name)}


def build_runner(platform, folder):
    """zeb-run.exe for the platform's target, with its C command."""
    class Runner:
        name = "zeb-run"
        source = RUNNER_SOURCE
        language = "c"
        arch = "arm64"
        options = []
    path, why = runner.build(platform, Runner, folder)
    if path is None:
        raise PackError(f"{platform.name}: zeb-run.exe did not build: {why} (see {os.path.join(folder, RUNNER)}.log)")
    return path


def build_all(platform, chosen, folder, jobs):
    """{program name: (path or None, why not)}."""
    with concurrent.futures.ThreadPoolExecutor(max(1, jobs)) as pool:
        built = pool.map(lambda p: runner.build(platform, p, folder), chosen)
        return {p.name: b for p, b in zip(chosen, built)}


def suite_runs(platform, chosen, folder, jobs):
    """The manifest's runs of the suite's programs, built into FOLDER."""
    built = build_all(platform, chosen, folder, jobs)
    runs = []
    for p in chosen:
        path, why = built[p.name]
        for r in p.runs:
            expected, status = load_expected(r.expect, r.status)
            name = f"programs/{os.path.basename(path)}" if path else None
            runs.append(run_entry(platform, r, name, why, expected, status))
    return runs


def fuzz_runs(platform, count, seed, folder, jobs):
    """The manifest's runs of COUNT generated programs from SEED on, with
    the model's output and status; programs the model cannot follow are
    left out, as `zeb fuzz` skips them."""
    from fuzz import known
    from fuzz.cprint import c_source
    from fuzz.generate import generate
    from fuzz.model import ModelError, TooLong, predict
    off = set(known.load(platform.name).off)
    sources = os.path.join(folder, "sources")
    os.makedirs(sources, exist_ok=True)
    chosen, expectations = [], {}
    for s in range(seed, seed + count):
        program = generate(s, off)
        try:
            e = predict(program)
        except (TooLong, ModelError):
            continue
        source = os.path.join(sources, f"fuzz{s}.c")
        with open(source, "w") as f:
            f.write(c_source(program))
        chosen.append(programs.Program(source))
        expectations[f"fuzz{s}"] = ("".join(line + "\n" for line in e.lines), e.status)
    built = build_all(platform, chosen, folder, jobs)
    runs = []
    for p in chosen:
        path, why = built[p.name]
        expected, status = expectations[p.name]
        name = f"programs/{os.path.basename(path)}" if path else None
        runs.append(run_entry(platform, p.runs[0], name, why, expected, status))
    return runs


def manifest(platform, runs, which, regex):
    info = results.run_info(platform, which, regex)
    names = {r["name"] for r in runs}
    known = [{"name": e.name, "reason": e.reason, "match": e.match, "flaky": e.flaky}
             for name, e in sorted(platform.known.items()) if name in names]
    return {"format": FORMAT,
            "platform": {"name": platform.name, "description": platform.description,
                         "platform_file": info["platform_file"], "platform_file_sha256": info["platform_file_sha256"],
                         "tools": info["tools"], "text_mode": bool(platform.text_mode), "timeout": platform.timeout},
            "zeb_commit": info["zeb_commit"], "zeb_modified": info["zeb_modified"],
            "programs": which, "regex": regex, "runs": runs, "expected_failures": known}


def make(platform, output, which="suite", regex=None, jobs=2, fuzz=None):
    """Builds and writes the pack OUTPUT (a .zip); FUZZ is (count, seed) for
    generated programs instead of the suite's.  Returns the manifest."""
    if not platform.suffix.lower() == ".exe":
        raise PackError(f"{platform.name}: its programs are not Windows programs (suffix {platform.suffix!r}, "
                        "not '.exe'): there is nothing to pack for a Windows device")
    folder = os.path.join(platform.build_dir, "pack")
    shutil.rmtree(folder, ignore_errors=True)
    programs_folder = os.path.join(folder, "programs")
    os.makedirs(programs_folder)
    runner.prepare(platform)
    exe = build_runner(platform, folder)
    if fuzz:
        runs = fuzz_runs(platform, fuzz[0], fuzz[1], programs_folder, jobs)
        which = "fuzz"
    else:
        chosen = chosen_programs(which, regex)
        if not chosen:
            raise PackError(f"no program matches '{regex}'" if regex else "no program to pack")
        runs = suite_runs(platform, chosen, programs_folder, jobs)
    data = manifest(platform, runs, which, regex)
    temporary = output + ".tmp"
    with zipfile.ZipFile(temporary, "w", zipfile.ZIP_DEFLATED) as z:
        z.write(exe, RUNNER)
        z.writestr("manifest.json", json.dumps(data, indent=1) + "\n")
        # A program with several runs is in the pack once.
        for name in sorted({r["program"] for r in runs if r["program"]}):
            z.write(os.path.join(folder, name), name)
    os.replace(temporary, output)
    return data
