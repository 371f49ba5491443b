# What both ARM toolchains share: Debian's cross compilers for `triple`,
# static programs (no ARM sysroot needed at run time) run under qemu-user,
# libraries and headers searched in the cross root only.
# Set before including: triple, qemu, arch_flags (may be empty).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${triple}-gcc)
set(CMAKE_CXX_COMPILER ${triple}-g++)
set(CMAKE_C_FLAGS_INIT "${arch_flags}")
set(CMAKE_CXX_FLAGS_INIT "${arch_flags}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_CROSSCOMPILING_EMULATOR ${qemu})
separate_arguments(arch_list UNIX_COMMAND "${arch_flags}")
list(APPEND arch_list -static)
set(ZEB_PROGRAM_FLAGS "${arch_list}" CACHE STRING "")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
