"""The one way the harness runs a command: with a timeout after which the
command and everything it started are killed, its output captured, sent to
a file or left on the terminal."""
import os
import signal
import subprocess
import tempfile
import time


class Outcome:
    def __init__(self, status, stdout, stderr, timed_out, seconds):
        self.status = status          # exit status; below 0: killed by that signal
        self.stdout = stdout          # bytes (empty unless captured)
        self.stderr = stderr
        self.timed_out = timed_out
        self.seconds = seconds


CAPTURE = "capture"


def run(cmd, timeout=None, env=None, cwd=None, output=CAPTURE):
    """Runs CMD with no input.  OUTPUT is CAPTURE (standard output and error
    kept apart, as bytes), an open file (both go there) or None (the
    terminal's).  With a timeout the command gets a process group of its
    own, which is killed whole when the time is up.  The outcome rests on
    the command's own exit: a process it leaves behind holding the output
    open (an emulator's server) does not keep it running.  Raises OSError
    when the command cannot start."""
    start = time.monotonic()
    own_group = timeout is not None
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        if output == CAPTURE:
            streams = {"stdout": out, "stderr": err}
        elif output is None:
            streams = {}
        else:
            streams = {"stdout": output, "stderr": subprocess.STDOUT}
        proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, start_new_session=own_group, env=env, cwd=cwd,
                                **streams)
        timed_out = False
        try:
            proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
            timed_out = True
        except BaseException:
            # An interrupt: nothing started here outlives the harness.
            if own_group:
                try:
                    os.killpg(proc.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            proc.wait()
            raise
        seconds = time.monotonic() - start
        out.seek(0)
        err.seek(0)
        return Outcome(proc.returncode, out.read(), err.read(), timed_out, seconds)
