"""Campaigns: findings grouped and written once per group, a campaign
resumed where it stopped, the rule a difference breaks in words."""
import json
import os
import re
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "harness"))

from fuzz import check as checking, loop  # noqa: E402
from fuzz.check import compare  # noqa: E402
from fuzz.rules import rule  # noqa: E402


class Fake:
    """A platform that reads 0 for GetExceptionCode() in __except blocks."""
    name, exe_suffix, known = "fake", "", None

    def start(self):
        pass

    def stop(self):
        pass

    def build_command(self, source, program, kind=("c", False)):
        return ["cc", source, "-o", program]

    def command(self, program, args):
        return [program]

    def build(self, source, program, kind=("c", False)):
        return False, "error: not built here"


def simulated(target, program, expected, workdir, name):
    out = re.sub(r"^(H\d+) [0-9A-F]{8}$", r"\1 00000000", expected.stdout, flags=re.M)
    return compare(expected, expected.status, out, "")


class Campaigns(unittest.TestCase):
    def setUp(self):
        self.saved = checking.check
        checking.check = simulated
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        checking.check = self.saved
        self.dir.cleanup()

    def fuzz(self, count, **kw):
        lines = []
        differ = loop.fuzz(Fake(), count, 300, jobs=1, reduce_tries=30, out=lines.append, batch=1, **kw)
        return differ, lines

    def test_one_report_per_group_and_a_resume_goes_on(self):
        folder = os.path.join(self.dir.name, "f")
        differ, lines = self.fuzz(8, findings=folder)
        self.assertGreater(differ, 1)
        with open(os.path.join(folder, "campaign.json")) as f:
            state = json.load(f)
        reports = sorted(f for f in os.listdir(folder) if f.endswith(".md"))
        self.assertEqual(len(reports), len(state["groups"]))
        self.assertEqual(sum(len(g["seeds"]) for g in state["groups"]), differ)
        with open(os.path.join(folder, reports[0])) as f:
            text = f.read()
        self.assertIn("GetExceptionCode() in an __except block is the code", text)
        self.assertIn("    cc ", text)
        # resumed with a larger count: only the cases not yet run
        differ2, lines2 = self.fuzz(12, resume=folder)
        with open(os.path.join(folder, "campaign.json")) as f:
            state2 = json.load(f)
        self.assertEqual(state2["cases"], 12)
        self.assertEqual(sorted(state2["done"]), list(range(12)))
        # the groups found before are kept, seeds added to them in place
        self.assertEqual([g["signature"] for g in state2["groups"][:len(state["groups"])]],
                         [g["signature"] for g in state["groups"]])
        self.assertTrue(lines2[-1].startswith("12 cases in "))

    def test_a_count_and_minutes_both_stop_a_campaign(self):
        _, lines = self.fuzz(3, minutes=5)
        self.assertTrue(lines[-1].startswith("3 cases in 3 programs: "))


class Rules(unittest.TestCase):
    def test_the_rule_follows_the_lines_that_part(self):
        self.assertIn("AbnormalTermination()", rule("output", "T3 0", "T3 1"))
        self.assertIn("before any termination handler", rule("output", "T3 1", "F2 E0000001 0 0 0"))
        self.assertIn("EXCEPTION_NESTED_CALL", rule("output", "F2 E0000001 0 0 0", "F2 E0000001 10 0 0"))
        self.assertIn("killed", rule("crash", None, "E4"))
        self.assertIn("independent", rule("batch", None, None))


if __name__ == "__main__":
    unittest.main()
