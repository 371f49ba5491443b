/* Access violations inside filters: one caught by a guarded block inside
   the filter, one that escapes the filter and is taken further out, where
   it arrives flagged as nested only in the frames up to the filter's. */
#include <windows.h>
#include <stdio.h>

static int *volatile Null;

static int Nested(EXCEPTION_POINTERS *Pointers)
{
    return (Pointers->ExceptionRecord->ExceptionFlags & EXCEPTION_NESTED_CALL) != 0;
}

static int ProtectedFilter(void)
{
    int Verdict = 0;
    __try {
        Verdict = *Null;
    } __except (GetExceptionCode() == EXCEPTION_ACCESS_VIOLATION) {
        printf("filter-caught-fault\n");
        Verdict = EXCEPTION_EXECUTE_HANDLER;
    }
    return Verdict;
}

static int FaultingFilter(EXCEPTION_POINTERS *Pointers)
{
    printf("faulting-filter %08lX nested=%d\n", (unsigned long)Pointers->ExceptionRecord->ExceptionCode,
           Nested(Pointers));
    if (Pointers->ExceptionRecord->ExceptionCode == 0xE0000002)
        return *Null;
    return EXCEPTION_CONTINUE_SEARCH;
}

static void Second(void)
{
    __try {
        RaiseException(0xE0000002, 0, 0, NULL);
    } __except (FaultingFilter(GetExceptionInformation())) {
        printf("not-reached\n");
    }
}

int main(void)
{
    __try {
        RaiseException(0xE0000001, 0, 0, NULL);
    } __except (ProtectedFilter()) {
        printf("handler1\n");
    }
    __try {
        Second();
    } __except (printf("main-filter %08lX nested=%d\n", (unsigned long)GetExceptionCode(),
                       Nested(GetExceptionInformation())), 1) {
        printf("handler2\n");
    }
    return 0;
}
