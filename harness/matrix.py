"""The results matrix: program x run, as Markdown, from stored runs.

A cell is short (`pass`, `xfail 3`, `FAIL 5`, `unresolved 7`); each cause
is written once below the table, numbered, and each column's counts and
tool versions after that."""
import report
from results import column_name
from verdicts import Verdict

START, END = "<!-- matrix:start -->", "<!-- matrix:end -->"


class Causes:
    """The causes the cells refer to, numbered in the order first met."""

    def __init__(self):
        self.numbers = {}

    def number(self, text):
        return self.numbers.setdefault(text, len(self.numbers) + 1)

    def lines(self):
        return [f"{n}. {md(text)}" for text, n in self.numbers.items()]


def md(text):
    return text.replace("|", "\\|").replace("\n", " ")


def cell(result, causes):
    if result is None:
        return "-"
    v = Verdict(result["verdict"])
    if v == Verdict.PASS:
        return "pass"
    if v == Verdict.XFAIL:
        return f"xfail {causes.number(result['known'] or result['reason'])}"
    if v == Verdict.FLAKY:
        return f"flaky {causes.number(result['reason'])}"
    if v == Verdict.XPASS:
        return f"XPASS {causes.number('listed as failing, passed: ' + result['known'])}"
    if v == Verdict.UNRESOLVED:
        return f"unresolved {causes.number(result['reason'])}"
    return f"{v} {causes.number(result.get('failure') or result['reason'])}"


def markdown(columns):
    """COLUMNS: [(run, results)], one column each, in order."""
    headings = [column_name(run) for run, _ in columns]
    names = sorted({r["name"] for _, rs in columns for r in rs})
    index = [{r["name"]: r for r in rs} for _, rs in columns]
    causes = Causes()
    lines = ["| program | " + " | ".join(md(h) for h in headings) + " |", "|---|" + "---|" * len(columns)]
    for n in names:
        lines.append(f"| {n} | " + " | ".join(cell(col.get(n), causes) for col in index) + " |")
    lines.append("")
    if causes.numbers:
        lines.append("Causes:")
        lines.append("")
        lines += causes.lines()
        lines.append("")
    for heading, (run, rs) in zip(headings, columns):
        passed, failed, xfail = report.counts(rs)
        extra = ""
        unresolved = report.count(rs, Verdict.UNRESOLVED)
        if unresolved:
            extra = f", {unresolved} unresolved"
        lines.append(f"- **{md(heading)}** ({md(run.get('description') or run['platform'])}): {passed} passed, "
                     f"{failed} failed, {xfail} expected failures{extra}")
        for t in run.get("tools", []):
            lines.append(f"  - `{md(t['command'])}`: {md(t['version'])}")
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
