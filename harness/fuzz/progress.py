"""A campaign's progress: one line rewritten in place on a terminal, a
plain line now and then otherwise."""
import sys
import time


class Progress:
    def __init__(self, stream=None, every=60.0, clock=time.monotonic):
        self.stream = stream or sys.stdout
        self.tty = hasattr(self.stream, "isatty") and self.stream.isatty()
        self.every, self.clock = every, clock
        self.last = clock()
        self.shown = False

    def update(self, c, seconds):
        now = self.clock()
        if not self.tty and now - self.last < self.every:
            return
        self.last = now
        minutes = seconds / 60 or 1e-9
        text = (f"{c.cases} cases, {c.programs} programs in {seconds:.0f} s ({c.cases / minutes:.0f} cases and "
                f"{c.programs / minutes:.0f} programs a minute): {c.agree} agree, {c.differ} differ, {c.known} known")
        if self.tty:
            self.stream.write("\r\033[K" + text)
            self.shown = True
        else:
            self.stream.write(text + "\n")
        self.stream.flush()

    def clear(self):
        """Before a line of its own: the progress line goes."""
        if self.tty and self.shown:
            self.stream.write("\r\033[K")
            self.stream.flush()
            self.shown = False
