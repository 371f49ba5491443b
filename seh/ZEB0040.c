/* ZEB0040: Break from the inner guarded block of two nested try-finally
   statements: iteration 0 adds 1 + 2 + 3 + 4 + 5, iteration 1 breaks and
   the local unwind runs the inner (2) and then the outer (4) handler.
   Expected Counter: 21. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0040";

int main(void)
{
    int Counter;
    unsigned int Index;

    Counter = 0;
    for (Index = 0; Index < 10; Index += 1) {
        __try {
            __try {
                if ((Index & 1) == 1) {
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

    if (Counter != 21) {
        printf("TEST 40 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
