/* The records of faults whose report differs between processors, as the
   platform gives them: a breakpoint stops at the breakpoint instruction
   itself (ExceptionAddress and the context's program counter), and a
   filter that steps over it continues there; on x86-64 a privileged
   instruction is 0xC0000096, a read through a non-canonical pointer an
   access violation at address 0xFFFFFFFFFFFFFFFF, and INT_MIN / -1 an
   integer overflow (0xC0000095: the kernel looks at the divisor, and only
   a zero one is a division by zero; Wine reports 0xC0000094).  ARM's divide instruction does not trap:
   the quotient wraps to INT_MIN and nothing is raised. */
#include <windows.h>
#include <intrin.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>

static volatile int Minimum = INT_MIN;
static volatile int MinusOne = -1;

#if defined(_M_X64) || defined(__x86_64__)
#define X64 1
#define PC(c) ((c)->Rip)
#define BREAKPOINT_SIZE 1
#define THUMB 0
static int IsBreakpoint(const unsigned char *At) { return At[0] == 0xCC; }
#elif defined(_M_ARM64) || defined(__aarch64__)
#define PC(c) ((c)->Pc)
#define BREAKPOINT_SIZE 4
#define THUMB 0
static int IsBreakpoint(const unsigned char *At) { return At[0] == 0x00 && At[1] == 0x00 && At[2] == 0x3E && At[3] == 0xD4; }
#else
#define PC(c) ((c)->Pc)
#define BREAKPOINT_SIZE 2
#define THUMB 1   /* bit 0 of a Thumb code address */
static int IsBreakpoint(const unsigned char *At) { return At[0] == 0xFE && At[1] == 0xDE; }
#endif

static int StepOver(EXCEPTION_POINTERS *Pointers)
{
    EXCEPTION_RECORD *Record = Pointers->ExceptionRecord;
    CONTEXT *Context = Pointers->ContextRecord;
    const unsigned char *At = (const unsigned char *)((ULONG_PTR)Record->ExceptionAddress & ~(ULONG_PTR)THUMB);
    printf("breakpoint code=%08lX at-instruction=%d pc-is-address=%d\n", (unsigned long)Record->ExceptionCode,
           IsBreakpoint(At), (ULONG_PTR)PC(Context) == (ULONG_PTR)Record->ExceptionAddress);
    if (Record->ExceptionCode != EXCEPTION_BREAKPOINT)
        return EXCEPTION_EXECUTE_HANDLER;
    PC(Context) += BREAKPOINT_SIZE;
    return EXCEPTION_CONTINUE_EXECUTION;
}

/* What differs per architecture goes on one line, checked as a whole. */
static char Summary[512];

static void Note(const char *Text)
{
    if (Summary[0])
        strcat(Summary, ", ");
    strcat(Summary, Text);
}

static int Show(const char *Name, EXCEPTION_POINTERS *Pointers)
{
    EXCEPTION_RECORD *Record = Pointers->ExceptionRecord;
    char Text[128];
    int Length = snprintf(Text, sizeof Text, "%s code=%08lX", Name, (unsigned long)Record->ExceptionCode);
    if (Record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION)
        snprintf(Text + Length, sizeof Text - Length, " kind=%lu address=%llx",
                 (unsigned long)Record->ExceptionInformation[0], (unsigned long long)Record->ExceptionInformation[1]);
    Note(Text);
    return EXCEPTION_EXECUTE_HANDLER;
}

int main(void)
{
    volatile int Quotient = 0;

    __try {
        __debugbreak();
        printf("continued after breakpoint\n");
    } __except (StepOver(GetExceptionInformation())) {
        printf("not-reached\n");
    }

#ifdef X64
    Note("x86-64");
#else
    Note("arm");
#endif

#ifdef X64
    __try {
        __asm__ __volatile__("hlt");
        Note("not-reached");
    } __except (Show("privileged", GetExceptionInformation())) {
    }
    __try {
        Quotient = *(volatile int *)0x8000000000000000ull;
        Note("not-reached");
    } __except (Show("non-canonical", GetExceptionInformation())) {
    }
#endif

    __try {
        char Text[64];
        Quotient = Minimum / MinusOne;
        snprintf(Text, sizeof Text, "quotient=%d", Quotient);
        Note(Text);
    } __except (Show("overflow", GetExceptionInformation())) {
    }
    printf("%s\n", Summary);
    return 0;
}
