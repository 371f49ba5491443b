/* ZEB0045: Break from a guarded block that has a termination handler: the
   local unwind runs the termination handler once. Expected Counter: 2. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0045";

int main(void)
{
    int Selector;
    int Counter;
    int Flag;

    Selector = 1;
    Counter = 0;
    Flag = 1;
    switch (Selector) {
    case 0:
        Counter += 100;
        break;

    case 1:
        __try {
            if ((Flag & 1) == 1) {
                break;
            } else {
                Counter += 1;
            }
        } __finally {
            Counter += 2;
        }
        Counter += 3;
    }

    if (Counter != 2) {
        printf("TEST 45 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
