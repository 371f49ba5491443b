"""One program built, run and compared with what the model expects of it."""
import os
import signal

from .cprint import c_source
from .targets import suffix_for


class Result:
    """A program's run against the model: kind is "agree", "output",
    "status", "crash", "hang" or "build"."""

    def __init__(self, kind, detail="", signature=None):
        self.kind, self.detail = kind, detail
        # what a reduced program must keep: the kind, and for a differing
        # line the kinds of event on both sides
        self.signature = signature or (kind,)
        self.batched = False          # seen with other cases in the process, not yet alone
        self.lines = (None, None)     # the first lines that differ: the platform's, the model's

    @property
    def agrees(self):
        return self.kind == "agree"


def show(text):
    return '"' + text.encode("unicode_escape").decode("ascii") + '"'


def compare(expected, status, stdout, how):
    """How a run differs from what the model expects."""
    if how == "hang":
        return Result("hang", "still running after the timeout")
    got = stdout.split("\n")
    if got and got[-1] == "":
        got.pop()
    want = expected.lines
    for n in range(max(len(got), len(want))):
        g = got[n] if n < len(got) else None
        w = want[n] if n < len(want) else None
        if g != w:
            got_text = show(g) if g is not None else "nothing more"
            want_text = show(w) if w is not None else "nothing more"
            where = f"line {n + 1}: got {got_text}, model expects {want_text}"
            if status < 0:
                r = Result("crash", f"killed by {signal_name(-status)}; {where}")
                r.lines = (g, w)
                return r
            r = Result("output", where, ("output", (g or "")[:1], (w or "")[:1]))
            r.lines = (g, w)
            return r
    if status != expected.status:
        return Result("status", f"exit status {status}, model expects {expected.status}")
    return Result("agree")


def build_failure(log):
    """The line of a compiler's messages that says what went wrong."""
    if "PLEASE submit a bug report" in log or "Stack dump:" in log:
        return "the compiler crashed"
    first = next((ln for ln in log.splitlines() if "error" in ln.lower()), log.strip()[:200])
    return first.strip()


def signal_name(n):
    try:
        return signal.Signals(n).name
    except ValueError:
        return f"signal {n}"


def check(target, program, expected, workdir, name):
    """Builds and runs one program; its Result."""
    kind = program.build_kind
    source = os.path.join(workdir, name + suffix_for(kind))
    exe = os.path.join(workdir, name + target.exe_suffix)
    with open(source, "w") as f:
        f.write(c_source(program))
    ok, log = target.build(source, exe, kind)
    if not ok:
        return Result("build", "did not build: " + build_failure(log))
    status, stdout, how = target.run(exe)
    try:
        os.unlink(exe)
    except OSError:
        pass
    return compare(expected, status, stdout, how)
