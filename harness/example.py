"""The example project (examples/cmake-project), built by CMake with the
host's zeb-cc and zeb-c++ as its compilers and tested with CTest, as a user
of the layer builds one."""
import os
import shutil
import subprocess

import cmake_builds
from paths import ROOT

PROJECT = os.path.join(ROOT, "examples", "cmake-project")


def build_and_test():
    """True when the project configured, built and passed its tests; a fresh
    build each time, so that the compilers are checked by CMake again."""
    folder = cmake_builds.build_dir("example")
    shutil.rmtree(folder, ignore_errors=True)
    bin_dir = os.path.join(cmake_builds.build_dir("host"), "bin")
    steps = [
        ["cmake", "-S", PROJECT, "-B", folder, f"-DCMAKE_C_COMPILER={os.path.join(bin_dir, 'zeb-cc')}",
         f"-DCMAKE_CXX_COMPILER={os.path.join(bin_dir, 'zeb-c++')}"],
        ["cmake", "--build", folder, "-j", cmake_builds.JOBS],
        ["ctest", "--test-dir", folder, "--output-on-failure"],
    ]
    return all(subprocess.run(step).returncode == 0 for step in steps)
