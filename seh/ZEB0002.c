/* ZEB0002: a guarded block that raises nothing never evaluates its
   exception filter and never runs its exception handler.
   Expected Counter: 1. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0002";

int main(void)
{
    int Counter;

    Counter = 0;

    __try {
        Counter++;
    } __except (Counter) {
        Counter++;
    }

    if (Counter != 1) {
        printf("TEST 2 FAILED.  Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
