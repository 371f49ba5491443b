/* ZEB0005: a read through a null pointer reaches the filter as an access
   violation; the faulting statement has no effect. Expected Counter: 2. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0005";

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
        /* Counter is read first, then the read at address 0 faults; the
           store of the sum never happens. */
        *CounterPointer = *CounterPointer + *NullPointer;
    } __except (Counter) {
        Counter++;
    }

    if (Counter != 2) {
        printf("TEST 5 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
