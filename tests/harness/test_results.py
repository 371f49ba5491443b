"""Stored runs and what is made of them: expected-failure files, results
files, comparisons, merged shards, the matrix and JUnit."""
import json
import os
import tempfile
import unittest
import xml.etree.ElementTree as ET

import compare
import matrix
import report
import results
import runner
import xfail
from verdicts import Verdict, judge_known


def row(name, verdict="PASS", reason="", failure=None, status=0, known=""):
    return {"name": name, "verdict": Verdict(verdict), "reason": reason, "failure": reason if failure is None else failure,
            "known": known, "status": status, "stdout": "", "stderr": "", "seconds": 0.1, "attempts": 1}


def run(platform="wine", tools=(("clang --version", "clang 19"),)):
    return {"platform": platform, "tools": [{"command": c, "version": v} for c, v in tools]}


class ExpectedFailureFiles(unittest.TestCase):
    def parse(self, text, names=None):
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
            f.write(text)
        self.addCleanup(os.unlink, f.name)
        try:
            return xfail.parse_xfail(f.name, names)
        except xfail.XfailError as e:
            return str(e).replace(f.name, "FILE")

    def test_entries_old_and_new(self):
        known = self.parse("# comment\n\nA: old style reason\nB: reason | fails: exit status 3\n"
                           "C (flaky): sometimes | fails: hang\n")
        self.assertEqual((known["A"].reason, known["A"].match, known["A"].flaky), ("old style reason", None, False))
        self.assertEqual((known["B"].reason, known["B"].match), ("reason", "exit status 3"))
        self.assertTrue(known["C"].flaky)

    def test_bad_entries_name_file_and_line(self):
        self.assertEqual(self.parse("A: x\nthis is no entry\n"),
                         "FILE:2: not an entry: expected 'NAME: reason', optionally with '| fails: TEXT' after it "
                         "and '(flaky)' after the name")
        self.assertEqual(self.parse("A: x\nA: y\n"), "FILE:2: A is listed twice (first at FILE:1)")
        self.assertEqual(self.parse("A: x\nZ: y\n", names={"A"}),
                         "FILE:2: Z is no program of the suite or the behaviour programs")
        self.assertTrue(self.parse("A: x | fails: \n").startswith("FILE:1: not an entry"))

    def test_judging_with_an_entry(self):
        entry = xfail.Entry("A", "clang crashes", "Segmentation fault")
        self.assertEqual(judge_known(False, "not built: clang: Segmentation fault", entry)[0], Verdict.XFAIL)
        verdict, reason = judge_known(False, "exit status 255: TEST 1 FAILED", entry)
        self.assertEqual((verdict, reason), (Verdict.FAIL, "fails differently than listed: exit status 255: "
                                                           "TEST 1 FAILED [listed: Segmentation fault]"))
        self.assertEqual(judge_known(True, "", entry)[0], Verdict.XPASS)
        self.assertEqual(judge_known(True, "", xfail.Entry("A", "r", flaky=True))[0], Verdict.PASS)
        self.assertEqual(judge_known(False, "hang", None, timed_out=True)[0], Verdict.TIMEOUT)
        self.assertEqual(judge_known(False, "hang", xfail.Entry("A", "r", "hang"), timed_out=True)[0], Verdict.XFAIL)

    def test_the_projects_own_files_are_valid_and_every_entry_has_its_match(self):
        import programs
        from paths import EXPECTED_FAILURES, ROOT
        names = {r.name for which in programs.SETS.values() for p in which(ROOT) for r in p.runs}
        for name in os.listdir(EXPECTED_FAILURES):
            for entry in xfail.parse_xfail(os.path.join(EXPECTED_FAILURES, name), names).values():
                self.assertIsNotNone(entry.match, f"{entry.where}: {entry.name} has no '| fails:'")


class ResultsFiles(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)

    def path(self, name="r.json", data=None):
        path = os.path.join(self.tmp.name, name)
        if data is not None:
            with open(path, "w") as f:
                f.write(data if isinstance(data, str) else json.dumps(data))
        return path

    def test_round_trip(self):
        path = self.path()
        results.write(path, run(), [row("a"), row("b", "XFAIL", "exit status 3 [expected: x]", "exit status 3")])
        info, rs = results.load(path)
        self.assertEqual(info["platform"], "wine")
        self.assertEqual([(r["name"], r["verdict"], r["platform"]) for r in rs],
                         [("a", Verdict.PASS, "wine"), ("b", Verdict.XFAIL, "wine")])
        with open(path) as f:
            self.assertEqual(json.load(f)["format"], results.FORMAT)

    def test_what_is_not_a_results_file_is_refused_by_name(self):
        cases = [("x", "not a results file (not JSON"), ({"a": 1}, "not a results file (no 'format')"),
                 ({"format": 99, "run": {}, "results": []}, "results format 99; this zeb reads format 1"),
                 ({"format": 1, "run": {"platform": "p"}, "results": [{"name": "a"}]},
                  "result 1 lacks verdict, reason, status"),
                 ({"format": 1, "run": {"platform": "p"}, "results": [dict(row("a"), verdict="MAYBE")]},
                  "unknown verdict 'MAYBE'")]
        for data, message in cases:
            with self.assertRaises(results.ResultsError) as e:
                results.load(self.path(data=data))
            self.assertIn(message, str(e.exception))

    def test_merge_joins_shards_and_refuses_what_is_not_one_run(self):
        a = ("a.json", run(), [row("x"), row("z")])
        b = ("b.json", run(), [row("y")])
        info, merged = results.merge([a, b])
        self.assertEqual([r["name"] for r in merged], ["x", "y", "z"])
        self.assertEqual(info["merged_from"], ["a.json", "b.json"])
        for other, message in [(("c.json", run(), [row("x")]), "x is in a.json too"),
                               (("c.json", run("host"), [row("w")]), "a run of host"),
                               (("c.json", run(tools=[("clang --version", "clang 20")]), [row("w")]), "tools differ")]:
            with self.assertRaisesRegex(results.ResultsError, message):
                results.merge([a, other])

    def test_shards_split_every_program_once_by_name(self):
        class P:
            def __init__(self, name):
                self.name = name
        everything = [P(f"ZEB{i:04}") for i in range(1, 59)] + [P("cxx-a"), P("cxx-b")]
        parts = [runner.in_shard(everything, (k, 3)) for k in (1, 2, 3)]
        self.assertEqual(sorted(p.name for part in parts for p in part), sorted(p.name for p in everything))
        self.assertTrue(all(parts))
        # The same program is in the same shard whatever else is chosen.
        self.assertEqual([p.name for p in runner.in_shard(everything[:5], (2, 3))],
                         [p.name for p in parts[1] if p in everything[:5]])


class Comparisons(unittest.TestCase):
    def groups(self, old, new):
        return {k: [n for n, _, _ in v] for k, v in compare.changes(old, new).items() if v}

    def test_groups(self):
        old = [row("same"), row("breaks"), row("heals", "FAIL", "exit status 1"), row("moves", "XFAIL", "x", "line 3"),
               row("xpass", "XFAIL", "x", "line 1"), row("gone"), row("cut", "UNRESOLVED", "no connection")]
        new = [row("same"), row("breaks", "FAIL", "exit status 1"), row("heals"),
               row("moves", "XFAIL", "x", "line 4"), row("xpass", "XPASS", "passed"), row("new"), row("cut")]
        self.assertEqual(self.groups(old, new), {"newly_failing": ["breaks"], "newly_passing": ["heals"],
                                                 "failing_differently": ["moves"], "xpass": ["xpass"],
                                                 "added": ["new"], "removed": ["gone"], "unresolved": ["cut"]})

    def test_a_crash_that_becomes_a_wrong_count_fails_differently(self):
        old = [row("ZEB0015", "XFAIL", "not built ... [expected: crash]", "not built: Segmentation fault", None)]
        new = [row("ZEB0015", "FAIL", "fails differently", "exit status 255: TEST 15 FAILED", 255)]
        lines, worse = compare.report(run(), old, run(), new)
        self.assertTrue(worse)
        self.assertIn("failing differently (1):", lines)

    def test_addresses_and_thread_numbers_are_not_a_difference(self):
        crash = "exit status 29: wine: Unhandled illegal instruction at address 00000001400011D4 (thread {})"
        old = [row("p", "XFAIL", "x", crash.format("026c"), 29)]
        self.assertEqual(self.groups(old, [row("p", "XFAIL", "x", crash.format("0268"), 29)]), {})
        code = "exit status 5: unhandled exception 0xC0000005 (access violation) at 0x{}"
        old = [row("q", "FAIL", "x", code.format("55d0c0a81234"), 5)]
        self.assertEqual(self.groups(old, [row("q", "FAIL", "x", code.format("5612aa0b0c4d"), 5)]), {})
        self.assertEqual(self.groups(old, [row("q", "FAIL", "x", code.replace("C0000005", "C0000094").format("1"), 5)]),
                         {"failing_differently": ["q"]})

    def test_nothing_changed_and_tools_that_differ(self):
        rs = [row("a"), row("b", "XFAIL", "x", "line 2")]
        lines, worse = compare.report(run(), rs, run(), rs)
        self.assertFalse(worse)
        self.assertEqual(lines[-1], "2 programs in both runs, 2 unchanged, nothing changed")
        lines, worse = compare.report(run(), rs, run("windows-arm64", [("clang --version", "clang 22")]), rs)
        self.assertFalse(worse)
        self.assertTrue(lines[0].startswith("The runs are of different platforms: wine (old) and windows-arm64"))
        self.assertIn("  clang --version: clang 19  ->  clang 22", lines)


class Reports(unittest.TestCase):
    def test_junit_holds_whatever_programs_print(self):
        rs = [dict(row("ctl", "FAIL", "exit status 1: a\\x01b"), stdout="a\x01b\x1b[0m\x00"),
              row("cut", "UNRESOLVED", "no connection"), row("again", "FLAKY", "as expected on attempt 2")]
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "j.xml")
            report.write_junit(rs, path, "p")
            suite = ET.parse(path).getroot()
        self.assertEqual((suite.get("failures"), suite.get("errors")), ("1", "1"))
        cases = {c.get("name"): c for c in suite}
        self.assertEqual(cases["ctl"].find("failure").text, "a\ufffdb\ufffd[0m\ufffd")
        self.assertIsNotNone(cases["cut"].find("error"))
        self.assertEqual(cases["again"].find("system-out").text, "as expected on attempt 2")

    def test_closing_lines_count_flaky_as_passed_and_unresolved_as_neither(self):
        rs = [row("a"), row("b", "FLAKY"), row("c", "UNRESOLVED"), row("d", "TIMEOUT"), row("e", "XFAIL")]
        lines = report.closing(rs).splitlines()
        self.assertEqual(lines[-1], "2 passed, 1 failed")
        self.assertIn("1 unresolved (the runner could not run them; counted neither as passed nor as failed)", lines)
        self.assertFalse(report.run_ok([row("a"), row("c", "UNRESOLVED")]))
        self.assertTrue(report.run_ok([row("a"), row("e", "XFAIL")]))

    def test_matrix_cells_are_short_and_causes_written_once(self):
        cause = "clang-19 crashes | badly"
        a = [row("ZEB0001"), row("ZEB0015", "XFAIL", "x", known=cause), row("ZEB0017", "XFAIL", "x", known=cause)]
        b = [row("ZEB0001", "FAIL", "exit status 255: TEST 1 FAILED"), row("ZEB0015")]
        text = matrix.markdown([(dict(run(), description="Wine"), a), (run("arm", ()), b)])
        self.assertIn("| ZEB0001 | pass | FAIL 1 |", text)
        self.assertIn("| ZEB0015 | xfail 2 | pass |", text)
        self.assertIn("| ZEB0017 | xfail 2 | - |", text)
        self.assertEqual(text.count("clang-19 crashes"), 1)
        self.assertIn("2. clang-19 crashes \\| badly", text)
        self.assertIn("  - `clang --version`: clang 19", text)


if __name__ == "__main__":
    unittest.main()
