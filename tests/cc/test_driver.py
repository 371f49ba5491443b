#!/usr/bin/env python3
"""zeb-cc and zeb-c++ used as a build system uses a compiler: sources as
Visual Studio writes them (byte-order mark, CR LF, local headers), objects
compiled apart and linked, and messages that name the original source.

    test_driver.py --bin BUILD/bin
"""
import os
import subprocess
import sys
import tempfile
import unittest

BIN = None
BOM = b"\xef\xbb\xbf"


def write(path, text, bom=False, crlf=False):
    data = text.encode()
    if crlf:
        data = data.replace(b"\n", b"\r\n")
    with open(path, "wb") as f:
        f.write((BOM if bom else b"") + data)


def zeb(driver, *args, cwd):
    return subprocess.run([os.path.join(BIN, driver)] + list(args), cwd=cwd, capture_output=True, text=True)


# A filter over several lines with a line comment in it, a local header, and
# __LINE__ after a guarded statement, so that a lost line shows.
GUARDED_C = """#include <windows.h>
#include <stdio.h>
#include "probe.h"

int guarded_sum(int v)
{
    int r = 0;
    __try {
        r = v;
        RaiseException(PROBE_CODE, 0, 0, NULL);
    } __except (GetExceptionCode() == PROBE_CODE // ours
                ? EXCEPTION_EXECUTE_HANDLER : EXCEPTION_CONTINUE_SEARCH) {
        r += 1;
    }
    printf("%s:%d\\n", __FILE__, __LINE__);
    return r;
}
"""

GUARDED_CXX = """#include <windows.h>
#include "probe.h"

extern "C" int guarded_sum(int v);

extern "C" int guarded_twice(int v)
{
    int r = 0;
    __try {
        r = guarded_sum(v);
        RaiseException(PROBE_CODE, 0, 0, nullptr);
    } __except (EXCEPTION_EXECUTE_HANDLER) {
        r *= 2;
    }
    return r;
}
"""

MAIN_C = """#include <stdio.h>
int guarded_twice(int v);
int main(void)
{
    int r = guarded_twice(20);
    printf("%d\\n", r);
    return r == 42 ? 0 : 1;
}
"""


class Driver(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="zeb-cc-test-")
        self.root = self.tmp.name
        self.src = os.path.join(self.root, "src")
        self.out = os.path.join(self.root, "out")
        os.makedirs(self.src)
        os.makedirs(self.out)
        write(os.path.join(self.src, "probe.h"), "#define PROBE_CODE 0xE0000001\n", crlf=True)

    def tearDown(self):
        self.tmp.cleanup()

    def test_objects_compiled_apart_and_linked(self):
        write(os.path.join(self.src, "sum.c"), GUARDED_C, bom=True, crlf=True)
        write(os.path.join(self.src, "twice.cpp"), GUARDED_CXX, bom=True)
        write(os.path.join(self.src, "main.c"), MAIN_C)
        for driver, source in (("zeb-cc", "sum.c"), ("zeb-c++", "twice.cpp"), ("zeb-cc", "main.c")):
            r = zeb(driver, "-c", "-O2", "-Wall", "../src/" + source, cwd=self.out)
            self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(sorted(os.listdir(self.out)), ["main.o", "sum.o", "twice.o"])
        r = zeb("zeb-cc", "sum.o", "twice.o", "main.o", "-o", "prog", cwd=self.out)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stderr, "")
        run = subprocess.run([os.path.join(self.out, "prog")], capture_output=True, text=True, timeout=30)
        # __LINE__ is the original source's line: 15.
        self.assertEqual(run.stdout, "../src/sum.c:15\n42\n")
        self.assertEqual(run.returncode, 0)

    def test_sources_and_objects_in_one_command(self):
        write(os.path.join(self.src, "sum.c"), GUARDED_C, crlf=True)
        write(os.path.join(self.src, "main.c"), MAIN_C)
        r = zeb("zeb-c++", "-c", os.path.join(self.src, "twice.cpp"), cwd=self.out)
        self.assertNotEqual(r.returncode, 0)   # not written yet: the compiler's own message
        write(os.path.join(self.src, "twice.cpp"), GUARDED_CXX)
        self.assertEqual(zeb("zeb-c++", "-c", "../src/twice.cpp", cwd=self.out).returncode, 0)
        r = zeb("zeb-cc", "../src/sum.c", "twice.o", "../src/main.c", "-o", "prog", cwd=self.out)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(subprocess.run([os.path.join(self.out, "prog")], capture_output=True).returncode, 0)

    def test_compiler_errors_name_the_source(self):
        # Line 1 carries the mark, line 5 an unused variable.
        write(os.path.join(self.src, "unused.c"),
              "int f(void)\n{\n    int r = 0;\n    __try { r = 1; } __finally { r = 2; }\n    int unused;\n"
              "    return r;\n}\n", bom=True, crlf=True)
        r = zeb("zeb-cc", "-c", "-Werror", "../src/unused.c", cwd=self.out)
        self.assertEqual(r.returncode, 1)
        self.assertIn("../src/unused.c:5:9: error: unused variable", r.stderr)
        self.assertNotIn("zeb-cc-", r.stderr.replace("zeb-cc-test-", ""))

    def test_lowering_errors_name_the_source(self):
        write(os.path.join(self.src, "leave.c"), "int x = y;\nvoid f(void)\n{\n    __leave;\n}\n", bom=True, crlf=True)
        r = zeb("zeb-cc", "-c", "../src/leave.c", cwd=self.out)
        self.assertEqual(r.returncode, 1)
        # Columns count from after the mark, as editors show them.
        self.assertIn("../src/leave.c:1:9: error: use of undeclared identifier 'y'", r.stderr)
        self.assertIn("../src/leave.c:4:5: error: '__leave'", r.stderr)
        self.assertEqual(os.listdir(self.out), [])

    def test_dependency_file_names_the_source(self):
        write(os.path.join(self.src, "sum.c"), GUARDED_C)
        r = zeb("zeb-cc", "-MD", "-MT", "obj/sum.o", "-MF", "sum.d", "-c", "../src/sum.c", "-o", "obj/sum.o",
                cwd=self.out)
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(os.path.join(self.out, "sum.d")) as f:
            deps = f.read()
        self.assertTrue(deps.startswith("obj/sum.o: ../src/sum.c "), deps)
        self.assertIn("probe.h", deps)
        self.assertNotIn("zeb-cc-", deps)

    def test_usage_errors(self):
        r = zeb("zeb-cc", "-c", "a.c", "b.c", "-o", "x.o", cwd=self.out)
        self.assertEqual((r.returncode, r.stderr.strip()),
                         (1, "zeb-cc: error: cannot specify '-o' with '-c' with multiple files"))


if __name__ == "__main__":
    if len(sys.argv) < 3 or sys.argv[1] != "--bin":
        sys.exit(__doc__)
    BIN = sys.argv[2]
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:])
