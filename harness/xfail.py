"""Expected failures per platform: expected-failures/PLATFORM.txt holds one
entry per program that is known to fail there; # starts a comment.

    NAME: why it fails there
    NAME: why it fails there | fails: TEXT
    NAME (flaky): why it sometimes fails | fails: TEXT

TEXT, when given, must occur in what the runner reports for the failure
(the failure line, `not built: ...`, the exit status, the first differing
line); a failure without it is a different failure, and a FAIL.  A flaky
entry's program may pass as well as fail the listed way.
"""
import os
import re

from paths import EXPECTED_FAILURES

ENTRY = re.compile(r"^(?P<name>[A-Za-z0-9@._-]+)(?P<flaky> \(flaky\))?: (?P<reason>.+?)"
                   r"(?: \| fails: (?P<match>.+))?$")
MATCH_MARK = " | fails: "


class XfailError(Exception):
    """An expected-failures file that cannot be used; says file and line."""


class Entry:
    def __init__(self, name, reason, match=None, flaky=False, where=""):
        self.name = name
        self.reason = reason
        self.match = match
        self.flaky = flaky
        self.where = where     # FILE:LINE, for messages

    def matches(self, failure):
        """True when FAILURE (what the runner reported) is the listed one."""
        return self.match is None or self.match in failure


def parse_xfail(path, names=None):
    """{program: Entry} from a file in this format; raises XfailError for a
    malformed line, a program listed twice or, given NAMES (the runs that
    exist), an entry that names none of them."""
    known = {}
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    for number, line in enumerate(lines, 1):
        where = f"{path}:{number}"
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        m = ENTRY.match(line.rstrip())
        if not m or MATCH_MARK.rstrip() in m.group("reason") or (m.group("match") is not None
                                                                  and not m.group("match").strip()):
            raise XfailError(f"{where}: not an entry: expected 'NAME: reason', optionally with "
                             f"'{MATCH_MARK.strip()} TEXT' after it and '(flaky)' after the name")
        name = m.group("name")
        if name in known:
            raise XfailError(f"{where}: {name} is listed twice (first at {known[name].where})")
        if names is not None and name not in names:
            raise XfailError(f"{where}: {name} is no program of the suite or the behaviour programs")
        known[name] = Entry(name, m.group("reason"), m.group("match"), bool(m.group("flaky")), where)
    return known


def load_xfail(platform, names=None):
    path = os.path.join(EXPECTED_FAILURES, platform + ".txt")
    return parse_xfail(path, names) if os.path.exists(path) else {}
