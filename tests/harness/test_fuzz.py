"""The fuzzer's model of the semantics, its generator and its reducer.  The
model is the oracle of every fuzz run, so its cases are the documented
behaviours, written out as event lines."""
import os
import sys
import unittest

from fuzz.cprint import c_source
from fuzz.generate import generate, switch_off
from fuzz.known import parse
from fuzz.model import Model, ModelError, predict
from fuzz.program import (Call, Event, Fault, Filter, Jump, Labeled, LongJmp, Loop, Program, Raise, SetJmp,
                          Switch, Try, When, static_constructs, walk)
from fuzz.reduce import reduce, valid
from fuzz.loop import compare
from fuzz.targets import expand

C1, C2 = 0xE0000001, 0xE0000002


def run(*functions, filters=()):
    """The lines of one call of f0 from main."""
    p = Program(0, list(functions), {f.id: f for f in filters})
    return Model(p).run([0]).lines[:-1]


def fin(id, body, handler=()):
    return Try(id, "finally", list(body), list(handler))


def exc(id, body, handler=(), code=False):
    return Try(id, "except", list(body), list(handler), filter=id, handler_code=code)


class Dispatch(unittest.TestCase):
    def test_filters_run_before_termination_handlers_then_the_handler(self):
        lines = run([exc(1, [fin(2, [Raise(C1, 0, [5, 6])])], code=True)], filters=[Filter(1, [], 1)])
        self.assertEqual(lines, ["F1 E0000001 0 2 B", "T2 1", "H1 E0000001"])

    def test_continue_execution_returns_to_the_raise(self):
        f = Filter(1, [(C1, None, -1)], 1)
        lines = run([exc(1, [Raise(C1, 0, []), Event(7), Raise(C2, 0, [])])], filters=[f])
        self.assertEqual(lines, ["F1 E0000001 0 0 0", "E7", "F1 E0000002 0 0 0", "H1"])

    def test_a_counting_filter_changes_its_verdict(self):
        f = Filter(1, [(None, 1, 0)], 1)
        lines = run([exc(2, [exc(1, [Raise(C1, 0, [])])])], filters=[f, Filter(2, [], 1)])
        self.assertEqual(lines[:3], ["F1 E0000001 0 0 0", "F2 E0000001 0 0 0", "H2"])
        # the second round: the count is past 1, the inner filter takes it
        self.assertIn("H1", predict(Program(0, [[exc(2, [exc(1, [Raise(C1, 0, [])])])]],
                                            {1: f, 2: Filter(2, [], 1)})).lines)

    def test_fault_in_called_function(self):
        lines = run([exc(1, [Call(1, False), Event(9)], code=True)], [Fault(), Event(8)],
                    filters=[Filter(1, [], 1)])
        self.assertEqual(lines, ["F1 C0000005 0 2 0", "H1 C0000005"])

    def test_exception_in_filter_searches_every_block_again_with_the_nested_flag(self):
        # f0: outer(4) { inner(1, raises in its filter) { f1: own(3) { raise } } }
        inner = Filter(1, [(C2, None, 0)], 1, raise_=Raise(C2, 0, []))
        lines = run([exc(4, [exc(1, [Call(1, False)])])], [exc(3, [Raise(C1, 0, [])])],
                    filters=[inner, Filter(3, [], 0), Filter(4, [], 1)])
        self.assertEqual(lines, [
            "F3 E0000001 0 0 0",          # first exception, f1's own block declines
            "F1 E0000001 0 0 0",          # inner filter raises C2
            "F3 E0000002 10 0 0",         # from the raise out: f1 again, flag set
            "F1 E0000002 10 0 0",         # the filter's own frame: flag still set
            "F4 E0000002 10 0 0",
            "H4",
        ])

    def test_flag_clear_beyond_the_filters_frame(self):
        inner = Filter(1, [(C2, None, 0)], 1, raise_=Raise(C2, 0, []))
        lines = run([exc(5, [Call(1, False)])], [exc(1, [Raise(C1, 0, [])])],
                    filters=[inner, Filter(5, [], 1)])
        self.assertEqual(lines, ["F1 E0000001 0 0 0", "F1 E0000002 10 0 0", "F5 E0000002 0 0 0", "H5"])

    def test_raise_in_unwinding_finally_replaces_the_exception(self):
        # a block that declined the first exception takes the second; the
        # first exception's target never runs its handler
        mid = Filter(2, [(C2, None, 1)], 0)
        lines = run([exc(1, [exc(2, [fin(3, [Raise(C1, 0, [])], [Raise(C2, 0, [])])])])],
                    filters=[Filter(1, [], 1), mid])
        self.assertEqual(lines, ["F2 E0000001 0 0 0", "F1 E0000001 0 0 0", "T3 1", "F2 E0000002 0 0 0", "H2"])

    def test_exception_in_except_block_is_dispatched_afresh(self):
        lines = run([exc(1, [exc(2, [Raise(C1, 0, [])], [Raise(C2, 0, [])])])],
                    filters=[Filter(1, [], 1), Filter(2, [], 1)])
        self.assertEqual(lines, ["F2 E0000001 0 0 0", "H2", "F1 E0000002 0 0 0", "H1"])

    def test_continuing_a_fault_is_refused(self):
        with self.assertRaises(ModelError):
            run([exc(1, [Fault()])], filters=[Filter(1, [], -1)])


class Jumps(unittest.TestCase):
    def test_leave_is_a_normal_exit(self):
        self.assertEqual(run([fin(1, [Jump("leave", 1), Event(9)])]), ["T1 0"])

    def test_jumps_are_abnormal_and_run_each_handler_once(self):
        body = [Loop(1, 2, [fin(2, [fin(3, [When(1, 0, [Jump("continue", 1)]), Jump("break", 1)])]), Event(9)])]
        self.assertEqual(run(body), ["T3 1", "T2 1", "T3 1", "T2 1"])

    def test_leave_in_finally_ends_the_enclosing_block(self):
        lines = run([fin(1, [fin(2, [], [Jump("leave", 1, guarded=True)]), Event(9)])])
        self.assertEqual(lines, ["T2 0", "T1 0"])

    def test_guarded_jump_not_taken_during_an_unwind(self):
        lines = run([exc(1, [Labeled(2, [fin(3, [Raise(C1, 0, [])], [Jump("goto", 2, guarded=True)])])])],
                    filters=[Filter(1, [], 1)])
        self.assertEqual(lines, ["F1 E0000001 0 0 0", "T3 1", "H1"])

    def test_return_and_switch(self):
        lines = run([Switch(1, 1, [[Event(8)], [fin(2, [Jump("return", 0)]), Event(9)]]), Event(10)])
        self.assertEqual(lines, ["T2 1"])

    def test_longjmp_from_unwinding_finally_abandons_the_exception(self):
        body = [SetJmp(1, [exc(2, [fin(3, [Raise(C1, 0, [])], [LongJmp(True)])])], [Event(5)])]
        self.assertEqual(run(body, filters=[Filter(2, [], 1)]), ["F2 E0000001 0 0 0", "T3 1", "J1", "E5"])

    def test_longjmp_through_a_called_function(self):
        body = [SetJmp(1, [Call(1, False), Event(9)], [])]
        self.assertEqual(run(body, [fin(2, [LongJmp(False)])]), ["T2 1", "J1"])

    def test_longjmp_without_setjmp_does_nothing(self):
        self.assertEqual(run([LongJmp(False), Event(3)]), ["E3"])


class Generator(unittest.TestCase):
    def test_same_seed_same_source(self):
        self.assertEqual(c_source(generate(77)), c_source(generate(77)))
        self.assertNotEqual(c_source(generate(77)), c_source(generate(78)))

    def test_every_jump_lies_inside_its_target_and_the_model_follows(self):
        for seed in range(150):
            p = generate(seed)
            predict(p)
            for body in p.functions:
                self.check_targets(body, [])

    def check_targets(self, stmts, around):
        for s in stmts:
            if isinstance(s, Jump) and s.kind != "return":
                self.assertIn(s.target, around, f"{s.kind} to {s.target}")
            inner = around + [getattr(s, "id", None)]
            if isinstance(s, Try):
                # a __leave targets the __try body, not the handler
                self.check_targets(s.body, inner)
                self.check_targets(s.handler, around)
            else:
                for b in s.blocks():
                    self.check_targets(b, inner)

    def test_switched_off_constructs_are_gone(self):
        for seed in range(60):
            p = generate(seed, {"jump-out-of-finally", "handler-code", "raise-in-filter"})
            found = static_constructs(p)
            self.assertFalse(found & {"jump-out-of-finally", "handler-code", "raise-in-filter"}, seed)

    def test_nesting_constructs_seen_in_the_text(self):
        p = Program(0, [[fin(1, [exc(2, []), Loop(3, 1, [fin(4, [Jump("break", 3)])])])]], {2: Filter(2, [], 1)})
        found = static_constructs(p)
        self.assertIn("except-in-finally-body", found)
        self.assertIn("jump-through-finally", found)
        self.assertNotIn("jump-through-two-finallys", found)
        self.assertIn("jump-through-nested-finally", found)

    def test_code_next_to_a_left_or_unentered_guarded_block(self):
        left = Program(0, [[Loop(1, 1, [exc(2, [Jump("break", 1)])]), LongJmp(False), fin(3, [])]], {2: Filter(2, [], 1)})
        found = static_constructs(left)
        self.assertIn("jump-out-of-try-except", found)
        self.assertIn("finally-after-longjmp", found)
        inside = Program(0, [[exc(2, [Loop(1, 1, [Jump("break", 1)]), Jump("leave", 2)]), fin(3, [LongJmp(False)])]],
                         {2: Filter(2, [], 1)})
        found = static_constructs(inside)
        self.assertNotIn("jump-out-of-try-except", found)
        self.assertNotIn("finally-after-longjmp", found)
        self.assertFalse(static_constructs(switch_off(left, {"jump-out-of-try-except", "finally-after-longjmp"}))
                         & {"jump-out-of-try-except", "finally-after-longjmp"})

    def test_a_call_right_before_a_guarded_block_is_seen_and_switched_off_alone(self):
        # only a call (a raise is one) directly before the block: a call after
        # it, or one with a statement between, has a return address outside
        body = [Call(1, False), fin(1, [Event(2)]), Call(1, False), Event(3), Call(1, False), Raise(C1, 0, []),
                exc(4, [])]
        p = Program(0, [body, [Event(5)]], {4: Filter(4, [], 1)})
        self.assertIn("call-before-try", static_constructs(p))
        switch_off(p, {"call-before-try"})
        self.assertEqual([type(s).__name__ for s in p.functions[0]], ["Try", "Call", "Event", "Try"])
        self.assertNotIn("call-before-try", static_constructs(p))

    def test_a_path_that_falls_through_from_a_call_into_a_guarded_block(self):
        # any way out may be the last block laid out: either branch of an
        # if, any case of a switch, an __except block, a break right after a
        # call, a try/finally's call of its __finally
        falls = [SetJmp(1, [Call(1, False)], [Event(2)]), SetJmp(1, [], [Call(1, False)]),
                 When(3, 0, [Raise(C1, 0, [])]), Switch(4, 0, [[Call(1, False)], [Event(5)]]),
                 Switch(4, 0, [[Event(5)], [Labeled(6, [Call(1, False)])]]), fin(7, [Event(8)]),
                 exc(9, [Event(10)], [Event(11), Call(1, False)]),
                 Loop(3, 2, [Event(5), Call(1, False), Jump("break", 3)])]
        ends = [SetJmp(1, [Call(1, False), Event(2)], [Event(5)]), Loop(3, 1, [Call(1, False)]),
                Loop(3, 2, [Call(1, False), Event(5), Jump("break", 3)]), exc(9, [Call(1, False)], [Event(11)])]
        for before in falls + ends:
            p = Program(0, [[before, exc(12, [Event(13)])], [Event(14)]], {9: Filter(9, [], 1), 12: Filter(12, [], 1)})
            self.assertEqual("call-before-try" in static_constructs(p), before in falls, type(before).__name__)

    def test_a_setjmp_beside_a_try_finally_is_seen_per_function_and_dropped(self):
        with_both = [fin(1, [Event(2)]), Loop(3, 1, [SetJmp(4, [Event(5)], [])])]
        p = Program(0, [with_both, [SetJmp(6, [], [])]], {})
        self.assertIn("setjmp-with-finally", static_constructs(p))
        self.assertNotIn("setjmp-with-finally", static_constructs(Program(0, [[fin(1, [])], [SetJmp(6, [], [])]], {})))
        switch_off(p, {"setjmp-with-finally"})
        self.assertEqual([type(s).__name__ for s in walk(p.functions[0])], ["Try", "Event", "Loop"])
        self.assertEqual(len(p.functions[1]), 1)      # no try/finally beside it: kept


class Reducing(unittest.TestCase):
    def test_reduces_to_what_keeps_the_difference(self):
        p = generate(5)
        p.functions[0].insert(0, exc(999, [Raise(0xE0000004, 0, [1])]))
        p.filters[999] = Filter(999, [], 1)

        def differs(q):
            return any(isinstance(s, Raise) and s.params == [1] for b in q.functions for s in walk(b))
        small = reduce(p, differs)
        self.assertTrue(differs(small))
        # the raise alone: its __try was replaced by its body
        self.assertEqual([type(s) for b in small.functions for s in walk(b)], [Raise])

    def test_a_reduction_never_cuts_into_a_known_deviation(self):
        # removing the event would bring the call right before the guarded
        # block, a construct the platform is known to get wrong
        from fuzz import check, loop
        saved = check.check
        self.addCleanup(setattr, check, "check", saved)
        def differs_with_call_raise_and_try(target, q, *rest):
            kinds = {type(s) for b in q.functions for s in walk(b)}
            return check.Result("output", "line 1") if {Call, Raise, Try} <= kinds else check.Result("agree")
        check.check = differs_with_call_raise_and_try
        p = Program(0, [[Call(1, False), Event(2), exc(3, [Raise(C1, 0, [])])], [Event(4)]], {3: Filter(3, [], 1)})
        known = parse("call-before-try: known: a call's return address inside the block\n")
        small = loop.minimise(None, p, check.Result("output", "line 1"), None, "t", 300, known)
        self.assertNotIn("call-before-try", static_constructs(small))
        self.assertIn(Event, [type(s) for s in small.functions[0]])
        self.assertIn("call-before-try", static_constructs(loop.minimise(None, p, check.Result("output", "line 1"),
                                                                         None, "t", 300)))

    def test_a_block_put_in_place_must_keep_the_program_valid(self):
        loop = Loop(1, 2, [fin(2, [], [Jump("break", 1, guarded=True)]), When(1, 0, [Event(3)])])
        p = Program(0, [[Labeled(4, [loop, Jump("goto", 4)])]], {})
        self.assertTrue(valid(p))
        self.assertFalse(valid(Program(0, [[Labeled(4, list(loop.body))]], {})))   # break without its loop
        self.assertFalse(valid(Program(0, [[loop, Jump("goto", 4)]], {})))         # goto without its label
        self.assertFalse(valid(Program(0, [[Loop(1, 2, [Jump("break", 1, guarded=True)])]], {})))  # not in a __finally
        self.assertFalse(valid(Program(0, [[Loop(1, 2, [fin(2, [], [Jump("break", 1)])])]], {})))  # unguarded


class MoreSemantics(unittest.TestCase):
    def test_continue_execution_inside_a_filter_returns_to_the_filter(self):
        # the filter's own raise is continued by the same filter's second call
        f = Filter(1, [(C2, None, -1)], 1, raise_=Raise(C2, 0, []))
        lines = run([exc(1, [Raise(C1, 0, [])])], filters=[f])
        self.assertEqual(lines, ["F1 E0000001 0 0 0", "F1 E0000002 10 0 0", "H1"])

    def test_nested_flag_follows_the_filters_frame_through_recursion(self):
        # f1 runs at depths 1 to 3; the innermost call's filter raises: the
        # outer calls' blocks are beyond the filter's frame, so they see the flag clear
        f = Filter(1, [(C2, None, 0)], 0, raise_=Raise(C2, 0, []))
        lines = run([exc(9, [Call(1, False)])], [exc(1, [Call(1, True), Raise(C1, 0, [])])],
                    filters=[f, Filter(9, [], 1)])
        self.assertEqual(lines[:5], ["F1 E0000001 0 0 0", "F1 E0000002 10 0 0", "F1 E0000002 0 0 0",
                                     "F1 E0000002 0 0 0", "F9 E0000002 0 0 0"])

    def test_continuing_a_noncontinuable_exception_raises_a_new_one_searched_afresh(self):
        # the inner filter continues 0xE0000003; the dispatcher raises
        # 0xC0000025 (noncontinuable, no parameters) and every filter sees it
        lines = run([exc(1, [exc(2, [Raise(0xE0000003, 1, [7])])])],
                    filters=[Filter(2, [(0xE0000003, None, -1)], 0), Filter(1, [], 0)])
        self.assertEqual(lines, ["F2 E0000003 1 1 7", "F2 C0000025 1 0 0", "F1 C0000025 1 0 0", "M C0000025"])
        # a filter continuing every exception meets 0xC0000025 for ever
        from fuzz.model import TooLong
        with self.assertRaises(TooLong):
            run([exc(1, [Raise(0xE0000003, 1, [])])], filters=[Filter(1, [], -1)])

    def test_handler_and_finally_run_each_once_per_round(self):
        p = Program(0, [[fin(1, [Event(2)])], [exc(3, [Raise(C1, 0, [])])]], {3: Filter(3, [], 1)})
        self.assertEqual(predict(p).lines, ["E2", "T1 0", "F3 E0000001 0 0 0", "H3"] * 2 + ["X"])

    def test_status_is_the_checksum_of_the_lines(self):
        out = predict(Program(0, [[Event(1)]], {}))
        s = 0
        for ch in out.stdout:
            s = (s * 31 + ord(ch)) & 0xFFFFFFFF
        self.assertEqual(out.status, s % 97)


class Printing(unittest.TestCase):
    def test_guarded_jumps_and_long_jumps(self):
        p = Program(0, [[Loop(1, 2, [fin(2, [], [Jump("break", 1, guarded=True)]),
                                     SetJmp(3, [Call(0, True), LongJmp(False)], [])]), LongJmp(False)]], {})
        src = c_source(p)
        self.assertIn("if (!AbnormalTermination()) break;", src)
        self.assertIn("if (depth < 3) f0(depth + 1, &Env3);", src)
        self.assertIn("longjmp(*&Env3, 1);", src)
        self.assertIn("if (env) longjmp(*env, 1);", src)

    def test_filter_rules_in_order(self):
        f = Filter(4, [(C1, 2, -1), (None, 1, 0)], 1, raise_=Raise(C2, 0, [7]))
        src = c_source(Program(0, [[exc(4, [])]], {4: f}))
        case = src[src.index("case 4:"):]
        self.assertLess(case.index("RaiseException(0xE0000002u, 0, 1, args)"),
                        case.index("if (code == 0xE0000001u && n <= 2) return -1;"))
        self.assertLess(case.index("return -1;"), case.index("if (n <= 1) return 0;"))


class Loop_(unittest.TestCase):
    """The whole loop against a simulated platform that reads 0 for
    GetExceptionCode() in __except blocks."""

    def setUp(self):
        from fuzz import check as checking, loop as runner
        self.runner, self.checking = runner, checking
        self.saved = checking.check

        def simulated(target, program, expected, workdir, name):
            import re
            out = re.sub(r"^(H\d+) [0-9A-F]{8}$", r"\1 00000000", expected.stdout, flags=re.M)
            return compare(expected, expected.status, out, "")
        checking.check = simulated

    def tearDown(self):
        self.checking.check = self.saved

    def fuzz(self, known, keep=None):
        lines = []
        new = self.runner.fuzz(Fake(), 12, 300, jobs=1, keep=keep, known=known, reduce_tries=60,
                               out=lines.append, batch=1)
        return new, lines

    def test_known_deviation_reported_as_known(self):
        new, lines = self.fuzz(parse("handler-code: known: reads 0\n"))
        self.assertEqual(new, 0)
        self.assertTrue(any("known (handler-code)" in ln for ln in lines))
        self.assertRegex(lines[-1], r"^12 cases in \d+ programs: \d+ agree, 0 differ$")

    def test_new_difference_reduced_and_kept(self):
        import tempfile
        with tempfile.TemporaryDirectory() as keep:
            new, lines = self.fuzz(None, keep)
            self.assertGreater(new, 0)
            self.assertIn('model expects "H', lines[0])
            kept = [f for f in os.listdir(keep) if f.endswith(".c")]
            self.assertEqual(len(kept), new)
            with open(os.path.join(keep, kept[0])) as f:
                src = f.read()
            # cut down to the one __except block that reads the code, besides
            # main's (one per function, and Caught's definition)
            self.assertEqual(src.count("__try"), src.count("Caught("))
            self.assertEqual(src.count('%08lX", (unsigned long)GetExceptionCode());'), 1)


class Fake:
    name, exe_suffix, known = "fake", "", None

    def start(self):
        pass

    def stop(self):
        pass


class Plumbing(unittest.TestCase):
    def test_compare_names_the_first_differing_line(self):
        expected = predict(Program(0, [[Event(1)]], {}))
        self.assertTrue(compare(expected, expected.status, expected.stdout, "").agrees)
        r = compare(expected, expected.status, "E1\nE2\n", "")
        self.assertEqual((r.kind, r.detail), ("output", 'line 2: got "E2", model expects "E1"'))
        self.assertEqual(compare(expected, 3, expected.stdout, "").kind, "status")
        self.assertEqual(compare(expected, -11, "E1\n", "").kind, "crash")
        self.assertEqual(compare(expected, 0, "", "hang").kind, "hang")

    def test_target_builds_runs_folds_and_stops_a_hang(self):
        import tempfile
        import time
        from fuzz.targets import from_templates
        with tempfile.TemporaryDirectory() as d:
            src = os.path.join(d, "p.c")
            with open(src, "w") as f:
                f.write("printf 'E1\\r\\nX\\r\\n'; exit 3\n")
            t = from_templates("t", "cp {source} {program}", "sh {program} {args}", text_mode=True, timeout=0.5)
            self.assertEqual(t.build(src, os.path.join(d, "p")), (True, ""))
            self.assertEqual(t.run(os.path.join(d, "p")), (3, "E1\nX\n", ""))
            self.assertFalse(from_templates("t", "false {source}", "{program}").build(src, os.path.join(d, "q"))[0])
            with open(src, "w") as f:
                f.write("sleep 30 & wait\n")
            t.build(src, os.path.join(d, "p"))
            started = time.monotonic()
            status, out, how = t.run(os.path.join(d, "p"))
            self.assertEqual(how, "hang")
            self.assertLess(time.monotonic() - started, 10)   # the whole group is killed, not waited for

    def test_templates_keep_values_whole(self):
        self.assertEqual(expand("cc -o {program} {source} {args}", program="a b", source="s.c", args="-x 'y z'"),
                         ["cc", "-o", "a b", "s.c", "-x", "y z"])

    def test_known_file(self):
        k = parse("# c\nhandler-code: known: reads 0\na+b: known: both\njump-out-of-finally: off: crash\n")
        self.assertEqual(k.off, {"jump-out-of-finally": "crash"})
        self.assertEqual(k.explain({"a"}), [])
        self.assertEqual(k.explain({"a", "b", "handler-code"}), [("a+b", "both"), ("handler-code", "reads 0")])
        self.assertEqual(k.switched_off(), {"a", "handler-code"})
        with self.assertRaisesRegex(ValueError, ":2: expected"):
            parse("# c\nnonsense line\n", "wine.txt")


if __name__ == "__main__":
    unittest.main()
