/* ZEB0018: a goto from an exception handler out of a try/finally inside
   a called function; the function then returns normally and main's
   termination handler runs once. Expected Counter: 4. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0018";

__declspec(noinline) void RaiseStatus(DWORD ExceptionCode)
{
    RaiseException(ExceptionCode, 0, 0, NULL);
}

__declspec(noinline) void HandleAndLeave(DWORD ExceptionCode,
                                         int *CounterPointer)
{
    __try {
        __try {
            RaiseStatus(ExceptionCode);
        } __except (GetExceptionCode() == ExceptionCode
                        ? EXCEPTION_EXECUTE_HANDLER
                        : EXCEPTION_CONTINUE_SEARCH) {
            *CounterPointer += 1;
            goto Done;
        }
    } __finally {
        *CounterPointer += 1;
    }

Done:
    return;
}

int main(void)
{
    int Counter;

    Counter = 0;

    __try {
        Counter++;
        HandleAndLeave(0xC0000005, &Counter);
    } __finally {
        Counter++;
    }

    if (Counter != 4) {
        printf("TEST 18 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
