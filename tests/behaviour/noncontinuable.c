/* Continuing a noncontinuable exception raises 0xC0000025, whose record
   chains the original one; the search for it starts again at the raise. */
#include <windows.h>
#include <stdio.h>

static int InnerCalls;

static int Inner(EXCEPTION_POINTERS *Pointers)
{
    EXCEPTION_RECORD *Record = Pointers->ExceptionRecord;
    InnerCalls++;
    printf("inner-filter %08lX flags=%lu\n", (unsigned long)Record->ExceptionCode,
           (unsigned long)Record->ExceptionFlags);
    if (Record->ExceptionCode == 0xE0000025)
        return EXCEPTION_CONTINUE_EXECUTION;
    return EXCEPTION_CONTINUE_SEARCH;
}

static int Outer(EXCEPTION_POINTERS *Pointers)
{
    EXCEPTION_RECORD *Record = Pointers->ExceptionRecord;
    printf("outer-filter %08lX flags=%lu\n", (unsigned long)Record->ExceptionCode,
           (unsigned long)Record->ExceptionFlags);
    if (Record->ExceptionRecord != NULL)
        printf("chained %08lX params=%lu\n", (unsigned long)Record->ExceptionRecord->ExceptionCode,
               (unsigned long)Record->ExceptionRecord->NumberParameters);
    if (Record->ExceptionCode == 0xE0000025 && Record->ExceptionFlags == 0)
        return EXCEPTION_CONTINUE_EXECUTION;
    return EXCEPTION_EXECUTE_HANDLER;
}

int main(void)
{
    ULONG_PTR Arg = 7;
    int Done = 0;

    /* A continuable one first: the raise returns. */
    __try {
        RaiseException(0xE0000025, 0, 1, &Arg);
        printf("continued\n");
        Done++;
    } __except (Outer(GetExceptionInformation())) {
        printf("not-reached\n");
    }
    __try {
        __try {
            RaiseException(0xE0000025, EXCEPTION_NONCONTINUABLE, 1, &Arg);
            printf("not-continued\n");
        } __except (Inner(GetExceptionInformation())) {
            printf("inner-handler\n");
        }
    } __except (Outer(GetExceptionInformation())) {
        printf("outer-handler %08lX\n", (unsigned long)GetExceptionCode());
        Done++;
    }
    printf("inner-calls=%d\n", InnerCalls);
    return Done == 2 ? 0 : 1;
}
