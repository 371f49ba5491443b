/* ZEB0041: Break inside a termination handler: the loop ends in iteration
   0. Expected Counter: 2. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0041";

int main(void)
{
    int Counter;
    unsigned int Index;

    Counter = 0;
    for (Index = 0; Index < 10; Index += 1) {
        __try {
            if ((Index & 1) == 1) {
                Counter += 1;
            }
        } __finally {
            Counter += 2;
            break;
        }
        Counter += 4;
    }

    if (Counter != 2) {
        printf("TEST 41 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
