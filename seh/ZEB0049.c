/* ZEB0049: Break inside the inner termination handler of two nested try-
   finally statements: the break leaves the outer guarded block too, so the
   local unwind runs the outer termination handler (5). Expected Counter:
   8. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0049";

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
                    Counter += 1;
                }
            } __finally {
                Counter += 2;
                break;
            }
            Counter += 4;
        } __finally {
            Counter += 5;
        }
        Counter += 6;
    }

    if (Counter != 8) {
        printf("TEST 49 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
