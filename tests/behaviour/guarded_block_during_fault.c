/* Guarded blocks reached while a hardware fault is being handled: in a
   function a filter calls, in a vectored handler and in the top-level
   filter.  All of them run on the faulting thread's own stack, as on the
   platform, so a fault inside them is an exception like any other.  The
   last fault is unhandled: the top-level filter takes it and the process
   ends with its code (0xC0000005: 5 in the low byte). */
#include <windows.h>
#include <stdio.h>

static volatile int *volatile Null;
static volatile int Busy;

static int FaultInside(const char *Where)
{
    int Caught = 0;
    __try {
        *Null = 1;
    } __except (EXCEPTION_EXECUTE_HANDLER) {
        Caught = 1;
    }
    printf("%s inner=%d\n", Where, Caught);
    return EXCEPTION_EXECUTE_HANDLER;
}

static LONG WINAPI Vectored(EXCEPTION_POINTERS *Pointers)
{
    if (Busy || Pointers->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION)
        return EXCEPTION_CONTINUE_SEARCH;
    Busy = 1;
    FaultInside("vectored");
    Busy = 0;
    return EXCEPTION_CONTINUE_SEARCH;
}

static LONG WINAPI TopLevel(EXCEPTION_POINTERS *Pointers)
{
    (void)Pointers;
    FaultInside("top-level");
    fflush(stdout);
    return EXCEPTION_EXECUTE_HANDLER;
}

int main(void)
{
    PVOID Handle;

    __try {
        *Null = 2;
    } __except (FaultInside("filter")) {
        printf("handled after filter\n");
    }

    Handle = AddVectoredExceptionHandler(1, Vectored);
    __try {
        *Null = 3;
    } __except (EXCEPTION_EXECUTE_HANDLER) {
        printf("handled after vectored\n");
    }
    RemoveVectoredExceptionHandler(Handle);

    __try {
        __try {
            *Null = 4;
        } __finally {
            printf("finally ab=%d\n", AbnormalTermination() != 0);
        }
    } __except (FaultInside("filter-of-finally")) {
        printf("handled after finally\n");
    }

    SetUnhandledExceptionFilter(TopLevel);
    printf("unhandled next\n");
    fflush(stdout);
    *Null = 5;
    printf("not-reached\n");
    return 0;
}
