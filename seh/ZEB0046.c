/* ZEB0046: Break from the inner of two nested guarded blocks with
   exception handlers: nothing runs on the way out of the switch. Expected
   Counter: 0. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0046";

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
            } __except (EXCEPTION_EXECUTE_HANDLER) {
                Counter += 10;
            }
            Counter += 2;
        } __except (EXCEPTION_EXECUTE_HANDLER) {
            Counter += 20;
        }
        Counter += 3;
    }

    if (Counter != 0) {
        printf("TEST 46 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
