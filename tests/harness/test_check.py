"""The checker's verdicts: what a user reads when a program misbehaves."""
import os
import signal
import subprocess
import sys
import tempfile
import unittest

HARNESS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "harness")
from check import judge
from expected import compare_output


class Verdicts(unittest.TestCase):
    def test_pass_needs_status_and_output(self):
        self.assertEqual(judge(0, "", "", "", 0, False, 10), (True, ""))
        self.assertFalse(judge(0, "x\n", "", "", 0, False, 10)[0])
        self.assertFalse(judge(3, "", "", "", 0, False, 10)[0])

    def test_failure_line_is_shown_with_its_line_ends(self):
        ok, why = judge(255, "TEST 6 FAILED. Counter = 1\n\r", "", "", 0, False, 10)
        self.assertFalse(ok)
        self.assertEqual(why, "exit status 255: TEST 6 FAILED. Counter = 1\\n\\r")

    def test_signal_is_named(self):
        ok, why = judge(-signal.SIGSEGV, "", "", "", 0, False, 10)
        self.assertEqual((ok, why), (False, "crash: killed by SIGSEGV"))

    def test_hang(self):
        self.assertEqual(judge(-9, "", "", "", 0, True, 2.5), (False, "hang: still running after 2.5 s"))

    def test_unhandled_exception_line_from_stderr(self):
        ok, why = judge(5, "", "unhandled exception 0xC0000005 (access violation) at 0x1\n", "", 0, False, 10)
        self.assertIn("exit status 5: unhandled exception 0xC0000005", why)

    def test_first_differing_line(self):
        self.assertIsNone(compare_output("a\nb\n", "a\nb\n"))
        self.assertEqual(compare_output("a\nb\n", "a\nc\n"), "line 2: expected 'b\\n', got 'c\\n'")
        self.assertEqual(compare_output("a\n", "a\nmore\n"), "line 2: expected (nothing), got 'more\\n'")
        self.assertIsNotNone(compare_output("a\n", "a"))

    def test_patterns_only_inside_braces(self):
        self.assertIsNone(compare_output("size = {{[0-9]+}}, {{(0x)?[0-9a-f]+}}\n", "size = 112, 0x7ffd10\n"))
        self.assertIsNotNone(compare_output("size = {{[0-9]+}}\n", "size = x\n"))
        self.assertIsNotNone(compare_output("a.b\n", "axb\n"))


class RunsPrograms(unittest.TestCase):
    """The checker run as the suite runs it: a hang is cut off, the run goes on."""

    def check(self, script, *extra, known=None):
        with tempfile.TemporaryDirectory() as tmp:
            if known is not None:
                listing = os.path.join(tmp, "expected-failures.txt")
                with open(listing, "w") as f:
                    f.write(f"p: {known}\n")
                extra += ("--expected-failures", listing)
            prog = os.path.join(tmp, "prog")
            with open(prog, "w") as f:
                f.write("#!/bin/sh\n" + script + "\n")
            os.chmod(prog, 0o755)
            r = subprocess.run([sys.executable, os.path.join(HARNESS, "check.py"), "--name", "p", "--program", prog,
                                "--results-dir", tmp] + list(extra), stdout=subprocess.PIPE, text=True)
            return r.returncode, r.stdout.splitlines()[0]

    def test_hang_times_out(self):
        self.assertEqual(self.check("sleep 30", "--timeout", "0.5"), (1, "TIMEOUT p: hang: still running after 0.5 s"))

    def test_signal(self):
        self.assertEqual(self.check("kill -ABRT $$"), (1, "FAIL p: crash: killed by SIGABRT"))

    def test_expected_failure_and_unexpected_pass(self):
        self.assertEqual(self.check("exit 1", known="known")[0], 0)
        code, line = self.check("exit 0", known="known")
        self.assertEqual((code, line.split(":")[0]), (1, "XPASS p"))


if __name__ == "__main__":
    unittest.main()
