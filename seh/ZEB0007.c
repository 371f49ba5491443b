/* ZEB0007: as ZEB0006, the exception being a read through a null
   pointer. Expected Counter: 3. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0007";

int main(void)
{
    int Counter;
    int *NullPointer;
    int *CounterPointer;

    NullPointer = NULL;
    CounterPointer = &Counter;
    Counter = 0;

    __try {
        __try {
            Counter++;
            *CounterPointer = *CounterPointer + *NullPointer;
        } __finally {
            if (AbnormalTermination()) {
                Counter++;
            }
        }
    } __except (Counter) {
        if (Counter == 2) {
            Counter++;
        }
    }

    if (Counter != 3) {
        printf("TEST 7 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
