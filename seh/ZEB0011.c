/* ZEB0011: a try/finally in a called function between a null-pointer
   read two calls below main and the try/except in main. Its termination
   handler runs abnormally and stores 99; main's exception handler then
   decrements. Expected Counter: 98. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0011";

__declspec(noinline) void AddThrough(int *Destination, int *Source)
{
    *Destination = *Destination + *Source;
}

__declspec(noinline) void AddWithFinally(int *Destination, int *Source,
                                         int *Result)
{
    __try {
        AddThrough(Destination, Source);
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
    int *NullPointer;
    int *CounterPointer;

    NullPointer = NULL;
    CounterPointer = &Counter;
    Counter = 0;

    __try {
        AddWithFinally(CounterPointer, NullPointer, &Counter);
    } __except (GetExceptionCode() == 0xC0000005 ? EXCEPTION_EXECUTE_HANDLER
                                                 : EXCEPTION_CONTINUE_SEARCH) {
        Counter--;
    }

    if (Counter != 98) {
        printf("TEST 11 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
