"""How the fuzzer reaches a platform: build one C source into a program,
run it, read its standard output and exit status.

A target is two command templates and a little data, so a platform
described elsewhere (a file a user writes) becomes a target through
`from_templates`:

    c:    build command; {source} {program} {arch} are filled in
    run:  run command;   {program} {args} are filled in
"""
import os
import shlex
import sys

import process
from paths import ROOT


# The options a C++ program of each model is built with: -fasync-exceptions
# is clang's /EHa (catch (...) takes structured exceptions too; the objects
# of frames a structured exception unwinds are destroyed).
ASYNC = "-fasync-exceptions"


def options_for(kind):
    return ASYNC if kind == ("c++", True) else ""


def suffix_for(kind):
    """A source's extension, which tells the compilers its language."""
    return ".cpp" if kind[0] == "c++" else ".c"


class Target:
    def __init__(self, name, c, run, text_mode=False, timeout=10.0, arch="", exe_suffix="",
                 env=None, known=None, cxx=None):
        self.name = name
        self.c = c
        self.cxx = cxx if cxx is not None else c
        self.run_template = run
        self.text_mode = text_mode
        self.timeout = timeout
        self.arch = arch
        self.exe_suffix = exe_suffix
        self.env = env
        self.known = known

    # Around a run: nothing to do unless the platform says so.
    def start(self):
        pass

    def stop(self):
        pass

    build_timeout = 300

    def build_command(self, source, program, kind=("c", False)):
        template = self.cxx if kind[0] == "c++" else self.c
        options = options_for(kind)
        if options and "{options}" not in template:
            template += " {options}"
        return expand(template, source=source, program=program, arch=self.arch, options=options)

    def build(self, source, program, kind=("c", False)):
        """(True, "") when the program was built, else (False, the compiler's messages)."""
        cmd = self.build_command(source, program, kind)
        try:
            r = process.run(cmd, self.build_timeout, env=self.env, cwd=os.path.dirname(program) or None)
        except OSError as e:
            return False, str(e)
        if r.timed_out:
            return False, f"the compiler was still running after {self.build_timeout:g} s"
        if r.status != 0 or not os.path.exists(program):
            return False, (r.stdout + r.stderr).decode("utf-8", "replace")
        return True, ""

    def command(self, program, args):
        return expand(self.run_template, program=program, args=" ".join(shlex.quote(a) for a in args))

    def run(self, program, args=()):
        """(status, stdout, how): how is "" or "hang"; a status below 0 is a signal."""
        r = process.run(self.command(program, args), self.timeout, env=self.env)
        text = r.stdout.decode("utf-8", "replace")
        if self.text_mode:
            text = text.replace("\r\n", "\n")
        return r.status, text, "hang" if r.timed_out else ""


def expand(template, **values):
    """The command of a template, one word per argument: a value is never split."""
    words = []
    for word in shlex.split(template):
        if word == "{args}":
            words += shlex.split(values.get("args", ""))
            continue
        for k, v in values.items():
            word = word.replace("{" + k + "}", str(v))
        words.append(word)
    return words


class PlatformTarget(Target):
    """A platform file (harness/platform_file.py) as a target: its `c` and
    `run` commands for the architecture of the C deliverables, its
    environment, and its start and stop commands around the run."""

    ARCH = "arm32"
    CXX_ARCH = "arm64"               # C++ programs are 64-bit deliverables

    def __init__(self, platform, session):
        super().__init__(platform.name, platform.template("c", self.ARCH), platform.template("run", self.ARCH),
                         text_mode=platform.text_mode, timeout=max(platform.timeout, 10.0), arch=self.ARCH,
                         exe_suffix=platform.suffix, env=session.environment(platform, self.ARCH))
        self.platform = platform
        self.session = session
        self.build_timeout = platform.build_timeout
        self.log = os.path.join(platform.build_dir, "session.log")

    def start(self):
        if self.platform.template("start") is not None:
            status = self.session.session_command(self.platform, "start", self.log)
            if status != 0:
                sys.exit(f"zeb: {self.platform.where('start')}: the start command failed (see {self.log})")

    def stop(self):
        self.session.stop(self.platform, self.log)

    def build_command(self, source, program, kind=("c", False), extra=""):
        """The platform's command; `extra` options after the model's own
        (-c: an object, not a program)."""
        name = os.path.splitext(os.path.basename(program))[0]
        key, arch = ("cxx", self.CXX_ARCH) if kind[0] == "c++" else ("c", self.ARCH)
        options = " ".join(o for o in (options_for(kind), extra) if o)
        return self.platform.command(key, arch, source=source, program=program, name=name, arch=arch,
                                     options=options)

    def command(self, program, args):
        name = os.path.splitext(os.path.basename(program))[0]
        return self.platform.command("run", self.ARCH, program=program, name=name, arch=self.ARCH,
                                     args=" ".join(shlex.quote(a) for a in args))


def from_platform(platform, session):
    return PlatformTarget(platform, session)


def from_templates(name, c, run, text_mode=False, timeout=10.0, arch="", exe_suffix="", known=None):
    return Target(name, c, run, text_mode=text_mode, timeout=timeout, arch=arch, exe_suffix=exe_suffix,
                  known=known)


def host(lower, runtime):
    """The layer on this machine with the given lowering tool and run-time,
    built the way `zeb cc` builds."""
    cc = os.path.join(ROOT, "layer", "cc", "zeb_cc.py")
    q = shlex.quote
    lower, runtime = os.path.abspath(lower), os.path.abspath(runtime)
    return from_templates(
        "host", f"{q(sys.executable)} {q(cc)} {{source}} -o {{program}} --lower {q(lower)} --runtime {q(runtime)}",
        "{program} {args}")
