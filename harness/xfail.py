"""Expected failures per platform: expected-failures/PLATFORM.txt holds one
line per program, `NAME: why it fails there`; # starts a comment."""
import os
import re

from platforms import ROOT


def load_xfail(platform):
    path = os.path.join(ROOT, "expected-failures", platform + ".txt")
    known = {}
    if os.path.exists(path):
        with open(path) as f:
            for line in f:
                m = re.match(r"^([A-Za-z0-9@._-]+): (.+)$", line.rstrip("\n"))
                if m:
                    known[m.group(1)] = m.group(2)
    return known
