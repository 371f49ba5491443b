/* SetUnhandledExceptionFilter: the filter of last resort runs after every
   guarded block declined; CONTINUE_EXECUTION resumes after the raise;
   EXECUTE_HANDLER ends the process with the exception code as status. */
#include <windows.h>
#include <stdio.h>

static int Calls;

static LONG WINAPI TopLevel(EXCEPTION_POINTERS *Pointers)
{
    DWORD Code = Pointers->ExceptionRecord->ExceptionCode;
    Calls++;
    printf("top-level %08lX params=%lu\n", (unsigned long)Code,
           (unsigned long)Pointers->ExceptionRecord->NumberParameters);
    fflush(stdout);
    if (Code == 0xE0000001)
        return EXCEPTION_CONTINUE_EXECUTION;
    return EXCEPTION_EXECUTE_HANDLER;
}

int main(void)
{
    ULONG_PTR Arg = 3;
    LPTOP_LEVEL_EXCEPTION_FILTER Previous;

    Previous = SetUnhandledExceptionFilter(TopLevel);
    (void)Previous;
    __try {
        RaiseException(0xE0000001, 0, 1, &Arg);
        printf("continued calls=%d\n", Calls);
    } __except (printf("guarded-filter\n"), EXCEPTION_CONTINUE_SEARCH) {
        printf("not-reached\n");
    }
    /* A guarded block that takes the exception: the top-level filter is not asked. */
    __try {
        RaiseException(0xE0000002, 0, 0, NULL);
    } __except (1) {
        printf("handled calls=%d\n", Calls);
    }
    printf("last\n");
    fflush(stdout);
    RaiseException(0xE0000033, 0, 0, NULL);
    printf("not-reached\n");
    return 0;
}
