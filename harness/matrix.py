"""The results matrix: program x platform, as Markdown."""
import report
from verdicts import Verdict

START, END = "<!-- matrix:start -->", "<!-- matrix:end -->"


def cell(result):
    if result is None:
        return "-"
    v, reason = result["verdict"], result["reason"].replace("|", "\\|")
    if v == Verdict.PASS:
        return "pass"
    if v == Verdict.XFAIL:
        return "expected failure: " + result["known"].replace("|", "\\|")
    return ("unexpected pass: " if v == Verdict.XPASS else "FAIL: ") + reason


def markdown(by_platform, descriptions):
    platforms = list(by_platform)
    names = sorted({r["name"] for rs in by_platform.values() for r in rs})
    index = {p: {r["name"]: r for r in rs} for p, rs in by_platform.items()}
    lines = ["| program | " + " | ".join(platforms) + " |", "|---|" + "---|" * len(platforms)]
    for n in names:
        lines.append(f"| {n} | " + " | ".join(cell(index[p].get(n)) for p in platforms) + " |")
    lines.append("")
    for p in platforms:
        passed, failed, xfail = report.counts(by_platform[p])
        lines.append(f"- **{p}** ({descriptions[p]}): {passed} passed, {failed} failed, {xfail} expected failures")
    return "\n".join(lines)


def update_readme(path, text):
    with open(path) as f:
        readme = f.read()
    if START not in readme or END not in readme:
        raise SystemExit(f"zeb: {path} has no {START} ... {END} section")
    head, rest = readme.split(START, 1)
    _, tail = rest.split(END, 1)
    with open(path, "w") as f:
        f.write(head + START + "\n" + text + "\n" + END + tail)
