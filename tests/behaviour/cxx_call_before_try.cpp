// A frame that an exception passes through at a call is outside every
// guarded block that begins after that call: its termination handlers and
// filters are not run.  The call's return address is the first instruction
// after it, which here is where the next __try begins, so an implementation
// that looks the frame's blocks up by that address alone (as
// __C_specific_handler does) relies on the compiler to put an instruction
// between the call and the guarded block.  A C++ source, in the default
// (synchronous) model.
#include <windows.h>
#include <stdio.h>

static void Descend(int depth)
{
    if (depth < 3)
        Descend(depth + 1);
    // only the deepest call gets here: the others are left at the call above
    __try {
        RaiseException(0xE0000001u, 0, 0, NULL);
    }
    __finally {
        printf("finally at depth %d\n", depth);
    }
}

static int Outer(unsigned long code)
{
    printf("filter %lx\n", code);
    return EXCEPTION_EXECUTE_HANDLER;
}

int main(void)
{
    setvbuf(stdout, NULL, _IONBF, 0);
    __try {
        Descend(0);
    } __except (Outer(GetExceptionCode())) {
        printf("handler\n");
    }
    return 0;
}
