/* ZEB0010: a try/finally in a called function between a raised
   0xC0000005 and the try/except in main. Its termination handler runs
   abnormally and stores 99; main's exception handler then decrements.
   Expected Counter: 98. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0010";

__declspec(noinline) void RaiseStatus(DWORD ExceptionCode)
{
    RaiseException(ExceptionCode, 0, 0, NULL);
}

__declspec(noinline) void RaiseWithFinally(DWORD ExceptionCode, int *Result)
{
    __try {
        RaiseStatus(ExceptionCode);
    } __finally {
        if (AbnormalTermination()) {
            *Result = 99;
        } else {
            *Result = 100;
        }
    }
}

int main(void)
{
    int Counter;

    Counter = 0;

    __try {
        RaiseWithFinally(0xC0000005, &Counter);
    } __except (GetExceptionCode() == 0xC0000005 ? EXCEPTION_EXECUTE_HANDLER
                                                 : EXCEPTION_CONTINUE_SEARCH) {
        Counter--;
    }

    if (Counter != 98) {
        printf("TEST 10 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
