/* ZEB0009: a null-pointer read in a called function without a guarded
   block is dispatched to main's filter as 0xC0000005; the called function
   never resumes. Expected Counter: 2. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0009";

__declspec(noinline) void AddThrough(int *Destination, int *Source)
{
    *Destination = *Destination + *Source;
}

int main(void)
{
    int Counter;
    int *NullPointer;
    int *CounterPointer;

    NullPointer = NULL;
    CounterPointer = &Counter;
    Counter = 0;

    __try {
        Counter++;
        AddThrough(CounterPointer, NullPointer);
    } __except (GetExceptionCode() == 0xC0000005 ? EXCEPTION_EXECUTE_HANDLER
                                                 : EXCEPTION_CONTINUE_SEARCH) {
        Counter++;
    }

    if (Counter != 2) {
        printf("TEST 9 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
