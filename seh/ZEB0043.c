/* ZEB0043: Break inside the outer termination handler of two nested try-
   finally statements: both handlers run normally, then the loop ends.
   Expected Counter: 11. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0043";

int main(void)
{
    int Counter;
    unsigned int Index;

    Counter = 0;
    for (Index = 0; Index < 10; Index += 1) {
        __try {
            __try {
                if ((Index & 1) == 1) {
                    Counter += 1;
                }
            } __finally {
                Counter += 2;
            }
            Counter += 4;
        } __finally {
            Counter += 5;
            break;
        }
        Counter += 6;
    }

    if (Counter != 11) {
        printf("TEST 43 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
