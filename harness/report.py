"""The verdict table, the closing lines and JUnit XML."""
import os
import re
from xml.sax.saxutils import escape, quoteattr

from verdicts import Verdict

# What XML 1.0 cannot hold, not even escaped: most control characters,
# lone surrogates and two non-characters.
XML_INVALID = re.compile("[\x00-\x08\x0b\x0c\x0e-\x1f\ud800-\udfff\ufffe\uffff]")


def count(results, *verdicts):
    return sum(r["verdict"] in verdicts for r in results)


def counts(results):
    """(passed, failed, expected failures): a FLAKY run counts as passed, an
    UNRESOLVED one as neither."""
    passed = sum(Verdict(r["verdict"]).counts_as_passed for r in results)
    failed = sum(Verdict(r["verdict"]).is_failure for r in results)
    return passed, failed, count(results, Verdict.XFAIL)


def run_ok(results):
    """Whether a run may end with status 0: something ran, nothing failed
    and every program got a verdict."""
    return bool(results) and counts(results)[1] == 0 and count(results, Verdict.UNRESOLVED) == 0


def table(results, platform):
    width = max([len(r["name"]) for r in results] + [7])
    vwidth = max([len(str(r["verdict"])) for r in results] + [7])
    lines = [f"{'program':<{width}}  {'verdict':<{vwidth}}  what went wrong ({platform})",
             f"{'-' * width}  {'-' * vwidth}  {'-' * 30}"]
    for r in results:
        lines.append(f"{r['name']:<{width}}  {str(r['verdict']):<{vwidth}}  {r['reason']}".rstrip())
    return "\n".join(lines)


def closing(results):
    passed, failed, xfail = counts(results)
    lines = []
    if xfail:
        lines.append(f"{xfail} expected failures (listed with their reasons)")
    flaky = count(results, Verdict.FLAKY)
    if flaky:
        lines.append(f"{flaky} flaky (as expected only on a retry; counted as passed)")
    timeouts = count(results, Verdict.TIMEOUT)
    if timeouts:
        lines.append(f"{timeouts} timed out (counted as failed)")
    unresolved = count(results, Verdict.UNRESOLVED)
    if unresolved:
        lines.append(f"{unresolved} unresolved (the runner could not run them; counted neither as passed nor "
                     "as failed)")
    lines.append(f"{passed} passed, {failed} failed")
    return "\n".join(lines)


def xml_text(text):
    """TEXT as XML can hold it: characters XML forbids become U+FFFD."""
    return XML_INVALID.sub("\ufffd", text)


def write_junit(results, path, platform):
    passed, failed, xfail = counts(results)
    errors = count(results, Verdict.UNRESOLVED)
    out = ['<?xml version="1.0" encoding="UTF-8"?>',
           f'<testsuite name={quoteattr("zeb-" + platform)} tests="{len(results)}" failures="{failed}" '
           f'errors="{errors}" skipped="{xfail}">']
    for r in results:
        attrs = (f'classname={quoteattr(xml_text("zeb." + platform))} name={quoteattr(xml_text(r["name"]))} '
                 f'time="{r.get("seconds", 0)}"')
        reason = quoteattr(xml_text(r["reason"]))
        output = escape(xml_text(r.get("stdout", "") + r.get("stderr", "")))
        verdict = Verdict(r["verdict"])
        body = ""
        if verdict.is_failure:
            body = f'<failure message={reason}>{output}</failure>'
        elif verdict == Verdict.UNRESOLVED:
            body = f'<error message={reason}>{output}</error>'
        elif verdict == Verdict.XFAIL:
            body = f'<skipped message={reason}/>'
        elif verdict == Verdict.FLAKY:
            body = f'<system-out>{escape(xml_text(r["reason"]))}</system-out>'
        out.append(f"  <testcase {attrs}>{body}</testcase>")
    out.append("</testsuite>")
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(out) + "\n")
