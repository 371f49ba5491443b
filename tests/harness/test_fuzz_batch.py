"""Many cases in one program: each case judged alone whatever the others do,
against a simulated platform that crashes, hangs or rejects chosen cases."""
import json
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "harness"))

from fuzz import batch, check as checking  # noqa: E402
from fuzz.batch import Case, Runner, split  # noqa: E402
from fuzz.check import Result, compare  # noqa: E402
from fuzz.generate import generate  # noqa: E402
from fuzz.model import predict  # noqa: E402


def cases(seeds, language="c"):
    return [Case(s, generate(s, language=language), predict(generate(s, language=language))) for s in seeds]


class Simulated:
    """Runs a batch by printing what the model expects of each case, except
    for the cases told otherwise."""
    name, exe_suffix = "simulated", ""

    def __init__(self, crash=(), hang=(), reject=(), only_batched=()):
        self.crash, self.hang, self.reject, self.only_batched = set(crash), set(hang), set(reject), set(only_batched)
        self.expected = {}
        self.built = []
        self.kinds = []                  # (the source's extension, the build kind) of each program built

    def build(self, source, exe, kind=("c", False)):
        with open(source) as f:
            seeds = json.load(f)
        if self.reject.intersection(seeds):
            return False, "error: rejected"
        self.built.append(seeds)
        self.kinds.append((os.path.splitext(source)[1], kind))
        with open(exe, "w") as f:
            json.dump(seeds, f)
        return True, ""

    def run(self, exe):
        with open(exe) as f:
            seeds = json.load(f)
        text = ""
        for k, s in enumerate(seeds):
            e = self.expected[s]
            if s in self.crash or s in self.hang:
                text += e.lines[0] + "\n"
                return (-11, text, "") if s in self.crash else (-9, text, "hang")
            lines = list(e.lines)
            if s in self.only_batched:
                lines[0] += " wrong"
            text += "".join(ln + "\n" for ln in lines) + f"#{k} {e.status}\n"
        return 0, text, ""

    def alone(self, target, program, expected, workdir, name):
        s = program.seed
        if s in self.reject:
            return Result("build", "did not build: error: rejected")
        if s in self.crash:
            return Result("crash", "killed by SIGSEGV")
        if s in self.hang:
            return Result("hang", "still running after the timeout")
        return compare(expected, expected.status, expected.stdout, "")


class Batches(unittest.TestCase):
    def setUp(self):
        self.saved = checking.check, batch.batch_source
        batch.batch_source = lambda programs: json.dumps([p.seed for p in programs])
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        checking.check, batch.batch_source = self.saved
        self.dir.cleanup()

    def run_with(self, target, seeds, language="c", **how):
        cs = cases(seeds, language)
        target.expected = {c.seed: c.expected for c in cs}
        checking.check = target.alone
        runner = Runner(target, self.dir.name, **how)
        results = runner.run(cs, "t", confirm=how.get("rerun_hangs", True))
        self.assertEqual(sorted(results), sorted(seeds))
        return results, runner

    def kinds(self, results):
        return {s: r.kind for s, r in results.items() if not r.agrees}

    def test_a_crash_names_its_case_and_the_rest_still_run(self):
        results, runner = self.run_with(Simulated(crash=[13]), range(10, 20))
        self.assertEqual(self.kinds(results), {13: "crash"})
        # the batch, the crashing case alone, the cases after it
        self.assertEqual(runner.programs, 3)
        self.assertEqual(runner.target.built[-1], list(range(14, 20)))

    def test_a_hang_names_its_case(self):
        results, _ = self.run_with(Simulated(hang=[19]), range(10, 20))
        self.assertEqual(self.kinds(results), {19: "hang"})

    def test_a_hang_need_not_be_run_again_alone(self):
        results, runner = self.run_with(Simulated(hang=[12, 15]), range(10, 20), rerun_hangs=False)
        self.assertEqual(self.kinds(results), {12: "hang", 15: "hang"})
        # the batch, then the cases after each hang: nothing alone
        self.assertEqual(runner.target.built, [list(range(10, 20)), list(range(13, 20)), list(range(16, 20))])
        self.assertTrue(results[12].batched)

    def test_a_rejected_case_is_found_by_halving(self):
        results, runner = self.run_with(Simulated(reject=[16]), range(10, 20))
        self.assertEqual(self.kinds(results), {16: "build"})
        self.assertTrue(all(16 not in b for b in runner.target.built))

    def test_a_difference_seen_only_in_a_batch_says_so(self):
        results, _ = self.run_with(Simulated(only_batched=[11]), range(10, 14))
        self.assertEqual(self.kinds(results), {11: "batch"})
        self.assertIn("only after other cases", results[11].detail)

    def test_cases_of_each_language_and_model_share_programs_only_with_their_own(self):
        seeds = range(30, 70)
        results, runner = self.run_with(Simulated(), seeds, "both")
        self.assertEqual(self.kinds(results), {})
        kind = {s: generate(s, language="both").build_kind for s in seeds}
        self.assertGreater(len(set(kind.values())), 2)      # C, C++ of each model
        for built, (suffix, k) in zip(runner.target.built, runner.target.kinds):
            self.assertEqual({kind[s] for s in built}, {k})
            self.assertEqual(suffix, ".cpp" if k[0] == "c++" else ".c")

    def test_split_keeps_cases_apart_and_sees_an_unfinished_one(self):
        done, partial = split("E1\nX\n#0 5\nE2\n#1 7\nE3\n")
        self.assertEqual(done, [("E1\nX\n", 5), ("E2\n", 7)])
        self.assertTrue(partial)
        # a line like an end out of order is a case's line
        done, partial = split("#1 3\n#0 4\n")
        self.assertEqual(done, [("#1 3\n", 4)])


class Source(unittest.TestCase):
    def test_each_case_has_its_own_names_and_one_main(self):
        from fuzz.cprint import batch_source, c_source
        programs = [generate(s) for s in (5, 6, 7)]
        src = batch_source(programs)
        self.assertEqual(src.count("int main(void)"), 1)
        for k in range(3):
            self.assertIn(f"static void c{k}_run(void)", src)
            self.assertIn(f"static int c{k}_Filter(", src)
            self.assertIn(f'printf("#{k} %u\\n", Sum % 97u);', src)
        # alone, a case is the program it always was
        self.assertNotIn("c0_", c_source(programs[0]))


if __name__ == "__main__":
    unittest.main()
