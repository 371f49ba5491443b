"""The fuzzer's model of C++ programs: thrown objects whose lives print
lines, catch clauses by type and catch (...), rethrows, new throws from a
handler, and C++ throws passing __except filters in other functions.  Each
expectation is written out from the documented rules, not from the model."""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "harness"))

from fuzz.cprint import c_source  # noqa: E402
from fuzz.generate import generate  # noqa: E402
from fuzz.known import load  # noqa: E402
from fuzz.model import Model, Undefined  # noqa: E402
from fuzz.program import (Call, Event, Fault, Filter, Jump, LongJmp, Object, Program, Raise, Rethrow,  # noqa: E402
                          SetJmp, Throw, Try, TryCatch, static_constructs, walk)

C1 = 0xE0000001
THROWN = "E06D7363 1 C++ 19930520"       # a filter's view of a C++ throw: noncontinuable, the ABI's magic number


def run(*functions, kinds, async_=False, filters=()):
    """The lines of one call of f0 from main (through main's catch clauses)."""
    p = Program(0, list(functions), {f.id: f for f in filters}, "c++", list(kinds), async_)
    return Model(p).run([0]).lines[:-1]


def catch(id, body, *clauses):
    return TryCatch(id, list(body), [(cls, list(h)) for cls, h in clauses])


def exc(id, body, handler=()):
    return Try(id, "except", list(body), list(handler), filter=id)


class Catching(unittest.TestCase):
    def test_the_unwind_destroys_the_body_objects_before_the_clause_and_the_clause_ends_the_object(self):
        lines = run([catch(1, [Object(2), Object(3), Throw(4, "A")], ("A", [Event(5)])), Event(6)], kinds=["cxx"])
        self.assertEqual(lines, ["O2", "O3", "N4", "D3", "D2", "C1 4", "E5", "Z4", "E6"])

    def test_a_clause_of_another_class_passes_to_the_enclosing_one(self):
        inner = catch(2, [Throw(3, "B")], ("A", [Event(4)]))
        lines = run([catch(1, [inner], ("A", [Event(5)]), ("B", [Event(6)]))], kinds=["cxx"])
        self.assertEqual(lines, ["N3", "C1 3", "E6", "Z3"])

    def test_an_uncaught_class_reaches_mains_clauses(self):
        lines = run([Object(1), catch(2, [Throw(3, "B")], ("A", []))], kinds=["cxx"])
        self.assertEqual(lines, ["O1", "N3", "D1", "M B 3", "Z3"])


class Rethrowing(unittest.TestCase):
    def test_a_rethrown_object_is_destroyed_once_when_the_last_clause_ends(self):
        inner = catch(2, [Throw(3, "A")], ("A", [Object(4), Event(5), Rethrow(6)]))
        lines = run([catch(1, [inner], ("...", [Event(7)]))], kinds=["cxx"])
        self.assertEqual(lines, ["N3", "C2 3", "O4", "E5", "R6", "D4", "C1", "E7", "Z3"])

    def test_a_rethrow_twice_caught_twice(self):
        inner = catch(3, [Throw(4, "A")], ("A", [Rethrow(5)]))
        middle = catch(2, [inner], ("A", [Rethrow(6)]))
        lines = run([catch(1, [middle], ("A", []))], kinds=["cxx"])
        self.assertEqual(lines, ["N4", "C3 4", "R5", "C2 4", "R6", "C1 4", "Z4"])

    def test_a_new_throw_from_a_handler_ends_the_first_object_as_it_leaves_the_clause(self):
        inner = catch(2, [Throw(3, "A")], ("A", [Object(4), Throw(5, "B")]))
        lines = run([catch(1, [inner], ("B", [Event(6)]))], kinds=["cxx"])
        self.assertEqual(lines, ["N3", "C2 3", "O4", "N5", "D4", "Z3", "C1 5", "E6", "Z5"])

    def test_a_new_throw_caught_inside_the_handler_leaves_the_first_object_alive(self):
        nested = catch(3, [Throw(4, "B")], ("B", [Event(5)]))
        inner = catch(2, [Throw(6, "A")], ("A", [nested, Event(7)]))
        lines = run([inner], kinds=["cxx"])
        self.assertEqual(lines, ["N6", "C2 6", "N4", "C3 4", "E5", "Z4", "E7", "Z6"])

    def test_a_rethrow_taken_out_of_its_clause_is_no_program(self):
        # a reduction that replaces the try/catch by its clause's statements
        from fuzz.model import ModelError
        from fuzz.reduce import valid
        inside = catch(1, [Throw(2, "A")], ("A", [Rethrow(3)]))
        outside = Program(0, [[Throw(2, "A"), Rethrow(3)]], {}, "c++", ["cxx"], False)
        self.assertTrue(valid(Program(0, [[inside]], {}, "c++", ["cxx"], False)))
        self.assertFalse(valid(outside))
        with self.assertRaises(ModelError):
            run([Rethrow(3)], kinds=["cxx"])

    def test_code_after_a_try_catch_is_a_shape_and_switching_it_off_keeps_a_last_one(self):
        from fuzz.generate import switch_off
        last = catch(3, [Throw(4, "A")], ("...", []))
        p = Program(0, [[catch(1, [Event(2)], ("...", [])), Event(5), last]], {}, "c++", ["cxx"], True)
        self.assertIn("code-after-try-catch", static_constructs(p))
        switch_off(p, {"code-after-try-catch"})
        self.assertEqual([type(s).__name__ for s in p.functions[0]], ["Event", "TryCatch"])
        self.assertNotIn("code-after-try-catch", static_constructs(p))


class ThroughExceptFilters(unittest.TestCase):
    def test_a_declining_filter_in_another_function_sees_the_throw(self):
        lines = run([exc(1, [Call(1, False)], [Event(9)])], [Object(2), Throw(3, "A")], kinds=["seh", "cxx"],
                    filters=[Filter(1, [], 0)])
        # the search runs the filter before the unwind destroys anything
        self.assertEqual(lines, ["O2", "N3", f"F1 {THROWN} 3", "D2", "M A 3", "Z3"])

    def test_an_accepting_filter_takes_the_throw_and_the_object_ends_as_the_handler_is_entered(self):
        lines = run([exc(1, [Call(1, False)], [Event(9)])], [Object(2), Throw(3, "B")], kinds=["seh", "cxx"],
                    filters=[Filter(1, [], 1)])
        self.assertEqual(lines, ["O2", "N3", f"F1 {THROWN} 3", "D2", "Z3", "H1", "E9"])

    def test_a_rethrow_seen_by_a_filter_shows_the_first_object_and_taken_ends_its_clause(self):
        f1 = [catch(2, [Throw(3, "A")], ("A", [Event(4), Rethrow(5)]))]
        lines = run([exc(1, [Call(1, False)])], f1, kinds=["seh", "cxx"], filters=[Filter(1, [], 1)])
        self.assertEqual(lines, ["N3", "C2 3", "E4", "R5", f"F1 {THROWN} 3", "Z3", "H1"])

    def test_a_filter_between_a_new_throw_and_its_clause_sees_the_new_object(self):
        # f0: catch B { f1: __try { f2: catch A { throw B } } __except (declines) }
        f1 = [exc(1, [Call(2, False)])]
        f2 = [catch(2, [Throw(3, "A")], ("A", [Throw(4, "B")]))]
        lines = run([catch(5, [Call(1, False)], ("B", []))], f1, f2, kinds=["cxx", "seh", "cxx"],
                    filters=[Filter(1, [], 0)])
        self.assertEqual(lines, ["N3", "C2 3", "N4", f"F1 {THROWN} 4", "Z3", "C5 4", "Z4"])


class BuildModels(unittest.TestCase):
    def test_catch_all_takes_structured_exceptions_only_under_the_asynchronous_model(self):
        body = [catch(1, [Raise(C1, 0, [])], ("...", [Event(2)]))]
        self.assertEqual(run(body, kinds=["cxx"]), ["M E0000001"])
        self.assertEqual(run(body, kinds=["cxx"], async_=True), ["C1", "E2"])

    def test_a_fault_unwinding_an_object_destroys_it_under_the_asynchronous_model_only(self):
        functions = ([Object(1), Call(1, False)], [Fault()])
        self.assertEqual(run(*functions, kinds=["cxx", "seh"], async_=True), ["O1", "M C0000005", "D1"])
        with self.assertRaises(Undefined):
            run(*functions, kinds=["cxx", "seh"])

    def test_a_program_drawn_for_a_platform_without_the_asynchronous_model_is_defined_there(self):
        off = set(load("wine").off)
        for seed in range(40):
            p = generate(seed, off, "c++")
            self.assertFalse(p.async_)
            self.assertNotIn("cxx-async", static_constructs(p))


class Printing(unittest.TestCase):
    def test_cxx_statements_print_as_cxx(self):
        p = Program(0, [[catch(1, [Object(2), Throw(3, "A")], ("A", [Rethrow(4)]), ("...", []))]], {}, "c++",
                    ["cxx"], False)
        text = c_source(p)
        for want in ("Local o2(2);", "throw ThrownA(3);", "} catch (ThrownA &e1) {", 'Line("R4");', "throw;",
                     "} catch (...) {"):
            self.assertIn(want, text)


class MoreOrders(unittest.TestCase):
    def test_a_rethrow_taken_by_an_except_ends_before_the_termination_handlers_outside_its_clause(self):
        fin = Try(2, "finally", [Call(1, False)], [])
        f1 = [catch(3, [Throw(4, "A")], ("A", [Object(5), Rethrow(6)]))]
        lines = run([exc(1, [fin])], f1, kinds=["seh", "cxx"], filters=[Filter(1, [], 1)])
        self.assertEqual(lines, ["N4", "C3 4", "O5", "R6", f"F1 {THROWN} 4", "D5", "Z4", "T2 1", "H1"])

    def test_a_jump_out_of_a_catch_all_clause_ends_the_object(self):
        lines = run([catch(1, [Throw(2, "B")], ("A", []), ("...", [Object(3), Jump("return", 0)])), Event(9)],
                    kinds=["cxx"])
        self.assertEqual(lines, ["N2", "C1", "O3", "D3", "Z2"])

    def test_a_long_jump_through_an_object_destroys_it_under_the_asynchronous_model_only(self):
        functions = ([SetJmp(1, [Call(1, False)], [])], [Object(2), Call(2, False)], [LongJmp(False)])
        kinds = ["seh", "cxx", "seh"]
        self.assertEqual(run(*functions, kinds=kinds, async_=True), ["O2", "D2", "J1"])
        with self.assertRaises(Undefined):
            run(*functions, kinds=kinds)


class Shapes(unittest.TestCase):
    def test_a_call_before_a_try_is_seen_through_labelled_blocks(self):
        from fuzz.program import Labeled, call_before_try
        raise_ = Raise(C1, 0, [])
        guarded = exc(1, [Event(2)])
        self.assertTrue(call_before_try([raise_, Labeled(3, [guarded, Event(4)])], 0))
        self.assertTrue(call_before_try([Labeled(3, [Event(4), Call(1, False)]), guarded], 0))
        # an event's call returns: no frame is ever left there
        self.assertFalse(call_before_try([Event(5), Labeled(3, [guarded])], 0))
        self.assertFalse(call_before_try([raise_, Labeled(3, [Event(4), guarded])], 0))


class Generating(unittest.TestCase):
    def test_c_seeds_keep_their_programs_and_no_function_mixes_the_two_kinds(self):
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
