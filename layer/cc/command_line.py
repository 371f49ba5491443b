"""The command line of zeb-cc and zeb-c++, read the way gcc and g++ read it.

Sources in the dialect (C and C++) are lowered and compiled; everything else
that is not an option (objects, archives, shared libraries) goes to the
linker, in the order given.  Options the driver has no business with go to
the compiler, and to the linker unless they only concern compiling.
"""
import os

C_SUFFIXES = {".c"}
CXX_SUFFIXES = {".cc", ".cp", ".cxx", ".cpp", ".CPP", ".c++", ".C"}
# Compiled as they are, without lowering.
ASSEMBLER_SUFFIXES = {".s", ".S", ".sx"}
LANGUAGES = {"c": "c", "c++": "c++", "assembler": "asm", "assembler-with-cpp": "asm"}

# Options whose value may be the next argument.  Preprocessor options also
# go to the lowering tool, so that it sees the source as the compiler does.
PREPROCESSOR_WITH_VALUE = ("-I", "-D", "-U", "-iquote", "-isystem", "-idirafter", "-include", "-imacros")
DEPENDENCY_WITH_VALUE = ("-MF", "-MT", "-MQ")
LINKER_WITH_VALUE = ("-L", "-l", "-Xlinker", "-u", "-T", "-z")
OTHER_WITH_VALUE = ("-Xassembler", "-Xpreprocessor", "--param", "-aux-info", "-isysroot", "-iprefix",
                    "-iwithprefix", "-iwithprefixbefore", "-imultilib", "-B")
# The layer's own options (the suite's build, the platform files).
DRIVER_WITH_VALUE = ("--lower", "--runtime", "--cxx", "--cc", "--flag", "--keep")

LINK_ONLY_PREFIXES = ("-L", "-l", "-Wl,", "-Xlinker", "-u", "-T", "-z")
LINK_ONLY = {"-static", "-shared", "-rdynamic", "-pie", "-no-pie", "-static-pie", "-nostdlib", "-nodefaultlibs",
             "-nostartfiles", "-static-libgcc", "-static-libstdc++", "-s"}
DEPENDENCY_FLAGS = {"-M", "-MM", "-MD", "-MMD", "-MG", "-MP"}


class UsageError(Exception):
    pass


class Input:
    """One file given: a source with its language (c, c++, asm), or a
    linker input (language None)."""

    def __init__(self, path, language):
        self.path = path
        self.language = language


class Command:
    def __init__(self):
        self.inputs = []
        self.output = None
        self.stop = None            # "-c", "-S", "-E", "-fsyntax-only" or None (link)
        self.preprocessor = []      # to the lowering tool and the compiler
        self.std = []               # -std=..., sorted to the language it fits
        self.compile = []           # to the compiler only
        self.link = []              # to the linker only, with the inputs in their places (Input)
        self.both = []              # to the compiler and the linker
        self.dependencies = []      # -M..., to the compiler only
        self.verbose = False
        self.lower = None
        self.runtime = None
        self.cxx = "g++"
        self.cc = None
        self.flags = []             # --flag: the layer's build's own flags, compile and link
        self.keep = None
        self.cxx_driver = False     # as g++: .c sources are C++
        self.async_exceptions = False   # -fasync-exceptions: catch (...) takes structured exceptions

    def sources(self):
        return [i for i in self.inputs if i.language]


def language_of(path, forced, cxx_driver):
    """c, c++ or asm for a source; None for a linker input."""
    if forced:
        return forced
    suffix = os.path.splitext(path)[1]
    if suffix in C_SUFFIXES:
        return "c++" if cxx_driver else "c"
    if suffix in CXX_SUFFIXES:
        return "c++"
    if suffix in ASSEMBLER_SUFFIXES:
        return "asm"
    return None


def std_language(flag):
    """The language a -std= value belongs to: c++ for c++NN / gnu++NN."""
    return "c++" if "++" in flag else "c"


def parse(argv, cxx_driver=False):
    """Reads ARGV (without the program name) into a Command; raises
    UsageError with gcc's kind of message."""
    cmd = Command()
    cmd.cxx_driver = cxx_driver
    forced = None
    args = list(argv)
    i = 0

    def value(name):
        nonlocal i
        if i + 1 >= len(args):
            raise UsageError(f"missing argument to '{name}'")
        i += 1
        return args[i]

    while i < len(args):
        a = args[i]
        if a in DRIVER_WITH_VALUE or (a.startswith("--") and a.split("=", 1)[0] in DRIVER_WITH_VALUE):
            name, v = (a.split("=", 1) if "=" in a else (a, value(a)))
            if name == "--flag":
                cmd.flags.append(v)
            else:
                setattr(cmd, name[2:], v)
        elif a == "-o":
            cmd.output = value(a)
        elif a.startswith("-o") and len(a) > 2:
            cmd.output = a[2:]
        elif a in ("-c", "-S", "-E", "-fsyntax-only"):
            # The last one that stops earliest wins, as with gcc.
            order = ["-fsyntax-only", "-E", "-S", "-c"]
            if cmd.stop is None or order.index(a) < order.index(cmd.stop):
                cmd.stop = a
        elif a == "-x" or (a.startswith("-x") and len(a) > 2):
            name = value(a) if a == "-x" else a[2:]
            if name == "none":
                forced = None
            elif name in LANGUAGES:
                forced = LANGUAGES[name]
            else:
                raise UsageError(f"language {name} not recognized")
        elif a == "-undef":
            cmd.preprocessor.append(a)
        elif a in PREPROCESSOR_WITH_VALUE:
            cmd.preprocessor += [a, value(a)]
        elif any(a.startswith(p) and len(a) > len(p) for p in ("-I", "-D", "-U", "-iquote", "-isystem", "-idirafter")):
            cmd.preprocessor.append(a)
        elif a.startswith("-std="):
            cmd.std.append(a)
        elif a in DEPENDENCY_WITH_VALUE:
            cmd.dependencies += [a, value(a)]
        elif a in DEPENDENCY_FLAGS or any(a.startswith(p) and len(a) > 3 for p in DEPENDENCY_WITH_VALUE):
            cmd.dependencies.append(a)
        elif a in LINKER_WITH_VALUE:
            cmd.link += [a, value(a)]
        elif a in LINK_ONLY or a.startswith(LINK_ONLY_PREFIXES):
            cmd.link.append(a)
        elif a in OTHER_WITH_VALUE:
            cmd.compile += [a, value(a)]
        elif a in ("-fasync-exceptions", "-fno-async-exceptions"):
            # The exception model of C++ sources: with it, catch (...)
            # also takes structured exceptions (the platform's /EHa).
            cmd.async_exceptions = a == "-fasync-exceptions"
        elif a == "-v":
            cmd.verbose = True
            cmd.both.append(a)
        elif a.startswith(("-O", "-g", "-W", "-w", "-pedantic", "-ansi", "-Wa,", "-Wp,", "-C", "-P", "-H",
                           "-fdiagnostics", "-fmessage-length")):
            cmd.compile.append(a)
        elif a == "-":
            raise UsageError("a source from standard input is not supported; give its file")
        elif a.startswith("-") and len(a) > 1:
            cmd.both.append(a)
        else:
            # Every input keeps its place among -l and -L: a source stands
            # for its object.
            given = Input(a, language_of(a, forced, cxx_driver))
            cmd.inputs.append(given)
            cmd.link.append(given)
        i += 1

    if cmd.stop != "-fsyntax-only" and any(d in ("-M", "-MM") for d in cmd.dependencies):
        cmd.stop = "-E"   # a dependency list instead of the preprocessed text
    sources = cmd.sources()
    if not cmd.inputs:
        raise UsageError("no input files")
    if cmd.output and cmd.stop in ("-c", "-S", "-E") and len(sources) > 1:
        raise UsageError(f"cannot specify '-o' with '{cmd.stop}' with multiple files")
    if cmd.stop and not sources:
        raise UsageError(f"no source among the input files for '{cmd.stop}'")
    # With no source (objects only linked, as a platform's template does for
    # a program built once) nothing is lowered, so nothing is kept.
    if cmd.keep and len(sources) > 1:
        raise UsageError("--keep needs exactly one source")
    if not cmd.lower or not cmd.runtime:
        raise UsageError("--lower TOOL and --runtime LIBRARY are required (zeb-cc and zeb-c++ give them)")
    return cmd


def object_name(source, stop):
    """What gcc writes for SOURCE with -c or -S and no -o: in this folder,
    the source's name with .o or .s."""
    stem = os.path.splitext(os.path.basename(source))[0]
    return stem + (".s" if stop == "-S" else ".o")
