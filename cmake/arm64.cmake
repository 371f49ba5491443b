# 64-bit ARM (AArch64); programs run under qemu-user.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(triple aarch64-linux-gnu)
set(qemu qemu-aarch64)
set(arch_flags "")
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
