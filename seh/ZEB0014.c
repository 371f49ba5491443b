/* ZEB0014: a goto from an exception handler out of an enclosing
   try/finally runs that termination handler once before reaching the
   label. Expected Counter: 2. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0014";

__declspec(noinline) void RaiseStatus(DWORD ExceptionCode)
{
    RaiseException(ExceptionCode, 0, 0, NULL);
}

int main(void)
{
    int Counter;

    Counter = 0;

    __try {
        __try {
            RaiseStatus(0xC0000005);
        } __except (GetExceptionCode() == 0xC0000005
                        ? EXCEPTION_EXECUTE_HANDLER
                        : EXCEPTION_CONTINUE_SEARCH) {
            Counter++;
            goto Done;
        }
    } __finally {
        Counter++;
    }

Done:
    if (Counter != 2) {
        printf("TEST 14 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
