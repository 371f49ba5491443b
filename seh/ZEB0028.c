/* ZEB0028: an integer-overflow exception raised by a called function
   before its store is selected by its code; the store never happens.
   Expected Counter: 2. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0028";

__declspec(noinline) void OverflowingAdd(int First, int Second, int *Result)
{
    RaiseException(0xC0000095, 0, 0, NULL);
    /* The sum does not fit in an int; it is formed in unsigned arithmetic
       so that reaching this store (after a resumed raise) is still
       defined. */
    *Result = (int)((unsigned int)First + (unsigned int)Second);
}

int main(void)
{
    int Counter;

    Counter = 0;

    __try {
        Counter += 1;
        OverflowingAdd(0x7FFF0000, 0x10000, &Counter);
    } __except (GetExceptionCode() == 0xC0000095 ? EXCEPTION_EXECUTE_HANDLER
                                                 : EXCEPTION_CONTINUE_SEARCH) {
        Counter += 1;
    }

    if (Counter != 2) {
        printf("TEST 28 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
