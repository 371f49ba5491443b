/* ZEB0033: Continue out of two nested try/finally statements: the local
   unwind runs the inner termination handler (2), then the outer one (4).
   Expected Counter: 105. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0033";

int main(void)
{
    int Counter;
    unsigned int Index;

    Counter = 0;
    for (Index = 0; Index < 10; Index += 1) {
        __try {
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
        } __finally {
            Counter += 4;
        }
        Counter += 5;
    }

    if (Counter != 105) {
        printf("TEST 33 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
