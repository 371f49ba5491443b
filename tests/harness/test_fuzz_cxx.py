"""The model of C++ cases: destructor order, the object's single end, what
filters see of a throw, and the two models of catch (...).  Each expected
output is written out from the documented rules, not from the model."""
import unittest

from fuzz.cprint import c_source
from fuzz.generate import generate
from fuzz.model import Model, Undefined
from fuzz.program import (Call, Event, Fault, Filter, Jump, LongJmp, Object, Program, Raise, Rethrow, SetJmp, Throw,
                          Try, TryCatch, walk)

C1 = 0xE0000001
SEEN = "E06D7363 1 C++ 19930520"     # a throw as a filter sees it: code, noncontinuable, the ABI's magic number


def run(*functions, kinds=None, filters=(), async_=False):
    """The lines of one call of f0 from main (its catch clauses around it)."""
    p = Program(0, [list(f) for f in functions], {f.id: f for f in filters}, "c++",
                kinds or ["cxx"] * len(functions), async_)
    return Model(p).run([0]).lines[:-1]


def fin(id, body, handler=()):
    return Try(id, "finally", list(body), list(handler))


def exc(id, body, handler=()):
    return Try(id, "except", list(body), list(handler), filter=id)


def catch(id, body, *clauses):
    return TryCatch(id, list(body), [(c, list(h)) for c, h in clauses])


class ObjectsAndCatches(unittest.TestCase):
    def test_the_unwind_destroys_locals_before_the_clause_and_the_object_after_it(self):
        lines = run([catch(1, [Object(2), Object(3), Throw(4, "A")], ("B", [Event(9)]), ("A", [Event(5)])),
                     Event(6)])
        self.assertEqual(lines, ["O2", "O3", "N4", "D3", "D2", "C1 4", "E5", "Z4", "E6"])

    def test_a_rethrow_caught_again_is_destroyed_once_at_the_end_of_the_last_clause(self):
        lines = run([catch(1, [catch(2, [Throw(3, "A")], ("A", [Object(4), Rethrow(5), Event(9)]))],
                           ("A", [Event(6)]))])
        self.assertEqual(lines, ["N3", "C2 3", "O4", "R5", "D4", "C1 3", "E6", "Z3"])

    def test_a_clause_left_by_a_new_throw_destroys_its_own_object_on_the_way(self):
        lines = run([catch(1, [catch(2, [Throw(3, "A")], ("A", [Object(4), Throw(5, "B")]))], ("B", []))])
        self.assertEqual(lines, ["N3", "C2 3", "O4", "N5", "D4", "Z3", "C1 5", "Z5"])

    def test_a_catch_all_names_no_object_and_a_jump_out_of_a_clause_ends_it(self):
        lines = run([catch(1, [Throw(2, "B")], ("A", []), ("...", [Object(3), Jump("return", 0)])), Event(9)])
        self.assertEqual(lines, ["N2", "C1", "O3", "D3", "Z2"])

    def test_an_uncaught_throw_ends_in_mains_catch(self):
        self.assertEqual(run([Object(1), Throw(2, "A")]), ["O1", "N2", "D1", "M A 2", "Z2"])


class ThrowsAndGuardedBlocks(unittest.TestCase):
    # f0 (C++) catches A around f1 (guarded) whose try/except holds a
    # try/finally around f2 (C++), which throws with a local alive.
    def case(self, verdict):
        return run([catch(1, [Call(1, False)], ("A", [Event(6)]))],
                   [exc(2, [fin(3, [Call(2, False)])], [Event(7)])],
                   [Object(4), Throw(5, "A")],
                   kinds=["cxx", "seh", "cxx"], filters=[Filter(2, [], verdict)])

    def test_a_declining_filter_sees_the_throw_before_any_unwind(self):
        self.assertEqual(self.case(0), ["O4", "N5", f"F2 {SEEN} 5", "D4", "T3 1", "C1 5", "E6", "Z5"])

    def test_an_except_taking_a_throw_destroys_the_object_as_its_handler_is_entered(self):
        self.assertEqual(self.case(1), ["O4", "N5", f"F2 {SEEN} 5", "D4", "T3 1", "Z5", "H2", "E7"])

    def test_a_rethrow_taken_by_an_except_ends_with_the_clause_it_left(self):
        lines = run([exc(1, [fin(2, [Call(1, False)])])],
                    [catch(3, [Throw(4, "A")], ("A", [Object(5), Rethrow(6)]))],
                    kinds=["seh", "cxx"], filters=[Filter(1, [], 1)])
        self.assertEqual(lines, ["N4", "C3 4", "O5", "R6", f"F1 {SEEN} 4", "D5", "Z4", "T2 1", "H1"])


class BuildModels(unittest.TestCase):
    def test_catch_all_takes_a_structured_exception_only_under_the_asynchronous_model(self):
        body = [catch(1, [Raise(C1, 0, [])], ("A", []), ("...", [Event(2)]))]
        self.assertEqual(run(body), ["M E0000001"])
        self.assertEqual(run(body, async_=True), ["C1", "E2"])

    def test_a_structured_exception_destroys_objects_after_the_search(self):
        self.assertEqual(run([Object(1), Call(1, False)], [Fault()], kinds=["cxx", "seh"], async_=True),
                         ["O1", "M C0000005", "D1"])

    def test_leaving_objects_by_a_structured_exception_or_long_jump_is_undefined_under_ehs(self):
        with self.assertRaises(Undefined):
            run([Object(1), Raise(C1, 0, [])])
        with self.assertRaises(Undefined):
            run([SetJmp(1, [Call(1, False)], [])], [Object(2), Call(2, False)], [LongJmp(False)],
                kinds=["seh", "cxx", "seh"])
        # a long jump through the same frame under /EHa destroys the object
        self.assertEqual(run([SetJmp(1, [Call(1, False)], [])], [Object(2), Call(2, False)], [LongJmp(False)],
                             kinds=["seh", "cxx", "seh"], async_=True), ["O2", "D2", "J1"])


class Generating(unittest.TestCase):
    def test_c_seeds_keep_their_programs_and_cxx_functions_never_mix(self):
        for seed in range(300, 360):
            both = generate(seed, language="both")
            if both.language == "c":
                self.assertEqual(c_source(both), c_source(generate(seed)))
                continue
            for kind, body in zip(both.kinds, both.functions):
                stmts = list(walk(body))
                guarded = any(isinstance(s, (Try, SetJmp, LongJmp)) for s in stmts)
                cxx = any(isinstance(s, (Object, TryCatch, Throw, Rethrow)) for s in stmts)
                self.assertFalse(guarded and cxx, f"seed {seed}: a function with both")
                self.assertFalse(cxx and kind != "cxx" or guarded and kind != "seh", f"seed {seed}")

    def test_a_rethrow_stands_only_in_a_catch_clause(self):
        def visit(stmts, in_clause):
            for s in stmts:
                if isinstance(s, Rethrow):
                    self.assertTrue(in_clause)
                if isinstance(s, TryCatch):
                    visit(s.body, in_clause)
                    for _, h in s.clauses:
                        visit(h, True)
                else:
                    for b in s.blocks():
                        visit(b, in_clause)
        for seed in range(1, 200):
            for body in generate(seed, language="c++").functions:
                visit(body, False)


if __name__ == "__main__":
    unittest.main()
