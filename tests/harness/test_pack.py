"""The pack for a Windows device: its manifest, and zeb-run.exe's judging
against check.judge on crafted runs of a tiny program under Wine, with bad
input (a missing or damaged manifest, a missing program, an output folder
that cannot be written)."""
import json
import os
import re
import shutil
import subprocess
import tempfile
import unittest

import check
import compare
import pack
import process
import xfail
from paths import ROOT
from verdicts import judge_known

WINE = "/usr/lib/wine/wine64"
PREFIX = os.path.join(ROOT, "build", "wine", "wineprefix")
CLANG = ["clang-19", "--target=x86_64-w64-mingw32", "-O1", "-static", "-Wall", "-Wextra", "-Werror"]
NOTE = re.compile(r" \[exit code 0x[0-9A-F]{8}(: [^\]]*)?\]")


class Manifest(unittest.TestCase):
    def test_lines_split_at_patterns(self):
        self.assertEqual(pack.output_lines("plain\r\nat {{0x[0-9a-f]+}} and {{[0-9]+}}\nlast", "R"),
                         [["plain\r\n"], ["at ", "0x[0-9a-f]+", " and ", "[0-9]+", "\n"], ["last"]])
        self.assertEqual(pack.output_lines("", "R"), [])
        # The suite's own patterns are all taken.
        self.assertEqual(pack.output_lines("{{x86-64|arm64|arm}}\n", "R"), [["", "x86-64|arm64|arm", "\n"]])

    def test_patterns_beyond_the_matcher_are_refused(self):
        for bad in ("^a", "a{2}", "(?=a)", r"\1", "a+?", "a$"):
            with self.assertRaises(pack.PackError, msg=bad):
                pack.output_lines("x{{" + bad + "}}\n", "R")

    def test_only_packed_runs_expected_failures(self):
        class P:
            name, description, path, source_path = "p", "d", "p.toml", os.path.join(ROOT, "platforms", "wine.toml")
            text_mode, timeout, versions, build_dir = True, 10.0, [], tempfile.gettempdir()
            known = {"A": xfail.Entry("A", "why", "exit status 3", True), "B": xfail.Entry("B", "other")}
            def env(self, arch=None):
                return {}
        data = pack.manifest(P(), [{"name": "A"}], "suite", None)
        self.assertEqual(data["expected_failures"], [{"name": "A", "reason": "why", "match": "exit status 3",
                                                      "flaky": True}])
        self.assertEqual((data["format"], data["platform"]["name"], data["platform"]["text_mode"]), (1, "p", True))
        self.assertEqual(len(data["platform"]["platform_file_sha256"]), 64)


def have_wine():
    return shutil.which("clang-19") and os.path.exists(WINE) and os.path.isdir(PREFIX)


# Crafted runs of behave.exe: (name, args, expected output, expected status).
CASES = [
    ("passes", ["0", "a\\nb\\n"], "a\nb\n", 0),
    ("status-expected", ["5"], "", 5),
    ("seh-line", ["1", "TEST 3 FAILED\\n"], "", 0),
    ("differs", ["0", "a\\nc\\n"], "a\nb\n", 0),
    ("too-short", ["0", "a\\n"], "a\nb\n", 0),
    ("quote", ["0", "it's\\n"], "its\n", 0),
    ("stderr-line", ["3", "", "  first\\nsecond\\n"], "", 0),
    ("bare-status", ["4"], "", 0),
    ("minus-one", ["0xFFFFFFFF"], "", 0),
    ("pattern", ["0", "at 0x1F40 n=12\\n"], "at {{(0x)?[0-9a-fA-F]+}} n={{[0-9]+}}\n", 0),
    ("pattern-differs", ["0", "at zz\\n"], "at {{(0x)?[0-9a-fA-F]+}}\n", 0),
    ("xfail", ["3", "TEST 9 FAILED\\n"], "", 0),
    ("fails-differently", ["4", "TEST 9 FAILED\\n"], "", 0),
    ("xpass", ["0"], "", 0),
    ("flaky-passes", ["0"], "", 0),
    ("fault", ["fault"], "", 0),
    ("hang", ["hang"], "", 0),
]
KNOWN = [{"name": "xfail", "reason": "known", "match": "exit status 3", "flaky": False},
         {"name": "fails-differently", "reason": "known", "match": "exit status 3", "flaky": False},
         {"name": "xpass", "reason": "listed", "match": None, "flaky": False},
         {"name": "flaky-passes", "reason": "sometimes", "match": "x", "flaky": True},
         {"name": "not-built", "reason": "the compiler crashes", "match": "not built: boom", "flaky": False}]


@unittest.skipUnless(have_wine(), "needs clang-19, Wine and the wine platform's prefix (./zeb run --platform wine)")
class Runner(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="zeb-pack-test-")
        os.makedirs(os.path.join(cls.dir, "programs"))
        subprocess.run(CLANG + [os.path.join(ROOT, "device", "unity.c"), "-o", os.path.join(cls.dir, "zeb-run.exe")],
                       check=True)
        subprocess.run(CLANG + [os.path.join(ROOT, "tests", "harness", "device", "behave.c"),
                                "-o", os.path.join(cls.dir, "programs", "behave.exe")], check=True)
        cls.env = dict(os.environ, WINEPREFIX=PREFIX, WINEDEBUG="-all")
        # A server of its own, kept off the test's output so that nothing
        # waits for it to end.
        subprocess.run(["wineserver", "-p", "60"], env=cls.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        runs = [{"name": n, "program": "programs/behave.exe", "not_built": None, "args": a, "status": s,
                 "timeout": 3, "output": pack.output_lines(o, n)} for n, a, o, s in CASES]
        runs += [{"name": "not-built", "program": None, "not_built": "not built: boom", "args": [], "status": 0,
                  "timeout": 3, "output": []},
                 {"name": "missing", "program": "programs/gone.exe", "not_built": None, "args": [], "status": 0,
                  "timeout": 3, "output": []}]
        cls.manifest = {"format": 1, "platform": {"name": "crafted", "description": "d", "platform_file": "f",
                                                  "platform_file_sha256": None, "tools": [], "text_mode": True,
                                                  "timeout": 3},
                        "zeb_commit": None, "zeb_modified": None, "programs": "suite", "regex": None,
                        "runs": runs, "expected_failures": KNOWN}
        cls.write_manifest(json.dumps(cls.manifest))
        cls.status, cls.out, cls.err = cls.run_pack()
        with open(os.path.join(cls.dir, "results.json"), encoding="utf-8") as f:
            cls.results = {r["name"]: r for r in json.load(f)["results"]}

    @classmethod
    def tearDownClass(cls):
        subprocess.run(["wineserver", "-k"], env=cls.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        shutil.rmtree(cls.dir, ignore_errors=True)

    @classmethod
    def write_manifest(cls, text):
        with open(os.path.join(cls.dir, "manifest.json"), "w", encoding="utf-8") as f:
            f.write(text)

    @classmethod
    def run_pack(cls, *args):
        # The harness's own runner: it waits for zeb-run.exe, not for the
        # Wine processes that the run leaves holding its output open.
        p = process.run([WINE, "zeb-run.exe", "--jobs", "2"] + list(args), 300, env=cls.env, cwd=cls.dir)
        return p.status, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")

    def expected(self, name):
        """What check.judge and judge_known make of the run zeb-run.exe
        recorded, with the exit status that Linux would have seen."""
        r = self.results[name]
        case = {n: (o, s) for n, _, o, s in CASES}[name]
        entry = next((xfail.Entry(k["name"], k["reason"], k["match"], k["flaky"]) for k in KNOWN
                      if k["name"] == name), None)
        status = r["status"] & 0xFF if r["status"] is not None else 0
        passed, reason = check.judge(status, r["stdout"], r["stderr"], case[0], case[1], r["status"] is None, 3.0)
        return judge_known(passed, reason, entry, r["status"] is None)

    def test_judging_agrees_with_check_judge(self):
        for name, *_ in CASES:
            if name == "fault":
                continue
            verdict, reason = self.expected(name)
            got = self.results[name]
            self.assertEqual((got["verdict"], NOTE.sub("", got["reason"])), (str(verdict), reason), name)
        self.assertEqual(self.results["quote"]["reason"],
                         "exit status 0; line 1: expected 'its\\n', got \"it's\\n\"")
        self.assertEqual(self.results["hang"]["reason"], "hang: still running after 3 s")
        self.assertEqual(self.results["hang"]["verdict"], "TIMEOUT")

    def test_an_exit_code_beyond_8_bits_is_told_whole(self):
        fault = self.results["fault"]
        self.assertEqual((fault["verdict"], fault["status"]), ("FAIL", 0xC0000005))
        self.assertTrue(fault["reason"].startswith("exit status 5"), fault["reason"])
        self.assertIn("[exit code 0xC0000005: access violation]", fault["reason"])
        self.assertIn("[exit code 0xFFFFFFFF]", self.results["minus-one"]["reason"])
        # The same failure as Linux saw it through Wine.
        linux = dict(fault, status=5, reason=NOTE.sub("", fault["reason"]), failure=NOTE.sub("", fault["failure"]))
        self.assertIsNone(compare.classify(linux, fault))

    def test_not_built_and_missing_programs(self):
        self.assertEqual(self.results["not-built"]["verdict"], "XFAIL")
        self.assertEqual(self.results["not-built"]["status"], None)
        missing = self.results["missing"]
        self.assertEqual((missing["verdict"], missing["attempts"]), ("UNRESOLVED", 0))
        self.assertIn("programs/gone.exe is not in the pack's folder", missing["reason"])

    def test_table_closing_lines_and_exit_status(self):
        self.assertEqual(self.status, 1)
        tail = self.out.rstrip().splitlines()[-5:]
        self.assertEqual(tail[-1], "4 passed, 12 failed")
        self.assertIn("1 unresolved (the runner could not run them; counted neither as passed nor as failed)", tail)
        self.assertIn("1 timed out (counted as failed)", tail)
        header = [l for l in self.out.splitlines() if l.startswith("program ")][0]
        self.assertEqual(header, "program            verdict     what went wrong (crafted)")

    def test_results_file_and_junit_are_well_formed(self):
        import results
        import xml.etree.ElementTree as ET
        run, rows = results.load(os.path.join(self.dir, "results.json"))
        self.assertEqual(set(run["windows"]), {"version", "build", "architecture", "emulated"})
        self.assertEqual(results.column_name(run), f"crafted (Windows {run['windows']['version']})")
        self.assertEqual(len(rows), len(CASES) + 2)
        suite = ET.parse(os.path.join(self.dir, "results.xml")).getroot()
        self.assertEqual((suite.get("tests"), suite.get("failures"), suite.get("errors")), (str(len(rows)), "12", "1"))

    def test_regex_picks_runs(self):
        status, out, _ = self.run_pack("^pass", "--out", "picked")
        self.assertEqual((status, out.rstrip().splitlines()[-1]), (0, "1 passed, 0 failed"))

    def test_bad_input_is_one_line_and_exit_2(self):
        cases = [("{\"format\": 1, \"runs\": [}", "damaged (not JSON: line 1, column 24"),
                 ("{\"format\": 2}", "a manifest of another format"),
                 (json.dumps(dict(self.manifest, runs=[{"name": "x"}])), "run x: 'program', 'not_built'"),
                 (json.dumps(dict(self.manifest, runs=[dict(self.manifest["runs"][0], program="../x.exe")])),
                  "must be a path inside the pack"),
                 ("[" * 100 + "]" * 100, "nested too deep")]
        try:
            for text, message in cases:
                self.write_manifest(text)
                status, out, err = self.run_pack()
                self.assertEqual(status, 2, text)
                self.assertEqual(len(err.strip().splitlines()), 1, err)
                self.assertIn(message, err)
            os.unlink(os.path.join(self.dir, "manifest.json"))
            status, _, err = self.run_pack()
            self.assertEqual(status, 2)
            self.assertIn("manifest.json: cannot be read", err)
        finally:
            self.write_manifest(json.dumps(self.manifest))
        status, _, err = self.run_pack("--out", "Z:\\no\\such\\folder\\at\\all")
        self.assertEqual(status, 2)
        self.assertIn("cannot write results into", err)
        status, _, err = self.run_pack("--jobs", "0")
        self.assertEqual(status, 2)
        self.assertIn("--jobs must be from 1 to 64", err)


if __name__ == "__main__":
    unittest.main()
