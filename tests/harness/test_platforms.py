"""Platform files: what a user who gets one wrong is told, and how the
runner builds and runs programs from one (with a stand-in compiler)."""
import os
import shlex
import signal
import sys
import tempfile
import textwrap
import unittest

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
import programs
import runner
from platform_file import PlatformError, as_argv, check_commands, load
from platforms import built_in_names, resolve

GOOD = """\
name = "mine"
description = "a test platform"
c = "cc {source} -o {program}"
cxx = "c++ {source} -o {program}"
run = "{program} {args}"
"""


class PlatformFiles(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)

    def write(self, text, name="p.toml"):
        path = os.path.join(self.tmp.name, name)
        with open(path, "w") as f:
            f.write(textwrap.dedent(text))
        return path

    def error(self, text):
        path = self.write(text)
        with self.assertRaises(PlatformError) as e:
            check_commands(load(path, self.tmp.name), ("c", "cxx", "run", "setup", "start", "stop"))
        return str(e.exception).replace(path, "FILE")

    def test_the_projects_own_platforms_load(self):
        self.assertTrue({"host", "arm", "wine"} <= set(built_in_names()))
        for name in built_in_names():
            p = resolve(name)
            self.assertEqual((p.name, p.path), (name, f"platforms/{name}.toml"))
        # Found beside the file, not beside the caller.
        self.assertIn("ZEB0015", resolve("wine").known)

    def test_unknown_platform_names_the_known_ones(self):
        with self.assertRaisesRegex(PlatformError, r"unknown platform 'hots'.*host"):
            resolve("hots")

    def test_unknown_keys_name_file_line_and_key(self):
        self.assertEqual(self.error(GOOD + "timout = 5\n"),
                         "FILE:6: timout: unknown key (did you mean 'timeout'?)")
        self.assertEqual(self.error(GOOD + "[arch.arm64]\nrun = 'x'\nsuffx = '.exe'\n"),
                         "FILE:8: arch.arm64.suffx: unknown key (known keys: c, cxx, env, layer, run)")
        self.assertEqual(self.error(GOOD + "[arch.x86]\nrun = 'x'\n"),
                         "FILE:6: arch.x86: unknown architecture (the deliverables are arm32 and arm64)")

    def test_missing_templates(self):
        self.assertIn("FILE: run: missing template: the command that runs one program",
                      self.error(GOOD.replace('run = "{program} {args}"\n', "")))
        # Per-architecture templates may stand in for the common one, but for both.
        text = GOOD.replace('run = "{program} {args}"\n', "") + "[arch.arm32]\nrun = 'qemu-arm {program}'\n"
        self.assertIn("FILE: run: missing template (for arm64)", self.error(text))
        self.assertEqual(self.error('description = "x"\n'), "FILE: name: missing key (the platform's name, "
                         "as reports show it)")

    def test_the_layers_run_time_by_placeholder(self):
        uses = GOOD.replace("cc {source}", "cc {source} {runtime}")
        self.assertEqual(self.error(uses), "FILE:3: c: {runtime} needs the key `layer`: the layer's build whose "
                         "run-time the command links (one of arm32, arm64, host)")
        self.assertEqual(self.error(uses + 'layer = "hots"\n'),
                         "FILE:6: layer: 'hots' is not a build of the layer (one of arm32, arm64, host)")
        # Per architecture, each command gets its own build's run-time.
        p = load(self.write(uses.replace("cc {source}", "/bin/cc {source}") + "[arch.arm32]\nlayer = 'arm32'\n"
                            "[arch.arm64]\nlayer = 'arm64'\n"), self.tmp.name)
        self.assertEqual(p.layer_builds(), ["arm32", "arm64"])
        for arch in ("arm32", "arm64"):
            self.assertTrue(p.command("c", arch, source="s.c", program="p")[2].endswith(
                f"/build/{arch}/layer/libzebseh.a"))

    def test_placeholders(self):
        self.assertTrue(self.error(GOOD.replace("{program} {args}", "{prog} {args}")).startswith(
            "FILE:5: run: unknown placeholder {prog} (known here: {program}, {args}"))
        # The source is no business of the runner.
        self.assertIn("FILE:5: run: unknown placeholder {source}",
                      self.error(GOOD.replace("{program} {args}", "{program} {source}")))
        self.assertIn("FILE:8: env.WHERE: unknown placeholder {program}",
                      self.error(GOOD + "\n[env]\nWHERE = '{program}'\n"))
        # ${...} is the shell's.
        p = load(self.write(GOOD.replace("{program} {args}", "${EMULATOR:-} {program} {args}")), self.tmp.name)
        self.assertEqual(p.command("run", program="/a b/p", args="1 '2 3'"),
                         ["/bin/sh", "-c", "${EMULATOR:-} '/a b/p' 1 '2 3'"])

    def test_values_of_the_wrong_kind(self):
        self.assertEqual(self.error(GOOD + "timeout = 'ten'\n"), "FILE:6: timeout: must be a number of seconds")
        self.assertEqual(self.error(GOOD + "timeout = 0\n"), "FILE:6: timeout: must be more than 0 seconds")
        self.assertEqual(self.error(GOOD + "text_mode = 'yes'\n"), "FILE:6: text_mode: must be true or false")
        self.assertEqual(self.error(GOOD + "[env]\nN = 3\n"), "FILE:7: env.N: must be a string")
        self.assertEqual(self.error(GOOD + "packages = ['qemu-user', '-y']\n"),
                         "FILE:6: packages: '-y' is not a Debian package name")
        self.assertIn("FILE:1: name: 'a/b' is not a usable name", self.error(GOOD.replace('"mine"', '"a/b"')))
        self.assertIn("FILE:3: c: the command cannot be read: No closing quotation",
                      self.error(GOOD.replace("cc {source}", "cc '{source}")))

    def test_not_toml_and_missing_files(self):
        self.assertRegex(self.error(GOOD + "run = 'again'\n"), r"^FILE: not valid TOML: .*line 6")
        self.assertRegex(self.error(GOOD + "expected_failures = 'none.txt'\n"),
                         r"^FILE:6: expected_failures: no such file: .*none.txt$")
        with self.assertRaisesRegex(PlatformError, "nowhere.toml: cannot be read"):
            load(os.path.join(self.tmp.name, "nowhere.toml"), self.tmp.name)

    def test_commands_that_cannot_run(self):
        self.assertEqual(self.error(GOOD.replace("cc {source}", "zeb-no-such-cc {source}")),
                         "FILE:3: c: the command cannot run: 'zeb-no-such-cc' is not found on PATH")
        self.write("not a program\n", "run.sh")
        self.assertEqual(self.error(GOOD + "[arch.arm32]\nrun = '{dir}/run.sh {program}'\n"),
                         f"FILE:7: arch.arm32.run: the command cannot run: {self.tmp.name}/run.sh "
                         "is not an executable file")
        self.assertIn("FILE:6: start: the command cannot run: /no/such/server does not exist",
                      self.error(GOOD + "start = 'X=1 /no/such/server -p'\n"))
        # Shell words, and a first word that is the program itself, have no file to check.
        check_commands(load(self.write(GOOD.replace('cc {source}', 'cd /tmp && cc {source}')), self.tmp.name),
                       ("c", "run"))

    def test_plain_commands_run_without_a_shell(self):
        self.assertEqual(as_argv("qemu-arm /p 'a b'"), ["qemu-arm", "/p", "a b"])
        self.assertEqual(as_argv("A=1 /p"), ["/bin/sh", "-c", "A=1 /p"])
        self.assertEqual(as_argv("/p > out"), ["/bin/sh", "-c", "/p > out"])


# A stand-in compiler: a "source" is a shell script, built by copying it,
# unless it says BROKEN.
FAKE_CC = """\
#!/bin/sh
if grep -q BROKEN "$1"; then echo "note: looking at $1" >&2; echo "$1:2:1: error: broken here" >&2; exit 1; fi
cp "$1" "$2" && chmod +x "$2"
"""


class Extending(unittest.TestCase):
    """A platform file made from another by changing a few keys."""

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)

    def write(self, name, text):
        path = os.path.join(self.tmp.name, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(textwrap.dedent(text))
        return path

    def base(self):
        self.write("base/xf.txt", "ZEB0001: known | fails: status\n")
        return self.write("base/base.toml", GOOD + textwrap.dedent("""\
            expected_failures = "xf.txt"
            setup = "{dir}/make.sh {build}"
            versions = ["cc --version"]
            [env]
            TOOLS = "{dir}/tools"
            KEEP = "1"
            [arch.arm64]
            run = "qemu {program}"
            """))

    def test_only_the_changed_keys_differ_and_inherited_paths_keep_their_meaning(self):
        self.base()
        child = self.write("mine/new.toml", """\
            extends = "../base/base.toml"
            name = "new"
            c = "cc-23 {source} -o {program}"
            [env]
            KEEP = "2"
            [arch.arm64]
            env = {EXTRA = "x"}
            """)
        p = load(child, self.tmp.name)
        base_dir = os.path.join(self.tmp.name, "base")
        self.assertEqual((p.name, p.template("c"), p.template("cxx")),
                         ("new", "cc-23 {source} -o {program}", "c++ {source} -o {program}"))
        # {dir} in what the base file wrote is the base file's folder, {build} the new platform's.
        self.assertEqual(p.command_line(p.template("setup")),
                         [f"{base_dir}/make.sh", os.path.join(self.tmp.name, "build", "new")])
        self.assertEqual(p.env("arm64"), {"TOOLS": f"{base_dir}/tools", "KEEP": "2", "EXTRA": "x"})
        self.assertEqual(p.template("run", "arm64"), "qemu {program}")
        self.assertIn("ZEB0001", p.known)
        self.assertEqual(p.versions, ["cc --version"])

    def test_chains_and_messages_name_the_file_that_wrote_the_key(self):
        self.base()
        self.write("base/mid.toml", 'extends = "base.toml"\nname = "mid"\ntimeout = -1\n')
        top = self.write("base/top.toml", 'extends = "mid.toml"\nname = "top"\n')
        with self.assertRaises(PlatformError) as e:
            load(top, self.tmp.name)
        self.assertEqual(str(e.exception), f"{self.tmp.name}/base/mid.toml:3: timeout: must be more than 0 seconds")
        self.write("base/mid.toml", 'extends = "base.toml"\nname = "mid"\nsuffx = ".exe"\n')
        with self.assertRaisesRegex(PlatformError, r"mid.toml:3: suffx: unknown key"):
            load(top, self.tmp.name)

    def test_broken_extends(self):
        self.base()
        cases = {
            'extends = "nowhere.toml"\nname = "x"\n': r"FILE:1: extends: no such file: .*nowhere.toml",
            'extends = 3\nname = "x"\n': r"FILE:1: extends: must be the path of a platform file",
            'extends = "base/base.toml"\n': r"FILE: name: missing key \(a file that extends another",
            'extends = "loop.toml"\nname = "x"\n': r"FILE:1: extends: the files extend each other in a circle "
                                                    r"\(loop.toml -> loop.toml\)",
        }
        for text, message in cases.items():
            with self.subTest(text=text):
                path = self.write("loop.toml", text)
                with self.assertRaises(PlatformError) as e:
                    load(path, self.tmp.name)
                self.assertRegex(str(e.exception).replace(path, "FILE"), message)


class Deliverables(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)

    def load(self, text):
        path = os.path.join(self.tmp.name, "p.toml")
        with open(path, "w") as f:
            f.write(text)
        return load(path, self.tmp.name)

    def test_a_platform_of_one_architecture_needs_only_its_commands_and_builds_only_its_programs(self):
        p = self.load('name = "a32"\ndeliverables = ["arm32"]\n[arch.arm32]\n'
                      'c = "cc {source} -o {program}"\ncxx = "c++ {source} -o {program}"\nrun = "{program}"\n')
        suite = programs.suite(ROOT)
        mine, others = programs.built_by(suite, p.deliverables)
        self.assertEqual({q.arch for q in mine}, {"arm32"})
        self.assertEqual({q.arch for q in others}, {"arm64"})
        self.assertIn("ZEB0001", [q.name for q in mine])
        self.assertIn("mixed-setjmp-fibonacci", [q.name for q in mine])
        # The behaviour programs are every platform's.
        behaviour = programs.behaviour(ROOT)
        self.assertEqual(programs.built_by(behaviour, p.deliverables, "behaviour")[0], behaviour)

    def test_unknown_or_empty_architectures_are_refused(self):
        for value in ('["arm16"]', '[]', '["arm32", "arm32"]'):
            with self.subTest(value=value), self.assertRaisesRegex(PlatformError, r"p.toml:2: deliverables: must list"):
                self.load(f'name = "a"\ndeliverables = {value}\n' + GOOD.split("\n", 2)[2])


class Runner(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        self.dir = self.tmp.name
        self.write("cc.sh", FAKE_CC, mode=0o755)

    def write(self, name, text, mode=0o644):
        path = os.path.join(self.dir, name)
        with open(path, "w") as f:
            f.write(text)
        os.chmod(path, mode)
        return path

    def platform(self, extra="", cc="{dir}/cc.sh"):
        text = (f'name = "fake"\nc = "{cc} {{source}} {{program}}"\ncxx = "{cc} {{source}} {{program}}"\n'
                'run = "{program} {args}"\ntimeout = 5\n' + extra)
        return load(self.write("fake.toml", text), self.dir)

    def program(self, name, script, out=None):
        source = self.write(name + ".c", "#!/bin/sh\n" + script + "\n")
        if out is not None:
            self.write(name + ".out", out)
        return programs.Program(source)

    def results(self, platform, progs):
        return {r["name"]: r for r in runner.run_platform(platform, progs, jobs=2)}

    def test_a_program_that_does_not_build_fails_its_row_and_the_run_goes_on(self):
        progs = [self.program("a", "exit 0"), self.program("b", "# BROKEN\nexit 0"), self.program("c", "exit 0")]
        r = self.results(self.platform(), progs)
        self.assertEqual([r[n]["verdict"] for n in "abc"], ["PASS", "FAIL", "PASS"])
        self.assertEqual(r["b"]["reason"], "not built: b.c:2:1: error: broken here")
        with open(os.path.join(self.dir, "build", "fake", "suite", "b.log")) as f:
            self.assertIn("note: looking at", f.read())

    def test_arguments_output_and_signals(self):
        self.write("args@x_1.5.out", "2:x\n")
        p = self.program("args", 'echo "$#:$1"', out="0:\n")
        crash = self.program("crash", "kill -ABRT $$")
        r = self.results(self.platform(), [p, crash])
        self.assertEqual((r["args"]["verdict"], r["args@x_1.5"]["verdict"]), ("PASS", "PASS"))
        self.assertEqual(r["crash"]["reason"], "crash: killed by SIGABRT")
        self.assertEqual(r["crash"]["status"], "SIGABRT")

    def test_a_programs_own_options_reach_the_build_command_quoted(self):
        with_options = self.program("with", "exit 0")
        self.write("with.options", "-fasync-exceptions '-DNAME=a b'\n")
        plain = self.program("plain", "exit 0")
        self.assertEqual(programs.Program(with_options.source).options, ["-fasync-exceptions", "-DNAME=a b"])
        self.assertEqual(plain.options, [])
        platform = load(self.write("opt.toml", 'name = "opt"\nc = "cc {options} {source} -o {program}"\n'
                                   'cxx = "c++ {source}"\nrun = "{program}"\n'), self.dir)
        quoted = " ".join(shlex.quote(o) for o in ["-fasync-exceptions", "-DNAME=a b"])
        self.assertEqual(platform.command("c", None, source="s.c", program="p", name="with", arch="arm64",
                                          options=quoted), ["cc", "-fasync-exceptions", "-DNAME=a b", "s.c", "-o", "p"])
        self.assertEqual(platform.command("c", None, source="s.c", program="p", name="plain", arch="arm64"),
                         ["cc", "s.c", "-o", "p"])

    def test_text_mode_environment_and_expected_failures(self):
        self.write("known.txt", "fails: it is known to\n")
        progs = [self.program("crlf", r'printf "where %s\r\n" "$WHERE"', out="where {{.*}}/fake\n"),
                 self.program("fails", "exit 3")]
        r = self.results(self.platform('text_mode = true\nexpected_failures = "known.txt"\n'
                                       '[env]\nWHERE = "{build}"\n'), progs)
        self.assertEqual(r["crlf"]["verdict"], "PASS", r["crlf"]["reason"])
        self.assertEqual((r["fails"]["verdict"], r["fails"]["known"]), ("XFAIL", "it is known to"))
        r = self.results(self.platform('[env]\nWHERE = "{build}"\n'), progs[:1])
        self.assertEqual(r["crlf"]["verdict"], "FAIL")

    def test_an_expected_failure_must_fail_the_listed_way(self):
        self.write("known.txt", "right: crashes | fails: exit status 3\nwrong: crashes | fails: exit status 3\n"
                                "sometimes (flaky): it may pass | fails: exit status 3\n")
        progs = [self.program("right", "exit 3"), self.program("wrong", "exit 4"), self.program("sometimes", "exit 0")]
        r = self.results(self.platform('expected_failures = "known.txt"\n'), progs)
        self.assertEqual(r["right"]["verdict"], "XFAIL")
        self.assertEqual((r["wrong"]["verdict"], r["wrong"]["reason"]),
                         ("FAIL", "fails differently than listed: exit status 4, expected 0 [listed: exit status 3]"))
        self.assertEqual(r["sometimes"]["verdict"], "PASS")

    def test_a_retry_that_passes_is_flaky_and_keeps_the_first_failure(self):
        count = os.path.join(self.dir, "count")
        prog = self.program("p", f'echo x >> {count}; [ $(wc -l < {count}) -ge 2 ]')
        r = runner.run_platform(self.platform(), [prog], jobs=1, retries=2)[0]
        self.assertEqual((r["verdict"], r["attempts"]), ("FLAKY", 2))
        self.assertEqual(r["reason"], "as expected on attempt 2; first: exit status 1, expected 0")
        r = runner.run_platform(self.platform(), [self.program("q", "exit 1")], jobs=1, retries=2)[0]
        self.assertEqual((r["verdict"], r["attempts"]), ("FAIL", 3))

    def test_the_runners_own_failures_are_unresolved_and_an_unreachable_platform_stops_the_run(self):
        # A few are each unresolved and the run goes on; five in a row stop it.
        progs = [self.program(f"p{i:02}", "exit 125" if i in (0, 1, 2, 4, 5, 6, 7, 8) else "exit 0") for i in range(11)]
        r = runner.run_platform(self.platform("infra_status = 125\n"), progs, jobs=1)
        self.assertEqual([x["verdict"] for x in r], ["UNRESOLVED"] * 3 + ["PASS"] + ["UNRESOLVED"] * 7)
        self.assertEqual(r[0]["reason"], "the runner could not run it (exit status 125)")
        self.assertEqual(r[9]["reason"], "not run: the platform was unreachable")
        # Without the key the same exit status is the program's own.
        self.assertEqual(self.results(self.platform(), progs[:1])["p00"]["verdict"], "FAIL")

    def test_a_shard_placeholder_reaches_the_run_command(self):
        text = ('name = "fake"\nc = "{dir}/cc.sh {source} {program}"\ncxx = "{dir}/cc.sh {source} {program}"\n'
                'run = "sh -c \'test $1 = 2 && exec $0\' {program} {shard}"\n')
        platform = load(self.write("sharded.toml", text), self.dir)
        platform.shard = 2
        self.assertEqual(self.results(platform, [self.program("s", "exit 0")])["s"]["verdict"], "PASS")
        platform.shard = 1
        self.assertEqual(self.results(platform, [self.program("s", "exit 0")])["s"]["verdict"], "FAIL")

    def test_start_and_stop_bracket_the_run_and_stop_runs_after_a_failed_start(self):
        log = os.path.join(self.dir, "session")
        prog = self.program("p", f"echo run >> {log}")
        self.results(self.platform(f'start = "echo start >> {log}"\nstop = "echo stop >> {log}"\n'), [prog])
        with open(log) as f:
            self.assertEqual(f.read(), "start\nrun\nstop\n")
        os.unlink(log)
        with self.assertRaisesRegex(PlatformError, "fake.toml:6: start: the start command failed"):
            self.results(self.platform(f'start = "false"\nstop = "echo stop >> {log}"\n'), [prog])
        with open(log) as f:
            self.assertEqual(f.read(), "stop\n")

    def test_setup_runs_once_before_commands_it_makes_are_checked(self):
        made = os.path.join(self.dir, "made-cc.sh")
        prog = self.program("p", "exit 0")
        p = self.platform(f'setup = "cp {{dir}}/cc.sh {made}"\n', cc=made)
        self.assertEqual(self.results(p, [prog])["p"]["verdict"], "PASS")
        with self.assertRaisesRegex(PlatformError, "fake.toml:6: setup: the setup command failed"):
            self.results(self.platform('setup = "false"\n'), [prog])


if __name__ == "__main__":
    unittest.main()
