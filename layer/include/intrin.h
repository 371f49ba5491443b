/* The compiler intrinsics that exception-handling programs use. */
#ifndef ZEB_INTRIN_H
#define ZEB_INTRIN_H

/* A breakpoint, reported as STATUS_BREAKPOINT at the instruction itself:
 * int3 on x86-64, the platform's BRK #0xF000 on AArch64 and its UDF #0xFE
 * on 32-bit ARM (Thumb). */
#if defined(__x86_64__)
#define __debugbreak() __asm__ __volatile__("int3")
#elif defined(__aarch64__)
#define __debugbreak() __asm__ __volatile__("brk #0xf000")
#elif defined(__arm__) && defined(__thumb__)
#define __debugbreak() __asm__ __volatile__(".inst.n 0xdefe")
#else
#define __debugbreak() __asm__ __volatile__("udf #0xfe")
#endif

#define _ReturnAddress() __builtin_return_address(0)
#define __nop() __asm__ __volatile__("nop")

#endif
