"""The suite's programs: one source each in seh/ or cxx/, with what a run of
it must produce kept beside it (NAME.out, NAME.status), and further runs
with arguments (NAME@ARG1_ARG2.out)."""
import glob
import os
import shlex

# The deliverables built for 32-bit ARM besides the structured-exception
# programs; every other C++ program is a 64-bit one.
ARM32_OTHERS = {"cxx-static-local-indirect-call", "mixed-setjmp-fibonacci"}


def arch_of(name):
    return "arm32" if name.startswith("ZEB") or name in ARM32_OTHERS else "arm64"


class Run:
    def __init__(self, name, args, expect, status):
        self.name = name
        self.args = args
        self.expect = expect
        self.status = status


class Program:
    def __init__(self, source):
        self.source = source
        self.name = os.path.splitext(os.path.basename(source))[0]
        self.language = "c" if source.endswith(".c") else "cxx"
        self.arch = arch_of(self.name)
        folder = os.path.dirname(source)
        status = None
        status_file = os.path.join(folder, self.name + ".status")
        if os.path.exists(status_file):
            with open(status_file) as f:
                status = int(f.read().strip())
        # The compiler options the program is built with (NAME.options, in
        # the spelling of gcc and clang), for the platforms whose build
        # commands take {options}.
        options_file = os.path.join(folder, self.name + ".options")
        self.options = []
        if os.path.exists(options_file):
            with open(options_file) as f:
                self.options = shlex.split(f.read())
        expect = os.path.join(folder, self.name + ".out")
        self.runs = [Run(self.name, [], expect if os.path.exists(expect) else None, status)]
        for out in sorted(glob.glob(os.path.join(folder, glob.escape(self.name) + "@*.out"))):
            run_name = os.path.basename(out)[:-len(".out")]
            self.runs.append(Run(run_name, run_name.split("@", 1)[1].split("_"), out, None))


def suite(root):
    sources = (glob.glob(os.path.join(root, "seh", "*.c")) + glob.glob(os.path.join(root, "cxx", "*.cpp")) +
               glob.glob(os.path.join(root, "cxx", "*.c")))
    return sorted((Program(s) for s in sources), key=lambda p: p.name)


def behaviour(root):
    """The layer's behaviour programs: small programs in the dialect whose
    expected results are the platform's documented ones."""
    folder = os.path.join(root, "tests", "behaviour")
    sources = glob.glob(os.path.join(folder, "*.c")) + glob.glob(os.path.join(folder, "*.cpp"))
    return sorted((Program(s) for s in sources), key=lambda p: p.name)


SETS = {"suite": suite, "behaviour": behaviour}


def built_by(programs, arches, which="suite"):
    """(the programs a platform that builds the deliverables of ARCHES
    builds, the others).  The behaviour programs belong to no architecture:
    every platform builds them."""
    if which != "suite":
        return list(programs), []
    return [p for p in programs if p.arch in arches], [p for p in programs if p.arch not in arches]


def select(programs, regex):
    """The programs with a run whose name matches (as ctest -R did), with
    only those runs."""
    import re
    if not regex:
        return programs
    pattern = re.compile(regex)
    chosen = []
    for p in programs:
        runs = [r for r in p.runs if pattern.search(r.name)]
        if runs:
            p.runs = runs
            chosen.append(p)
    return chosen
