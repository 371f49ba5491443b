/* ZEB0057: A try-finally statement inside a termination handler entered at
   normal termination. Expected Counter: 9. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "zeb0057";

int main(void)
{
    int Counter;

    Counter = 0;
    __try {
        Counter += 1;
    } __finally {
        if (AbnormalTermination() == 0) {
            __try {
                Counter += 3;
            } __finally {
                if (AbnormalTermination() == 0) {
                    Counter += 5;
                }
            }
        }
    }

    if (Counter != 9) {
        printf("TEST 57 FAILED, Counter = %d\n", Counter);
        return -1;
    }
    return 0;
}
