"""The platforms the suite builds for: each is one or more CMake builds."""
import os

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
HOST_LOWER = os.path.join(ROOT, "build", "host", "platform", "zeb-lower")


class Build:
    def __init__(self, name, platform, cmake_args=(), needs_host_tool=False):
        self.name = name
        self.platform = platform
        self.dir = os.path.join(ROOT, "build", name)
        self.cmake_args = list(cmake_args)
        self.needs_host_tool = needs_host_tool

    @property
    def results(self):
        return os.path.join(self.dir, "results")


def _toolchain(name):
    return f"-DCMAKE_TOOLCHAIN_FILE={os.path.join(ROOT, 'cmake', name + '.cmake')}"


PLATFORMS = {
    "host": [Build("host", "host", ["-DZEB_PLATFORM=host"])],
    "arm": [
        Build("arm32", "arm", [_toolchain("arm32"), "-DZEB_PLATFORM=arm", "-DZEB_ARCH=arm32",
                               f"-DZEB_LOWER={HOST_LOWER}"], needs_host_tool=True),
        Build("arm64", "arm", [_toolchain("arm64"), "-DZEB_PLATFORM=arm", "-DZEB_ARCH=arm64",
                               f"-DZEB_LOWER={HOST_LOWER}"], needs_host_tool=True),
    ],
    "wine": [Build("wine", "wine", ["-DZEB_PLATFORM=wine", "-DZEB_UNIT_TESTS=OFF"])],
}

DESCRIPTIONS = {
    "host": "this machine (x86-64 Linux) with the portable SEH layer",
    "arm": "32-bit ARM (Thumb-2, hard float) and AArch64 Linux with the layer, under qemu-user",
    "wine": "x86-64 Windows (clang-19, mingw-w64, table-based SEH) under Wine",
}
