# 32-bit ARM, Thumb-2, hard float; programs run under qemu-user.
set(CMAKE_SYSTEM_PROCESSOR arm)
set(triple arm-linux-gnueabihf)
set(qemu qemu-arm)
set(arch_flags "-march=armv7-a -mthumb -mfloat-abi=hard -mfpu=vfpv3-d16")
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
