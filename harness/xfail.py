"""Expected failures per platform: expected-failures/PLATFORM.txt holds one
line per program, `NAME: why it fails there`; # starts a comment."""
import os
import re

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def judge_known(passed, reason, known):
    """Verdict and reason for a result, given why it is known to fail here
    (empty when it is not)."""
    if not known:
        return ("PASS" if passed else "FAIL"), reason
    if passed:
        return "XPASS", f"passed, but listed as failing here: {known}"
    return "XFAIL", f"{reason} [expected: {known}]"


def parse_xfail(path):
    """{program: why it is known to fail} from a file in this format."""
    known = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            m = re.match(r"^([A-Za-z0-9@._-]+): (.+)$", line.rstrip("\n"))
            if m:
                known[m.group(1)] = m.group(2)
    return known


def load_xfail(platform):
    path = os.path.join(ROOT, "expected-failures", platform + ".txt")
    return parse_xfail(path) if os.path.exists(path) else {}
