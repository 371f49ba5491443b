"""Variant run-times and the sensitivity report: the fault switches are
constant 0 outside a variant (and absent from the default run-time), variant
files are checked, a variant platform links the variant's run-time, and the
report counts catches, holes and predictions right.

    test_sensitivity.py [DEFAULT_LIBZEBSEH.a]   (without it the library checks are skipped)
"""
import os
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
import sensitivity
from fuzz import against
from fuzz.check import Result
import variants
from platforms import resolve

DEFAULT_RUNTIME = sys.argv.pop(1) if len(sys.argv) > 1 and sys.argv[1].endswith(".a") else None
SWITCH_PROBE = '#include "seh_variant_switch.h"\nint on = ZEB_VARIANT(SOME_FAULT), off = ZEB_VARIANT(OTHER_FAULT);\n'


def preprocess(compiler, language, *defines):
    cmd = [compiler, "-x", language, "-E", "-P", "-I", os.path.join(ROOT, "layer", "include")]
    cmd += [f"-D{d}" for d in defines] + ["-"]
    out = subprocess.run(cmd, input=SWITCH_PROBE, capture_output=True, text=True, check=True).stdout
    return " ".join(out.split())


class Switches(unittest.TestCase):
    def test_a_switch_is_on_only_when_its_own_macro_is_1(self):
        for compiler, language in (("gcc", "c"), ("g++", "c++")):
            self.assertIn("int on = 0, off = 0;", preprocess(compiler, language))
            self.assertIn("int on = 1, off = 0;", preprocess(compiler, language, "ZEB_VARIANT_SOME_FAULT=1"))
            self.assertIn("int on = 0, off = 0;", preprocess(compiler, language, "ZEB_VARIANT_SOME_FAULT=0"))

    @unittest.skipUnless(DEFAULT_RUNTIME, "no default run-time given")
    def test_the_default_run_time_holds_no_variant_code(self):
        lib = DEFAULT_RUNTIME
        symbols = subprocess.run(["nm", "-C", lib], capture_output=True, text=True, check=True).stdout
        # Every program wraps __cxa_throw and __cxa_rethrow (a C++ throw is
        # offered to the guarded blocks first) and the C++ personality (the
        # layer's unwinds decide before it); any other wrapped symbol is a
        # variant's.
        found = [line for line in symbols.splitlines() if "zeb::variant" in line or
                 (("__wrap_" in line or "__real_" in line) and
                  not line.endswith(("___cxa_throw", "___cxa_rethrow", "___gxx_personality_v0")))]
        self.assertEqual(found, [])
        flags = os.path.join(os.path.dirname(lib), "CMakeFiles", "zebseh.dir", "flags.make")
        if os.path.exists(flags):
            with open(flags) as f:
                self.assertNotIn("ZEB_VARIANT", f.read())
        # The check can see variant code where there is some.
        variant = os.path.join(os.path.dirname(lib), "variants", "one_phase_dispatch", "libzebseh.a")
        if os.path.exists(variant):
            symbols = subprocess.run(["nm", "-C", variant], capture_output=True, text=True, check=True).stdout
            self.assertIn("zeb::variant::resume_search", symbols)


class VariantFiles(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        os.makedirs(os.path.join(self.tmp.name, "layer", "variants"))
        os.makedirs(os.path.join(self.tmp.name, "layer", "runtime"))
        with open(os.path.join(self.tmp.name, "layer", "runtime", "x.cpp"), "w") as f:
            f.write("if (ZEB_VARIANT(SWITCHED)) return;\n")

    def write(self, name, text):
        with open(os.path.join(self.tmp.name, "layer", "variants", name + ".toml"), "w") as f:
            f.write(text)

    def test_every_project_variant_loads_and_is_switched(self):
        loaded = variants.load_all(ROOT)
        self.assertGreaterEqual(len(loaded), 15)
        for v in loaded:
            self.assertNotIn("\n", v.breaks)

    def test_bad_variant_files_are_refused_with_the_reason(self):
        cases = [("switched", 'breaks = "x"\npredict = {}\n', "predict: unknown key"),
                 ("switched", 'hole = "x"\n', "breaks: missing"),
                 ("switched", 'breaks = "x"\npredicts = { ZEB0001 = 1 }\n', "non-empty string"),
                 ("switched", 'breaks = "x"\nflags = "-O2"\n', "flags: must be a list"),
                 ("Bad-Name", 'breaks = "x"\n', "lower-case"),
                 ("unswitched", 'breaks = "x"\n', "nothing in the layer uses ZEB_VARIANT(UNSWITCHED)")]
        for name, text, message in cases:
            for old in os.listdir(os.path.join(self.tmp.name, "layer", "variants")):
                os.unlink(os.path.join(self.tmp.name, "layer", "variants", old))
            self.write(name, text)
            with self.assertRaisesRegex(variants.VariantError, message.replace("(", r"\(").replace(")", r"\)")):
                variants.load_all(self.tmp.name)

    def test_only_a_switch_in_the_programs_headers_or_a_compiler_flag_changes_programs(self):
        os.makedirs(os.path.join(self.tmp.name, "layer", "interface"))
        with open(os.path.join(self.tmp.name, "layer", "interface", "h.h"), "w") as f:
            f.write("#define X (ZEB_VARIANT(IN_HEADER) ? 1 : 0)\n#ifdef ZEB_VARIANT_TESTED_DIRECTLY\n#endif\n")
        cases = [("in_header", [], True), ("tested_directly", [], True), ("switched", [], False),
                 ("switched", ["-Wl,--wrap=f", "-lm"], False), ("switched", ["-O2"], True)]
        for name, flags, changes in cases:
            v = variants.Variant(name, {"breaks": "x", "flags": flags})
            self.assertEqual(variants.changes_programs(self.tmp.name, v), changes, (name, flags))
        # the project's own: those whose switch lowered code tests
        changing = {v.name for v in variants.load_all(ROOT) if variants.changes_programs(ROOT, v)}
        self.assertTrue({"abnormal_always_true", "leave_is_abnormal", "local_unwind_skips_finally"} <= changing)
        self.assertNotIn("skip_finally_on_unwind", changing)

    def test_unknown_variant_names_the_known_ones(self):
        self.write("switched", 'breaks = "x"\n')
        with self.assertRaisesRegex(variants.VariantError, "unknown variant nope.*switched"):
            variants.load_all(self.tmp.name, ["nope"])


class VariantPlatforms(unittest.TestCase):
    def variant(self):
        return variants.Variant("skip_it", {"breaks": "x", "flags": ["-Wl,--wrap=f"]})

    def test_templates_link_the_variants_run_time_with_its_switch(self):
        for name, builds in (("host", ["host"]), ("arm", ["arm32", "arm64"])):
            base = resolve(name)
            self.assertEqual(variants.layer_builds(base), builds)
            p = variants.platform_for(base, self.variant())
            self.assertEqual(p.name, f"{name}.skip_it")
            self.assertEqual(p.build_dir, os.path.join(ROOT, "build", "sensitivity", name, "skip_it"))
            self.assertIsNone(p.template("setup"))
            for arch in ("arm32", "arm64"):
                for key in ("c", "cxx"):
                    cmd = p.command(key, arch, source="s.c", program="prog", name="s", arch=arch)
                    self.assertIn("--flag=-DZEB_VARIANT_SKIP_IT=1", cmd)
                    self.assertIn("--flag=-Wl,--wrap=f", cmd)
                    runtime = cmd[cmd.index("--runtime") + 1]
                    self.assertRegex(runtime, r"/build/(host|arm32|arm64)/layer/variants/skip_it/libzebseh\.a$")
            # The base platform is left as it was.
            self.assertNotIn("variants", " ".join(base.command("c", "arm32", source="s", program="p", name="s",
                                                               arch="arm32")))

    def test_a_platform_without_the_layer_is_refused(self):
        with self.assertRaisesRegex(variants.VariantError, r"wine.toml:\d+: c: does not link the layer's run-time"):
            variants.platform_for(resolve("wine"), self.variant())


class SharedObjects(unittest.TestCase):
    """A fuzz case's source compiled once, by its text, and linked by each
    variant's target; one that does not compile is built whole, and fails
    with the compiler's words."""

    def test_one_compile_per_text_and_a_broken_source_fails_as_a_whole_build(self):
        import runner
        from fuzz import linked
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "cc.toml")
            with open(path, "w") as f:
                f.write('name = "cc"\nc = "cc {options} {source} -o {program}"\ncxx = "c++ {source} -o {program}"\n'
                        'run = "{program}"\n')
            platform = resolve(path)
            objects = linked.Objects(platform, runner)
            self.addCleanup(objects.close)
            target = linked.Linked(platform, runner, objects)
            for n, text in enumerate(['#include <stdio.h>\nint main(void) { puts("hi"); return 3; }\n'] * 2):
                source = os.path.join(tmp, f"s{n}.c")
                with open(source, "w") as f:
                    f.write(text)
                self.assertEqual(target.build(source, os.path.join(tmp, f"p{n}")), (True, ""))
                self.assertEqual(target.run(os.path.join(tmp, f"p{n}"))[:2], (3, "hi\n"))
            self.assertEqual(len([o for o in objects.built.values() if o]), 1)
            broken = os.path.join(tmp, "broken.c")
            with open(broken, "w") as f:
                f.write("int main(void) { return nope; }\n")
            ok, log = target.build(broken, os.path.join(tmp, "b"))
            self.assertFalse(ok)
            self.assertIn("nope", log)


def row(name, verdict="PASS", stdout="", reason=""):
    return {"name": name, "verdict": verdict, "stdout": stdout, "reason": reason}


class Report(unittest.TestCase):
    def judge(self, fault_settings, results):
        vs = [variants.Variant(name, dict({"breaks": f"breaks {name}"}, **extra)) for name, extra in fault_settings]
        lines, ok = sensitivity.judge(vs, results)
        return "\n".join(lines), ok

    def test_caught_variants_show_what_the_failing_programs_printed(self):
        text, ok = self.judge([("a", {"predicts": {"ZEB0006": "Counter = 1"}})],
                              {"a": [row("ZEB0001"), row("ZEB0006", "FAIL", "TEST 6 FAILED. Counter = 1\n\r"),
                                     row("cxx-x", "FAIL", "A() 1\nc == 1, d == 2\n"),
                                     row("ZEB0029", "FAIL", "", "exit status 6: unhandled exception")]})
        self.assertTrue(ok)
        self.assertIn("ZEB0006 (Counter = 1), cxx-x (c == 1, d == 2), ZEB0029 (exit status 6: unhandled exception)",
                      text)
        self.assertIn('a: ZEB0006 prints "Counter = 1": holds', text)
        self.assertTrue(text.endswith("1 variants, 1 caught"))

    def test_a_prediction_needs_the_whole_value(self):
        text, ok = self.judge([("a", {"predicts": {"ZEB0006": "Counter = 1", "ZEB0007": "Counter = 1"}})],
                              {"a": [row("ZEB0006", "FAIL", "TEST 6 FAILED. Counter = 12\n\r"), row("ZEB0007")]})
        self.assertFalse(ok)
        self.assertIn('ZEB0006 prints "Counter = 1": DOES NOT HOLD: it printed Counter = 12', text)
        self.assertIn('ZEB0007 prints "Counter = 1": DOES NOT HOLD: it printed passed', text)

    def test_an_uncaught_fault_fails_unless_it_is_a_declared_hole(self):
        text, ok = self.judge([("a", {}), ("b", {"hole": "nothing reads it"})],
                              {"a": [row("ZEB0001")], "b": [row("ZEB0001")]})
        self.assertFalse(ok)
        self.assertIn("a (breaks a) is caught by no program", text)
        self.assertIn("hole: b: nothing reads it", text)
        self.assertTrue(text.endswith("2 variants, 0 caught"))
        text, ok = self.judge([("b", {"hole": "nothing reads it"})], {"b": [row("ZEB0001")]})
        self.assertTrue(ok)

    def test_a_program_that_did_not_build_catches_nothing_and_fails_the_run(self):
        # a variant whose every program fails to build must not read as caught
        text, ok = self.judge([("a", {})], {"a": [row("ZEB0001", "FAIL", "", "not built: zeb-cc: error: no source"),
                                                  row("ZEB0002")]})
        self.assertFalse(ok)
        self.assertIn("a: 1 runs not built, so not judged: ZEB0001: not built: zeb-cc: error: no source", text)
        self.assertIn("a (breaks a) is caught by no program", text)
        self.assertTrue(text.endswith("1 variants, 0 caught"))

    def test_random_cases_that_did_not_build_catch_nothing(self):
        vs = [variants.Variant(n, {"breaks": f"breaks {n}"}) for n in ("a", "b", "c")]
        found = {"a": {7: Result("output", "line 2"), 9: Result("build", "did not build: oops")},
                 "b": {3: Result("build", "did not build: oops")}, "c": {5: Result("hang", "")}}
        lines, holes = against.matrix(vs, found, 10)
        text = "\n".join(lines)
        self.assertEqual([v.name for v in holes], ["a", "b"])
        self.assertIn("not judged: a: 1 cases not built; 9: did not build: oops", text)
        self.assertIn("not judged: b: 1 cases not built; 3: did not build: oops", text)
        self.assertTrue(text.endswith("3 variants, 1 caught by 10 random cases"))

    def test_a_declared_hole_that_is_caught_fails(self):
        text, ok = self.judge([("b", {"hole": "nothing reads it"})], {"b": [row("ZEB0001", "FAIL", "Counter = 3")]})
        self.assertFalse(ok)
        self.assertIn("b is declared a hole but the suite caught it", text)


if __name__ == "__main__":
    unittest.main()
