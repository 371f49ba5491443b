"""Expected output of a program, kept as data beside its source.

An expected line is literal except for {{...}} pieces, which are regular
expressions for what differs by platform (an address, a buffer size).
"""
import re


def load_expected(path, status):
    text = ""
    if path:
        with open(path, "rb") as f:
            text = f.read().decode("utf-8")
    return text, (0 if status is None else status)


def _line_matches(expected, actual):
    if "{{" not in expected:
        return expected == actual
    pattern, pos = "", 0
    for m in re.finditer(r"\{\{(.*?)\}\}", expected):
        pattern += re.escape(expected[pos:m.start()]) + "(?:" + m.group(1) + ")"
        pos = m.end()
    pattern += re.escape(expected[pos:])
    return re.fullmatch(pattern, actual, re.S) is not None


def compare_output(expected, actual):
    """None when the output is as expected, else what differs first."""
    exp = expected.splitlines(keepends=True)
    act = actual.splitlines(keepends=True)
    for i in range(max(len(exp), len(act))):
        e = exp[i] if i < len(exp) else None
        a = act[i] if i < len(act) else None
        if e is not None and a is not None and _line_matches(e, a):
            continue
        show = lambda s: "(nothing)" if s is None else repr(s)
        return f"line {i + 1}: expected {show(e)}, got {show(a)}"
    return None
