/* ZEB0012: inside the exception handler of a raised 0xC0000005, a second
   exception with code 0 is raised and caught by a guarded block nested in
   that handler; the outer filter is not consulted for it.
   Expected Counter: 1 inside the inner handler, 2 at the end. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0012";

__declspec(noinline) void RaiseStatus(DWORD ExceptionCode)
{
    RaiseException(ExceptionCode, 0, 0, NULL);
}

int main(void)
{
    int Counter;

    Counter = 0;

    __try {
        RaiseStatus(0xC0000005);
    } __except (GetExceptionCode() == 0xC0000005 ? EXCEPTION_EXECUTE_HANDLER
                                                 : EXCEPTION_CONTINUE_SEARCH) {
        Counter++;
        __try {
            RaiseStatus(0);
        } __except (GetExceptionCode() == 0 ? EXCEPTION_EXECUTE_HANDLER
                                            : EXCEPTION_CONTINUE_SEARCH) {
            if (Counter != 1) {
                printf("TEST 12 FAILED. Counter = %d\n\r", Counter);
                return -1;
            }
            Counter++;
        }
    }

    if (Counter != 2) {
        printf("TEST 12 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
