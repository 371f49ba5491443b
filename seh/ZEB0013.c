/* ZEB0013: as ZEB0012, the first exception being a null-pointer read in
   a called function. Expected Counter: 1 inside the inner handler, 2 at
   the end. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0013";

__declspec(noinline) void RaiseStatus(DWORD ExceptionCode)
{
    RaiseException(ExceptionCode, 0, 0, NULL);
}

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
        AddThrough(CounterPointer, NullPointer);
    } __except (GetExceptionCode() == 0xC0000005 ? EXCEPTION_EXECUTE_HANDLER
                                                 : EXCEPTION_CONTINUE_SEARCH) {
        Counter++;
        __try {
            RaiseStatus(0);
        } __except (GetExceptionCode() == 0 ? EXCEPTION_EXECUTE_HANDLER
                                            : EXCEPTION_CONTINUE_SEARCH) {
            if (Counter != 1) {
                printf("TEST 13 FAILED. Counter = %d\n\r", Counter);
                return -1;
            }
            Counter++;
        }
    }

    if (Counter != 2) {
        printf("TEST 13 FAILED. Counter= %d\n\r", Counter);
        return -1;
    }
    return 0;
}
