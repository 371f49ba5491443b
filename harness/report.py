"""The verdict table, the closing count line and JUnit XML."""
import os
from xml.sax.saxutils import escape, quoteattr

from verdicts import Verdict


def counts(results):
    passed = sum(r["verdict"] == Verdict.PASS for r in results)
    failed = sum(Verdict(r["verdict"]).is_failure for r in results)
    xfail = sum(r["verdict"] == Verdict.XFAIL for r in results)
    return passed, failed, xfail


def table(results, platform):
    width = max([len(r["name"]) for r in results] + [7])
    lines = [f"{'program':<{width}}  {'verdict':<7}  what went wrong ({platform})",
             f"{'-' * width}  {'-' * 7}  {'-' * 30}"]
    for r in results:
        lines.append(f"{r['name']:<{width}}  {r['verdict']:<7}  {r['reason']}".rstrip())
    return "\n".join(lines)


def closing(results):
    passed, failed, xfail = counts(results)
    lines = []
    if xfail:
        lines.append(f"{xfail} expected failures (listed with their reasons)")
    lines.append(f"{passed} passed, {failed} failed")
    return "\n".join(lines)


def write_junit(results, path, platform):
    passed, failed, xfail = counts(results)
    out = ['<?xml version="1.0" encoding="UTF-8"?>',
           f'<testsuite name={quoteattr("zeb-" + platform)} tests="{len(results)}" failures="{failed}" '
           f'skipped="{xfail}">']
    for r in results:
        attrs = f'classname={quoteattr("zeb." + platform)} name={quoteattr(r["name"])} time="{r.get("seconds", 0)}"'
        body = ""
        if Verdict(r["verdict"]).is_failure:
            body = f'<failure message={quoteattr(r["reason"])}>{escape(r.get("stdout", "") + r.get("stderr", ""))}</failure>'
        elif r["verdict"] == Verdict.XFAIL:
            body = f'<skipped message={quoteattr(r["reason"])}/>'
        out.append(f"  <testcase {attrs}>{body}</testcase>")
    out.append("</testsuite>")
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "w") as f:
        f.write("\n".join(out) + "\n")
