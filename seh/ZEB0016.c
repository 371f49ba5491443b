/* ZEB0016: a goto from an exception handler leaves the middle of two
   enclosing try/finally statements: only the middle termination handler
   runs for the jump; the outermost one runs once, later, when its block
   ends normally. Expected Counter: 4. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0016";

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
            __try {
                Counter++;
                RaiseStatus(0xC0000095);
            } __except (EXCEPTION_EXECUTE_HANDLER) {
                Counter++;
                goto Done;
            }
        } __finally {
            Counter++;
        }
Done:
        ;
    } __finally {
        Counter++;
    }

    if (Counter != 4) {
        printf("TEST 16 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
