/* ZEB0031: Continue out of a try/finally: the local unwind runs the
   termination handler, and the statement after the try/finally is skipped.
   Expected Counter: 40. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0031";

int main(void)
{
    int Counter;
    unsigned int Index;

    Counter = 0;
    for (Index = 0; Index < 10; Index += 1) {
        __try {
            if ((Index & 1) == 0) {
                continue;
            } else {
                Counter += 1;
            }
        } __finally {
            Counter += 2;
        }
        Counter += 3;
    }

    if (Counter != 40) {
        printf("TEST 31 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
