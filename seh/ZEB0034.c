/* ZEB0034: Continue in the termination handler of a single guarded block:
   the statement after the try/finally never runs. Expected Counter: 25. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0034";

int main(void)
{
    int Counter;
    unsigned int Index;

    Counter = 0;
    for (Index = 0; Index < 10; Index += 1) {
        __try {
            if ((Index & 1) == 0) {
                Counter += 1;
            }
        } __finally {
            Counter += 2;
            continue;
        }
        Counter += 4;
    }

    if (Counter != 25) {
        printf("TEST 34 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
