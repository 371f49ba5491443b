/* ZEB0048: Break inside a termination handler entered at normal
   termination. Expected Counter: 3. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0048";

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
            if ((Flag & 1) == 1) {
                Counter += 1;
            }
        } __finally {
            Counter += 2;
            break;
        }
        Counter += 4;
    }

    if (Counter != 3) {
        printf("TEST 48 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
