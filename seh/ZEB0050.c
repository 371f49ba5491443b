/* ZEB0050: Break inside the outer termination handler of two nested try-
   finally statements: both handlers run at normal termination. Expected
   Counter: 12. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0050";

int main(void)
{
    int Selector;
    int Counter;
    int Flag;

    Selector = 1;
    Counter = 0;
    Flag = 1;
    switch (Selector) {
    case 0:
        Counter += 100;
        break;

    case 1:
        __try {
            __try {
                if ((Flag & 1) == 1) {
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

    if (Counter != 12) {
        printf("TEST 50 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
