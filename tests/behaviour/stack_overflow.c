/* Unbounded recursion reaches the filter as a stack overflow (0xC00000FD);
   the handler runs on the recovered stack. */
#include <windows.h>
#include <stdio.h>

static int Deepest;
/* Always set: the recursion has no end, though the compiler cannot see it. */
static volatile int Forever = 1;

static int Recurse(int Depth)
{
    volatile char Pad[512];
    Pad[0] = (char)Depth;
    if (Depth > Deepest)
        Deepest = Depth;
    if (!Forever)
        return 0;
    return Recurse(Depth + 1) + Pad[0];
}

static DWORD Code;

/* The filter runs on what is left of the stack: it prints nothing. */
static int Seen(EXCEPTION_POINTERS *Pointers)
{
    Code = Pointers->ExceptionRecord->ExceptionCode;
    return Code == EXCEPTION_STACK_OVERFLOW;
}

int main(void)
{
    __try {
        Recurse(0);
    } __except (Seen(GetExceptionInformation())) {
        printf("handled %08lX deep=%d\n", (unsigned long)Code, Deepest > 100);
    }
    printf("end\n");
    return 0;
}
