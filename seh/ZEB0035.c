/* ZEB0035: Continue in an inner termination handler leaves the outer
   guarded block: the local unwind runs the outer termination handler (5).
   Expected Counter: 75. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0035";

int main(void)
{
    int Counter;
    unsigned int Index;

    Counter = 0;
    for (Index = 0; Index < 10; Index += 1) {
        __try {
            __try {
                if ((Index & 1) == 0) {
                    Counter += 1;
                }
            } __finally {
                Counter += 2;
                continue;
            }
            Counter += 4;
        } __finally {
            Counter += 5;
        }
        Counter += 6;
    }

    if (Counter != 75) {
        printf("TEST 35 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
