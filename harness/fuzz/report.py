"""A finding written for the people who can fix it: the reduced source,
how the platform built and ran it (with its tools' versions), what it
printed beside what Windows documents, and the rule it broke."""
import os
import shlex

from .check import show
from .cprint import c_source
from .model import ModelError, TooLong, predict
from .rules import rule
from .targets import suffix_for

WIDTH = 36


def side_by_side(got, want):
    """Two columns, the first differing row marked."""
    rows = [f"    {'platform':<{WIDTH}}  model", f"    {'-' * WIDTH}  {'-' * WIDTH}"]
    marked = False
    for n in range(max(len(got), len(want))):
        g = got[n] if n < len(got) else ""
        w = want[n] if n < len(want) else ""
        mark = "  "
        if not marked and (n >= len(got) or n >= len(want) or g != w):
            mark, marked = "> ", True
        rows.append(f"  {mark}{g:<{WIDTH}}  {w}")
    return "\n".join(rows)


def first_difference(got, want):
    for n in range(max(len(got), len(want))):
        g = got[n] if n < len(got) else None
        w = want[n] if n < len(want) else None
        if g != w:
            return g, w
    return None, None


def write(folder, number, target, seed, program, result, versions=()):
    """Writes finding `number` into folder: NNN.md with the source (NNN.c or NNN.cpp) beside it;
    returns the report's path."""
    # absolute: the platform may build and run in the program's own folder
    folder = os.path.abspath(folder)
    os.makedirs(folder, exist_ok=True)
    stem = os.path.join(folder, f"{number:03d}")
    # a C++ finding is written and built as C++, as the campaign built it
    kind = getattr(program, "build_kind", ("c", False))
    source, exe = stem + suffix_for(kind), stem + "-program" + target.exe_suffix
    with open(source, "w") as f:
        f.write(c_source(program))
    try:
        expected = predict(program)
        want, want_status = expected.lines, expected.status
    except (TooLong, ModelError):
        want, want_status = [], None
    build = target.build_command(source, exe, kind)
    run = target.command(exe, [])
    ok, log = target.build(source, exe, kind)
    if ok:
        status, stdout, how = target.run(exe)
        got = stdout.split("\n")
        if got and got[-1] == "":
            got.pop()
        ended = "still running after the timeout" if how == "hang" else f"exit status {status}"
        try:
            os.unlink(exe)
        except OSError:
            pass
    else:
        got, ended = log.splitlines()[:20], "did not build"
    # the reduced case's own run says best what differs; the first run when
    # it cannot be repeated here
    g, w = first_difference(got, want) if ok else result.lines
    text = [f"# {target.name}: {result.kind} difference (seed {seed})", "",
            "## The rule broken", "", rule(result.kind, g, w), "",
            "## What differs", "", result.detail, "",
            "## Build and run", "",
            "    " + " ".join(shlex.quote(a) for a in build),
            "    " + " ".join(shlex.quote(a) for a in run), ""]
    if versions:
        text += ["Tools:", ""] + [f"- `{v['command']}`: {v['version']}" for v in versions] + [""]
    text += ["## Output", "", f"The platform: {ended}; the model: exit status {want_status}."
             + (f" First differing line: platform {show(g) if g is not None else 'nothing more'}, "
                f"model {show(w) if w is not None else 'nothing more'}." if ok else ""), "",
             side_by_side(got, want), "",
             "## Source", "", f"`{os.path.basename(source)}`, beside this report:", "", "```c",
             c_source(program).rstrip("\n"), "```", ""]
    path = stem + ".md"
    with open(path, "w") as f:
        f.write("\n".join(text))
    return path
