/* ZEB0036: Continue in the outer termination handler: only the statement
   after the outer try/finally is skipped. Expected Counter: 115. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0036";

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
            }
            Counter += 4;
        } __finally {
            Counter += 5;
            continue;
        }
        Counter += 6;
    }

    if (Counter != 115) {
        printf("TEST 36 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
