#!/usr/bin/env python3
"""Builds sources in the platform's dialect with the layer, with the command
line of gcc and g++.

    zeb_cc.py --lower TOOL --runtime LIB [--cxx COMPILER] [--cc COMPILER]
              [--flag FLAG]... [--keep LOWERED] [--c++]  GCC-ARGUMENTS...

Each C or C++ source is lowered with the lowering tool and the lowered copy
compiled; objects, archives and libraries are linked with the run-time.  -c,
-S, -E and -fsyntax-only stop early as with gcc.  The suite's build, the
platform files, `./zeb cc` and the zeb-cc / zeb-c++ commands all come here,
so a program is built the same way whoever builds it.
"""
import os
import subprocess
import sys
import tempfile

from command_line import UsageError, object_name, parse, std_language

HERE = os.path.dirname(os.path.abspath(__file__))

# The stand-in Windows headers that programs include, and the interface that
# lowered code calls.
INCLUDE = os.path.normpath(os.path.join(HERE, "..", "include"))
INTERFACE = os.path.normpath(os.path.join(HERE, "..", "interface"))

# Built without optimisation unless told otherwise, as the platform's suite
# is: every local that a handler reads lives in memory.
COMMON_FLAGS = ["-O0", "-g", "-Wall", "-Wextra", "-fno-omit-frame-pointer",
                # every division checks its divisor, as on the platform's ARM
                # compilers; the run-time raises the exception
                "-fsanitize=integer-divide-by-zero",
                # frames larger than a page touch it page by page, as the
                # platform's stack probes do: a filter with a large frame
                # running out of stack meets the guard page, never the
                # memory below it
                "-fstack-clash-protection",
                # a read or write through a null pointer is an access
                # violation that a handler can take, not undefined behaviour
                # the optimiser may turn into a trap or drop
                "-fno-isolate-erroneous-paths-dereference", "-fno-delete-null-pointer-checks"]
# A fault is a throw point, so the unwinder runs the destructors of the
# frame it happens in (as the platform's asynchronous model does).
CXX_FLAGS = ["-std=gnu++17", "-fnon-call-exceptions"]
# C stays C.  Its filters are GNU C nested functions; the compiler writes
# their trampolines on the stack, but the run-time never runs them there
# (it reads them and calls the function), so the stack is not executable,
# as on the platform.
C_FLAGS = ["-std=gnu11", "-D__ZEB_C_SOURCE=1",
           # with unwind tables, as C has them by default on x86-64 and
           # AArch64 but not on 32-bit ARM: the layer's unwinds (and C++
           # exceptions) pass C frames to reach C++ frames further out
           "-funwind-tables"]
# The flags every program of the layer links with (wrapped C++ throws and
# personality, a non-executable stack) are the run-time's, in one file that
# the CMake build reads too; beside the driver as in the installed layout
# (lib/zeb/cc, lib/zeb/runtime).
LINK_FLAGS_FILE = os.path.normpath(os.path.join(HERE, "..", "runtime", "link-flags.txt"))


def read_link_flags(path=LINK_FLAGS_FILE):
    with open(path, encoding="utf-8") as f:
        lines = (line.strip() for line in f)
        return [line for line in lines if line and not line.startswith("#")]


LINK_FLAGS = ["-pthread", "-lm"] + read_link_flags()


def c_compiler_for(cxx):
    """The C compiler beside a C++ compiler: g++ -> gcc, clang++ -> clang."""
    head, name = os.path.split(cxx)
    for plus, plain in (("g++", "gcc"), ("clang++", "clang"), ("c++", "cc")):
        if name.endswith(plus) or plus + "-" in name:
            return os.path.join(head, name.replace(plus, plain, 1))
    return cxx


def fail(message):
    print(f"zeb-cc: error: {message}", file=sys.stderr)
    return 1


class Driver:
    def __init__(self, cmd, tmp):
        self.cmd = cmd
        self.tmp = tmp
        self.objects = {}       # Input -> the object it was compiled into

    def run(self, argv, capture=False):
        if self.cmd.verbose:
            print(" ".join(argv), file=sys.stderr, flush=True)
        try:
            return subprocess.run(argv, stdout=subprocess.PIPE if capture else None, text=capture)
        except OSError as e:
            print(f"zeb-cc: error: cannot run '{argv[0]}': {e.strerror}", file=sys.stderr)
            return subprocess.CompletedProcess(argv, 127, "" if capture else None)

    def compiler(self, language):
        if language == "c++":
            return self.cmd.cxx
        return self.cmd.cc or c_compiler_for(self.cmd.cxx)

    def std_for(self, language):
        return [s for s in self.cmd.std if std_language(s) == language]

    def lower(self, source, index):
        """Lowers SOURCE into a folder of its own, under its own name, so
        that the compiler's default names (dependency targets) are the
        source's; returns the lowered path or None."""
        folder = os.path.join(self.tmp, str(index))
        os.makedirs(folder)
        lowered = os.path.join(folder, os.path.basename(source.path))
        argv = ([self.cmd.lower, source.path, "-o", lowered, "-x", source.language, "-I", INCLUDE, "-I", INTERFACE] +
                self.cmd.preprocessor + self.std_for(source.language) +
                (["-fasync-exceptions"] if self.cmd.async_exceptions and source.language == "c++" else []))
        if self.run(argv).returncode != 0:
            return None
        if self.cmd.keep:
            if os.path.dirname(self.cmd.keep):
                os.makedirs(os.path.dirname(self.cmd.keep), exist_ok=True)
            with open(lowered, "rb") as f, open(self.cmd.keep, "wb") as out:
                out.write(f.read())
        return lowered

    def compile_flags(self, source, index):
        """Everything the compiler is given for SOURCE but the file names."""
        language = source.language
        own = C_FLAGS if language == "c" else CXX_FLAGS if language == "c++" else []
        # Quoted includes are looked for beside the original source first,
        # as the compiler would have done for the source itself.
        folder = os.path.dirname(source.path) or "."
        here = ["-iquote", folder]
        # The lowered copy has the source's name in a folder of its own: the
        # debugging information names the source.
        if source.language != "asm":
            here.append(f"-fdebug-prefix-map={os.path.join(self.tmp, str(index))}={folder}")
        return (COMMON_FLAGS + own + self.cmd.flags + self.std_for(language) + self.cmd.compile + self.cmd.both +
                here + self.cmd.preprocessor + ["-I", INCLUDE, "-I", INTERFACE] + self.cmd.dependencies)

    def output_of(self, source, index):
        stop = self.cmd.stop
        if stop is None:
            return os.path.join(self.tmp, str(index), "object.o")
        if self.cmd.output:
            return self.cmd.output
        return None if stop in ("-E", "-fsyntax-only") else object_name(source.path, stop)

    def compile(self, source, index):
        if source.language == "asm":
            os.makedirs(os.path.join(self.tmp, str(index)))
            compiled = source.path
        else:
            compiled = self.lower(source, index)
            if compiled is None:
                return False
        output = self.output_of(source, index)
        stop = self.cmd.stop or "-c"
        language = "assembler-with-cpp" if source.language == "asm" else source.language
        argv = [self.compiler(source.language)] + self.compile_flags(source, index) + [stop, "-x", language, compiled]
        to_stdout = stop == "-E" or any(d in ("-M", "-MM") for d in self.cmd.dependencies)
        if to_stdout:
            # The preprocessed text and a dependency list name the lowered
            # copy: they are shown with the source's name instead.
            r = self.run(argv, capture=True)
            text = self.rename(r.stdout or "", compiled, source.path)
            if output:
                with open(output, "w") as f:
                    f.write(text)
            else:
                sys.stdout.write(text)
            return r.returncode == 0
        if output:
            if os.path.dirname(output):
                os.makedirs(os.path.dirname(output), exist_ok=True)
            argv += ["-o", output]
        ok = self.run(argv).returncode == 0
        if ok and output:
            self.objects[id(source)] = output
            self.rename_dependency_file(source, compiled, output)
        return ok

    @staticmethod
    def rename(text, lowered, source):
        escaped = source.replace(" ", "\\ ")
        return text.replace(lowered, escaped)

    def rename_dependency_file(self, source, lowered, output):
        deps = self.cmd.dependencies
        if not any(d in ("-MD", "-MMD") for d in deps) and "-MF" not in deps:
            return
        if "-MF" in deps:
            path = deps[deps.index("-MF") + 1]
        else:
            path = os.path.splitext(output)[0] + ".d"
        if not os.path.exists(path):
            return
        with open(path) as f:
            text = f.read()
        with open(path, "w") as f:
            f.write(self.rename(text, lowered, source.path))

    def link(self):
        cmd = self.cmd
        inputs = []
        for item in cmd.link:
            if isinstance(item, str):
                inputs.append(item)
            elif item.language is None:
                inputs.append(item.path)
            else:
                inputs.append(self.objects[id(item)])
        argv = ([cmd.cxx] + cmd.flags + cmd.both + inputs + [cmd.runtime] + LINK_FLAGS +
                ["-o", cmd.output or "a.out"])
        if cmd.output and os.path.dirname(cmd.output):
            os.makedirs(os.path.dirname(cmd.output), exist_ok=True)
        if self.run(argv).returncode != 0:
            try:
                os.unlink(cmd.output or "a.out")
            except FileNotFoundError:
                pass
            return False
        return True


HELP = """usage: zeb cc [gcc's options] SOURCE... [-o PROGRAM]   (also zeb-cc, zeb-c++)

Builds sources in the platform's dialect (__try/__except/__finally/__leave,
RaiseException, <windows.h>) with the layer, taking gcc's command line:
-c, -S, -E, -o, -I, -D, -O2, -g, -l, -L, -Wl,... as gcc does.  Objects,
archives and libraries are linked with the layer's run-time.

The exception model of C++ sources, as on the platform:
  (default)             /EHs: catch (...) takes only C++ exceptions; a
                        structured exception passes it.  Structured
                        exceptions still run the destructors of the frames
                        they unwind, and a C++ throw or rethrow is offered
                        to try/except filters as 0xE06D7363.
  -fasync-exceptions    /EHa: catch (...) also takes structured exceptions
                        (raised or faults), in order with the try/except
                        blocks; per source file.
  -fno-async-exceptions the default again (the last one given wins).
"""


def main(argv, cxx_driver=False):
    if any(a in ("--help", "-help") for a in argv):
        print(HELP, end="")
        return 0
    if "--c++" in argv:
        argv = [a for a in argv if a != "--c++"]
        cxx_driver = True
    try:
        cmd = parse(argv, cxx_driver)
    except UsageError as e:
        return fail(str(e))
    with tempfile.TemporaryDirectory(prefix="zeb-cc-") as tmp:
        driver = Driver(cmd, tmp)
        ok = True
        for index, source in enumerate(cmd.sources()):
            ok = driver.compile(source, index) and ok
        if not ok:
            return 1
        if cmd.stop is None and not driver.link():
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
