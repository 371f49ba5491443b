/* An exception raised inside a filter: the frames from the first raise up to
   and including the filter's frame see it with EXCEPTION_NESTED_CALL (the
   raising filter's own block is asked again), frames beyond do not flag it;
   when an outer block takes it, the first exception is abandoned. */
#include <windows.h>
#include <stdio.h>

static int Flag(EXCEPTION_POINTERS *Pointers)
{
    return (Pointers->ExceptionRecord->ExceptionFlags & EXCEPTION_NESTED_CALL) != 0;
}

static int Raised;

/* Asked again for the exception it raises itself (its block is still
   active); it declines that one. */
static int RaisingFilter(EXCEPTION_POINTERS *Pointers)
{
    if (Raised) {
        printf("raising-filter-again %08lX nested=%d\n",
               (unsigned long)Pointers->ExceptionRecord->ExceptionCode, Flag(Pointers));
        return EXCEPTION_CONTINUE_SEARCH;
    }
    Raised = 1;
    printf("raising-filter\n");
    RaiseException(0xE0000002, 0, 0, NULL);
    printf("raising-filter-continued\n");
    return EXCEPTION_EXECUTE_HANDLER;
}

static int Seen(const char *Name, EXCEPTION_POINTERS *Pointers, int Verdict)
{
    printf("%s %08lX nested=%d chained=%d\n", Name, (unsigned long)Pointers->ExceptionRecord->ExceptionCode,
           Flag(Pointers), Pointers->ExceptionRecord->ExceptionRecord != NULL);
    return Verdict;
}

static void Inner(void)
{
    __try {
        __try {
            RaiseException(0xE0000001, 0, 0, NULL);
        } __finally {
            printf("inner-fin ab=%d\n", AbnormalTermination() != 0);
        }
    } __except (Seen("inner-filter", GetExceptionInformation(), EXCEPTION_CONTINUE_SEARCH)) {
        printf("inner-handler\n");
    }
}

static void Middle(void)
{
    __try {
        __try {
            Inner();
        } __except (RaisingFilter(GetExceptionInformation())) {
            printf("middle-handler\n");
        }
    } __except (Seen("middle-outer-filter", GetExceptionInformation(),
                     GetExceptionCode() == 0xE0000001)) {
        printf("middle-outer-handler\n");
    }
}

int main(void)
{
    __try {
        Middle();
        printf("middle-returned\n");
    } __except (Seen("main-filter", GetExceptionInformation(), EXCEPTION_EXECUTE_HANDLER)) {
        printf("main-handler %08lX\n", (unsigned long)GetExceptionCode());
    }
    printf("end\n");
    return 0;
}
