"""./zeb compare OLD.json NEW.json: what changed between two stored runs,
program by program, and which tools differ between them."""
import re

from verdicts import Verdict

# What differs from one run to the next of the same failure: addresses
# (wider than the 32-bit exception codes, which stay), thread numbers, and
# the whole exit code that a device's runner (zeb-run) adds where the low
# 8 bits, all that Linux reports of a Windows program's exit, do not say it.
VOLATILE = [(re.compile(r" \[exit code 0x[0-9A-F]{8}(: [^\]]*)?\]"), ""),
            (re.compile(r"0x[0-9A-Fa-f]{9,}"), "0x?"),
            (re.compile(r"\b(address|thread) [0-9A-Fa-f]{4,}\b"), r"\1 ?")]

FAILING = (Verdict.FAIL, Verdict.TIMEOUT, Verdict.XFAIL)
PASSING = (Verdict.PASS, Verdict.FLAKY, Verdict.XPASS)

# (key, heading, worse): in the order they are printed.
GROUPS = [
    ("newly_failing", "newly failing", True),
    ("failing_differently", "failing differently", True),
    ("xpass", "XFAIL to XPASS", True),
    ("newly_passing", "newly passing", False),
    ("unresolved", "unresolved in one of the runs (no verdict to compare)", False),
    ("verdict_changed", "same result, other verdict (the list of expected failures changed)", False),
    ("added", "added", False),
    ("removed", "removed", False),
]


def failure_of(r):
    """What a failing run reported, without the expected-failure note."""
    return r.get("failure") or r["reason"]


def signature(r):
    """A failure as compared: what the runner reported, but for the parts
    that differ between two runs of the same failure."""
    text = failure_of(r)
    for pattern, mask in VOLATILE:
        text = pattern.sub(mask, text)
    return text


def same_status(a, b):
    """Exit statuses as the same failure shows them: a device's 32-bit
    Windows exit code and a run through Wine on Linux, which sees its low
    8 bits, agree when those bits do."""
    if isinstance(a, int) and isinstance(b, int) and not isinstance(a, bool) and not isinstance(b, bool):
        return a & 0xFF == b & 0xFF
    return a == b


def classify(old, new):
    """The group a program whose results are OLD and NEW belongs to, or None
    when nothing changed."""
    ov, nv = Verdict(old["verdict"]), Verdict(new["verdict"])
    if Verdict.UNRESOLVED in (ov, nv):
        return "unresolved" if ov != nv or signature(old) != signature(new) else None
    if ov == Verdict.XFAIL and nv == Verdict.XPASS:
        return "xpass"
    if ov in PASSING and nv in FAILING:
        return "newly_failing"
    if ov in FAILING and nv in PASSING:
        return "newly_passing" if nv != Verdict.XPASS else "xpass"
    if ov in FAILING and nv in FAILING:
        if signature(old) != signature(new) or not same_status(old.get("status"), new.get("status")):
            return "failing_differently"
        return "verdict_changed" if ov != nv else None
    return "verdict_changed" if ov != nv else None


def changes(old_results, new_results):
    """{group: [(name, old result or None, new result or None)]}."""
    old = {r["name"]: r for r in old_results}
    new = {r["name"]: r for r in new_results}
    out = {key: [] for key, _, _ in GROUPS}
    for name in sorted(set(old) | set(new)):
        if name not in old:
            out["added"].append((name, None, new[name]))
        elif name not in new:
            out["removed"].append((name, old[name], None))
        else:
            group = classify(old[name], new[name])
            if group:
                out[group].append((name, old[name], new[name]))
    return out


def cell(r):
    if r is None:
        return "-"
    text = str(r["verdict"])
    if Verdict(r["verdict"]) not in PASSING:
        text += ": " + failure_of(r)
    return text if len(text) <= 100 else text[:97] + "..."


def tool_changes(old_run, new_run):
    """[(command, old version, new version)] for the tools that differ."""
    old = {t["command"]: t["version"] for t in old_run.get("tools", [])}
    new = {t["command"]: t["version"] for t in new_run.get("tools", [])}
    return [(c, old.get(c, "-"), new.get(c, "-")) for c in sorted(set(old) | set(new)) if old.get(c) != new.get(c)]


def report(old_run, old_results, new_run, new_results, old_label="old", new_label="new"):
    """(lines, worse): the report, and whether anything got worse."""
    lines = []
    if old_run["platform"] != new_run["platform"]:
        lines.append(f"The runs are of different platforms: {old_run['platform']} ({old_label}) and "
                     f"{new_run['platform']} ({new_label}); compared program by program all the same.")
        lines.append("")
    found = changes(old_results, new_results)
    worse = False
    for key, heading, is_worse in GROUPS:
        rows = found[key]
        if not rows:
            continue
        worse = worse or is_worse
        width = max(len(n) for n, _, _ in rows)
        lines.append(f"{heading} ({len(rows)}):")
        lines.append(f"  {'program':<{width}}  {old_label}  ->  {new_label}")
        for name, o, n in rows:
            lines.append(f"  {name:<{width}}  {cell(o)}  ->  {cell(n)}")
        lines.append("")
    tools = tool_changes(old_run, new_run)
    if tools:
        lines.append(f"tools that differ ({len(tools)}):")
        for command, o, n in tools:
            lines.append(f"  {command}: {o}  ->  {n}")
        lines.append("")
    both = len({r["name"] for r in old_results} & {r["name"] for r in new_results})
    changed = sum(len(found[k]) for k in found if k not in ("added", "removed"))
    summary = [f"{both} programs in both runs, {both - changed} unchanged"]
    summary += [f"{len(found[k])} {heading.split(' (')[0]}" for k, heading, _ in GROUPS if found[k]]
    if not any(found.values()):
        summary.append("nothing changed")
    lines.append(", ".join(summary))
    return lines, worse
