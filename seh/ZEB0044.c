/* ZEB0044: Break from a guarded block that has an exception handler:
   nothing runs on the way out of the switch. Expected Counter: 0. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0044";

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
        } __except (EXCEPTION_EXECUTE_HANDLER) {
            Counter += 40;
        }
        Counter += 2;
    }

    if (Counter != 0) {
        printf("TEST 44 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
