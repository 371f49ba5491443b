#!/usr/bin/env python3
"""Builds one source in the platform's dialect into a program with the layer.

    zeb_cc.py SOURCE -o PROGRAM --lower TOOL --runtime LIB [--cxx COMPILER]
              [--flag FLAG]... [-I DIR] [-D NAME[=VALUE]]

Lowers the source with the lowering tool, then compiles the lowered C++ and
links it with the run-time.  The suite's build and `./zeb cc` both come here,
so a program is built the same way whoever builds it.
"""
import argparse
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
INCLUDE = os.path.normpath(os.path.join(HERE, "..", "include"))

# Built without optimisation, as the platform's suite is: every local that a
# handler reads lives in memory.
COMMON_FLAGS = ["-O0", "-g", "-Wall", "-Wextra", "-fno-omit-frame-pointer",
                # every division checks its divisor, as on the platform's ARM
                # compilers; the run-time raises the exception
                "-fsanitize=integer-divide-by-zero",
                # frames larger than a page touch it page by page, as the
                # platform's stack probes do: a filter with a large frame
                # running out of stack meets the guard page, never the
                # memory below it
                "-fstack-clash-protection"]
# A fault is a throw point, so the unwinder runs the destructors of the
# frame it happens in (as the platform's asynchronous model does).
CXX_FLAGS = ["-std=gnu++17", "-fnon-call-exceptions"]
# C stays C.  Its filters are GNU C nested functions; the compiler writes
# their trampolines on the stack, but the run-time never runs them there
# (it reads them and calls the function), so the stack is not executable,
# as on the platform.
C_FLAGS = ["-std=gnu11", "-D__ZEB_C_SOURCE=1"]
C_LINK_FLAGS = []
# A C++ throw is first offered to the guarded blocks before its catch clause.
LINK_FLAGS = ["-pthread", "-lm", "-Wl,-z,noexecstack", "-Wl,--wrap=__cxa_throw", "-Wl,--undefined=__wrap___cxa_throw"]


def c_compiler_for(cxx):
    """The C compiler beside a C++ compiler: g++ -> gcc, clang++ -> clang."""
    head, name = os.path.split(cxx)
    for plus, plain in (("g++", "gcc"), ("clang++", "clang"), ("c++", "cc")):
        if name.endswith(plus) or plus + "-" in name:
            return os.path.join(head, name.replace(plus, plain, 1))
    return cxx


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("source")
    p.add_argument("-o", dest="output", required=True)
    p.add_argument("--lower", required=True, help="the lowering tool")
    p.add_argument("--runtime", required=True, help="the run-time library")
    p.add_argument("--cxx", default="g++")
    p.add_argument("--cc", help="C compiler (default: the one beside --cxx)")
    p.add_argument("--flag", action="append", default=[], help="extra compiler flag")
    p.add_argument("--keep", help="also write the lowered source here")
    p.add_argument("-I", dest="includes", action="append", default=[])
    p.add_argument("-D", dest="defines", action="append", default=[])
    args = p.parse_args(argv)

    user = [f"-I{d}" for d in args.includes] + [f"-D{d}" for d in args.defines]
    with tempfile.TemporaryDirectory(prefix="zeb-cc-") as tmp:
        lowered = args.keep or os.path.join(tmp, os.path.basename(args.source) + ".cpp")
        if os.path.dirname(lowered):
            os.makedirs(os.path.dirname(lowered), exist_ok=True)
        r = subprocess.run([args.lower, args.source, "-o", lowered, "-I", INCLUDE] + user)
        if r.returncode != 0:
            return 1
        # Debug information and the linker's messages name the source, not
        # the lowered file the compiler was given.
        source_map = [f"-ffile-prefix-map={os.path.abspath(lowered)}={os.path.abspath(args.source)}"]
        out_dir = os.path.dirname(os.path.abspath(args.output))
        os.makedirs(out_dir, exist_ok=True)
        if args.source.endswith(".c"):
            # The lowered source keeps the C source's name in its #line, so
            # compile it as C explicitly; link with the C++ driver, which
            # brings the run-time's C++ library.
            obj = os.path.join(tmp, "program.o")
            compile_cmd = ([args.cc or c_compiler_for(args.cxx), "-x", "c"] + COMMON_FLAGS + C_FLAGS + source_map + args.flag +
                           ["-I", INCLUDE] + user + ["-c", lowered, "-o", obj])
            link_cmd = [args.cxx] + args.flag + [obj, "-o", args.output, args.runtime] + C_LINK_FLAGS + LINK_FLAGS
            steps = [compile_cmd, link_cmd]
        else:
            steps = [[args.cxx] + COMMON_FLAGS + CXX_FLAGS + source_map + args.flag + ["-I", INCLUDE] + user +
                     [lowered, "-o", args.output, args.runtime] + LINK_FLAGS]
        for cmd in steps:
            if subprocess.run(cmd).returncode != 0:
                try:
                    os.unlink(args.output)
                except FileNotFoundError:
                    pass
                return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
