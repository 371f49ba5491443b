"""Known deviations of a platform, one line each in known/PLATFORM.txt:

    CONSTRUCT: off: REASON      the construct is never generated for it
    CONSTRUCT: known: REASON    a difference whose reduced program has the
                                construct is reported as known

A known deviation may name several constructs joined by '+': the program
must have all of them, and switching off the first is enough to avoid it.
A difference is known when it goes away with every known construct
switched off.
"""
import os
import re

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "known")
LINE = re.compile(r"^([a-z0-9+-]+):\s*(off|known):\s*(.+)$")


class Known:
    def __init__(self, off=None, known=None):
        self.off = dict(off or {})       # construct -> reason
        self.known = dict(known or {})

    def explain(self, constructs):
        """The (construct, reason) of the known deviations among constructs."""
        return [(c, self.known[c]) for c in sorted(self.known)
                if all(part in constructs for part in c.split("+"))]

    def switched_off(self):
        """What to switch off to avoid every known deviation."""
        return {c.split("+")[0] for c in self.known}


def parse(text, origin="<text>"):
    k = Known()
    for n, line in enumerate(text.splitlines(), 1):
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        m = LINE.match(line)
        if not m:
            raise ValueError(f"{origin}:{n}: expected 'construct: off|known: reason', got: {line}")
        (k.off if m.group(2) == "off" else k.known)[m.group(1)] = m.group(3)
    return k


def load(platform):
    path = os.path.join(HERE, platform + ".txt")
    if not os.path.exists(path):
        return Known()
    with open(path) as f:
        return parse(f.read(), path)
