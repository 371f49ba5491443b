/* A top-level filter that answers EXCEPTION_EXECUTE_HANDLER: the process
   ends with the exception code as its status, after the termination
   handlers still pending have run (the start-up's handler is reached by an
   ordinary unwind). */
#include <windows.h>
#include <stdio.h>

static LONG WINAPI TopLevel(EXCEPTION_POINTERS *Pointers)
{
    printf("top-level %08lX\n", (unsigned long)Pointers->ExceptionRecord->ExceptionCode);
    fflush(stdout);
    return EXCEPTION_EXECUTE_HANDLER;
}

static void Raise(void)
{
    __try {
        RaiseException(0xE0000077, 0, 0, NULL);
    } __finally {
        printf("fin ab=%d\n", AbnormalTermination() != 0);
        fflush(stdout);
    }
}

int main(void)
{
    SetUnhandledExceptionFilter(TopLevel);
    Raise();
    printf("not-reached\n");
    return 0;
}
