/* ZEB0047: Break from the inner of two nested try-finally statements: the
   local unwind runs the inner (2), then the outer (4) termination handler.
   Expected Counter: 6. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0047";

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
        } __finally {
            Counter += 4;
        }
        Counter += 5;
    }

    if (Counter != 6) {
        printf("TEST 47 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
