/* ZEB0038: Break out of a try/finally: the local unwind runs the
   termination handler once and the loop ends. Expected Counter: 8. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0038";

int main(void)
{
    int Counter;
    unsigned int Index;

    Counter = 0;
    for (Index = 0; Index < 10; Index += 1) {
        __try {
            if ((Index & 1) == 1) {
                break;
            } else {
                Counter += 1;
            }
        } __finally {
            Counter += 2;
        }
        Counter += 3;
    }

    if (Counter != 8) {
        printf("TEST 38 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
