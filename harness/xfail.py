"""Expected failures per platform: expected-failures/PLATFORM.txt holds one
line per program, `NAME: why it fails there`; # starts a comment."""
import os
import re

from paths import EXPECTED_FAILURES


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
    path = os.path.join(EXPECTED_FAILURES, platform + ".txt")
    return parse_xfail(path) if os.path.exists(path) else {}
