/* What the programs and mingw-w64's headers expect beyond msvcrt.dll on
   32-bit ARM: atexit, C99 vsnprintf for snprintf, the standard streams
   through __acrt_iob_func, and the stack probe.  Written over msvcrt.dll. */
#include <stdarg.h>
#include <stddef.h>

typedef int (__cdecl *onexit_function)(void);
onexit_function __cdecl _onexit(onexit_function);
struct msvcrt_file { char opaque[32]; };  /* msvcrt.dll's FILE on 32-bit Windows */
struct msvcrt_file *__cdecl __iob_func(void);
int __cdecl _vscprintf(const char *, va_list);
int __cdecl _vsnprintf(char *, size_t, const char *, va_list);

int __cdecl atexit(void (__cdecl *function)(void))
{
    return _onexit((onexit_function)function) ? 0 : -1;
}

/* C99 vsnprintf, which msvcrt.dll lacks: always terminated, returns the
   length the whole text would have. */
int __cdecl __ms_vsnprintf(char *buffer, size_t size, const char *format, va_list args)
{
    va_list measure;
    va_copy(measure, args);
    int length = _vscprintf(format, measure);
    va_end(measure);
    if (size > 0) {
        _vsnprintf(buffer, size - 1, format, args);
        buffer[(size_t)length < size - 1 ? (size_t)length : size - 1] = '\0';
    }
    return length;
}

/* stdin, stdout and stderr: msvcrt.dll's array of streams. */
struct msvcrt_file *__cdecl __acrt_iob_func(unsigned index)
{
    return &__iob_func()[index];
}

/* mingw-w64's stdio.h declares __acrt_iob_func dllimport, so the programs
   call it through __imp___acrt_iob_func.  Left to lld, that pointer is one
   it makes for a locally defined symbol, and it holds the bare address,
   without the Thumb bit: the indirect call (blx) then switches to ARM state
   and faults on its first instruction (a misaligned PC, SIGBUS).  Defined
   here, it is ordinary data with an address relocation, which lld gives the
   Thumb bit as it does every pointer into code. */
struct msvcrt_file *(__cdecl *__imp___acrt_iob_func)(unsigned) = __acrt_iob_func;

/* The stack probe the compiler calls before allocating a frame larger than
   a page: r4 holds the size in 4-byte words, and on return the size in
   bytes, which the caller takes from sp.  Touching every page in order,
   from the top down, lets the guard page below the committed stack grow it
   (or raise the stack overflow) one page at a time.  Only r12 may change
   besides r4. */
__asm__(".text\n"
        ".syntax unified\n"
        ".thumb\n"
        ".globl __chkstk\n"
        ".p2align 2\n"
        ".thumb_func\n"
        "__chkstk:\n"
        "    lsls r4, r4, #2\n"
        "    push {r4, r5}\n"
        "    mov r12, sp\n"
        "    add r12, r12, #8\n"
        "1:  sub r12, r12, #4096\n"
        "    subs r4, r4, #4096\n"
        "    ldr r5, [r12]\n"
        "    bgt 1b\n"
        "    pop {r4, r5}\n"
        "    bx lr\n");

/* Integer division, which ARMv7-A need not have in hardware: the compiler
   checks the divisor for zero itself (a __brkdiv0 trap, which Windows
   reports as 0xC0000094) and then calls these with the divisor in r0 and
   the dividend in r1; the quotient comes back in r0, the remainder in r1.
   Shift and subtract, so that nothing here divides. */
unsigned long long __rt_udiv(unsigned divisor, unsigned dividend)
{
    unsigned quotient = 0, remainder = 0;
    for (int bit = 31; bit >= 0; --bit) {
        remainder = (remainder << 1) | ((dividend >> bit) & 1);
        if (remainder >= divisor) {
            remainder -= divisor;
            quotient |= 1u << bit;
        }
    }
    return quotient | (unsigned long long)remainder << 32;
}

/* Truncating, as C's division: the quotient is negative when the signs
   differ, the remainder has the dividend's sign. */
long long __rt_sdiv(int divisor, int dividend)
{
    unsigned magnitude_divisor = divisor < 0 ? 0u - (unsigned)divisor : (unsigned)divisor;
    unsigned magnitude_dividend = dividend < 0 ? 0u - (unsigned)dividend : (unsigned)dividend;
    unsigned long long both = __rt_udiv(magnitude_divisor, magnitude_dividend);
    unsigned quotient = (unsigned)both, remainder = (unsigned)(both >> 32);
    if ((divisor < 0) != (dividend < 0))
        quotient = 0u - quotient;
    if (dividend < 0)
        remainder = 0u - remainder;
    return (long long)(quotient | (unsigned long long)remainder << 32);
}
