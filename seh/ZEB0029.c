/* ZEB0029: a read through address 1 in a called function reaches the
   filter as an access violation (0xC0000005) or a data misalignment
   (0x80000002). Expected Counter: 2, then the recorded code is checked. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0029";

__declspec(noinline) void AddThrough(int *Destination, int *Source)
{
    *Destination = *Destination + *Source;
}

int main(void)
{
    int Counter;
    DWORD ExceptionCode;
    ULONG_PTR BadPointer;
    int *CounterPointer;

    BadPointer = 0;
    BadPointer++;
    CounterPointer = &Counter;
    Counter = 0;
    /* Set only so that the code check below reads a defined value should
       the filter never run; the filter overwrites it. */
    ExceptionCode = 0;

    __try {
        Counter += 1;
        AddThrough(CounterPointer, (int *)BadPointer);
    } __except (ExceptionCode = GetExceptionCode(),
                (ExceptionCode == 0x80000002 || ExceptionCode == 0xC0000005)
                    ? EXCEPTION_EXECUTE_HANDLER
                    : EXCEPTION_CONTINUE_SEARCH) {
        Counter += 1;
    }

    if (Counter != 2) {
        printf("TEST 29 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    if (ExceptionCode != 0xC0000005 && ExceptionCode != 0x80000002) {
        printf("TEST 29 FAILED. Expected ACCESS_VIOLATION, got exception = %d\n\r",
               (int)ExceptionCode);
        return -1;
    }
    return 0;
}
