#!/usr/bin/env python3
"""The layer's CMake builds learn which programs there are from here, so
that CTest builds and runs the same programs, with the same options and runs,
as `./zeb run` finds.

    ctest_programs.py SET OUTPUT.cmake

writes one `zeb_program(NAME SOURCE LANGUAGE OPTIONS RUNS)` call per program
of SET (suite, behaviour) into OUTPUT.cmake; what a run must produce and
whether it is a known failure, check.py reads when it judges the run.
"""
import sys

import programs
from paths import ROOT


def cmake_quoted(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"').replace("$", "\\$").replace(";", "\\;") + '"'


def cmake_list(items):
    return cmake_quoted(";".join(i.replace(";", "\\;") for i in items))


def calls(chosen):
    lines = ["# Written by harness/ctest_programs.py; do not edit."]
    for p in chosen:
        lines.append(f"zeb_program({p.name} {cmake_quoted(p.source)} {p.language} {cmake_list(p.options)} "
                     f"{cmake_list(r.name for r in p.runs)})")
    return "\n".join(lines) + "\n"


def main(argv):
    if len(argv) != 2 or argv[0] not in programs.SETS:
        sys.exit(f"usage: ctest_programs.py {'|'.join(sorted(programs.SETS))} OUTPUT.cmake")
    text = calls(programs.SETS[argv[0]](ROOT))
    try:
        with open(argv[1]) as f:
            if f.read() == text:
                return 0   # unchanged: nothing rebuilds
    except OSError:
        pass
    with open(argv[1], "w") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
