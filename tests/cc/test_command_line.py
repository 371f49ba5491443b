#!/usr/bin/env python3
"""How zeb-cc reads gcc's command line: where each kind of option goes and
which command lines it refuses."""
import os
import sys
import unittest

from command_line import UsageError, object_name, parse

LAYER = ["--lower", "/t/zeb-lower", "--runtime", "/t/libzebseh.a"]


def read(*args, cxx_driver=False):
    return parse(LAYER + list(args), cxx_driver)


class Sorting(unittest.TestCase):
    def test_each_kind_of_option_goes_where_gcc_would_use_it(self):
        cmd = read("-c", "a.c", "-Iinc", "-I", "dir", "-iquote", "q", "-DX=1", "-U", "Y", "-std=c11", "-O2", "-g3",
                   "-Wno-unused", "-w", "-MD", "-MF", "a.d", "-fPIC", "-pthread", "-Wl,--as-needed", "-lfoo",
                   "-L", "lib", "-include", "pre.h", "-o", "a.o")
        self.assertEqual(cmd.stop, "-c")
        self.assertEqual(cmd.output, "a.o")
        self.assertEqual(cmd.preprocessor, ["-Iinc", "-I", "dir", "-iquote", "q", "-DX=1", "-U", "Y",
                                            "-include", "pre.h"])
        self.assertEqual(cmd.std, ["-std=c11"])
        self.assertEqual(cmd.compile, ["-O2", "-g3", "-Wno-unused", "-w"])
        self.assertEqual(cmd.dependencies, ["-MD", "-MF", "a.d"])
        self.assertEqual(cmd.both, ["-fPIC", "-pthread"])
        self.assertEqual([x if isinstance(x, str) else x.path for x in cmd.link],
                         ["a.c", "-Wl,--as-needed", "-lfoo", "-L", "lib"])

    def test_inputs_keep_their_order_among_libraries(self):
        cmd = read("main.o", "-lfirst", "b.cpp", "libz.a", "-lsecond", "-o", "prog")
        self.assertEqual([x if isinstance(x, str) else x.path for x in cmd.link],
                         ["main.o", "-lfirst", "b.cpp", "libz.a", "-lsecond"])
        self.assertEqual([(i.path, i.language) for i in cmd.inputs],
                         [("main.o", None), ("b.cpp", "c++"), ("libz.a", None)])
        self.assertIsNone(cmd.stop)

    def test_languages_by_name_by_x_and_by_driver(self):
        cmd = read("-c", "a.c", "b.cc", "c.C", "d.cxx", "e.S", "-x", "c++", "f.c", "-x", "none", "g.c")
        self.assertEqual([i.language for i in cmd.inputs], ["c", "c++", "c++", "c++", "asm", "c++", "c"])
        self.assertEqual(read("-c", "a.c", cxx_driver=True).inputs[0].language, "c++")
        self.assertEqual(read("-c", "-xc", "a.cpp").inputs[0].language, "c")

    def test_layer_options_in_both_spellings(self):
        cmd = read("a.c", "-o", "p", "--cxx=arm-linux-gnueabihf-g++", "--flag=-static", "--flag", "-mthumb",
                   "--keep", "k.cpp")
        self.assertEqual(cmd.cxx, "arm-linux-gnueabihf-g++")
        self.assertEqual(cmd.flags, ["-static", "-mthumb"])
        self.assertEqual(cmd.keep, "k.cpp")
        # objects only linked: nothing lowered, nothing kept, no refusal
        self.assertEqual(read("a.o", "-o", "p", "--keep", "k.cpp").sources(), [])

    def test_the_exception_model_is_the_drivers_own_and_the_last_one_wins(self):
        self.assertFalse(read("a.cpp").async_exceptions)
        cmd = read("a.cpp", "-fasync-exceptions", "-O2")
        self.assertTrue(cmd.async_exceptions)
        # Not a compiler's option: gcc would refuse it.
        self.assertNotIn("-fasync-exceptions", cmd.both + cmd.compile)
        self.assertFalse(read("a.cpp", "-fasync-exceptions", "-fno-async-exceptions").async_exceptions)

    def test_dependency_list_alone_stops_after_preprocessing(self):
        self.assertEqual(read("-M", "a.c").stop, "-E")
        self.assertEqual(read("-MM", "-c", "a.c").stop, "-E")
        self.assertIsNone(read("-MD", "a.c").stop)

    def test_the_earliest_stop_wins(self):
        self.assertEqual(read("-c", "-E", "a.c").stop, "-E")
        self.assertEqual(read("-S", "-c", "a.c").stop, "-S")

    def test_default_output_names(self):
        self.assertEqual(object_name("src/dir/a.cpp", "-c"), "a.o")
        self.assertEqual(object_name("b.c", "-S"), "b.s")


class Refused(unittest.TestCase):
    def check(self, message, *args):
        with self.assertRaises(UsageError) as e:
            read(*args)
        self.assertIn(message, str(e.exception))

    def test_command_lines_gcc_refuses_too(self):
        self.check("no input files", "-c")
        self.check("cannot specify '-o' with '-c' with multiple files", "-c", "a.c", "b.c", "-o", "x.o")
        self.check("missing argument to '-o'", "a.c", "-o")
        self.check("missing argument to '-I'", "a.c", "-I")
        self.check("language pascal not recognized", "-x", "pascal", "a.p")

    def test_what_the_driver_cannot_do(self):
        self.check("standard input", "-c", "-")
        self.check("no source", "-c", "a.o")
        self.check("--keep needs exactly one source", "a.c", "b.c", "--keep", "k.cpp")
        with self.assertRaises(UsageError):
            parse(["a.c"])   # no lowering tool, no run-time


if __name__ == "__main__":
    unittest.main()
