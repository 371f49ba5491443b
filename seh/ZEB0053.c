/* ZEB0053: __leave from a switch inside a guarded block, as a normal exit.
   Expected Counter: 8. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "zeb0053";

int main(void)
{
    int Selector;
    int Counter;

    Selector = 1;
    Counter = 0;
    __try {
        switch (Selector) {
        case 1:
            Counter += 3;
            __leave;

        default:
            Counter += 100;
        }
    } __finally {
        if (AbnormalTermination() == 0) {
            Counter += 5;
        }
    }

    if (Counter != 8) {
        printf("TEST 53 FAILED, Counter = %d\n", Counter);
        return -1;
    }
    return 0;
}
