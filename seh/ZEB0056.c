/* ZEB0056: A try-finally statement inside an exception handler: its
   guarded block ends normally, so its termination handler sees
   AbnormalTermination() = 0. The filter is the value of Counter (1).
   Expected Counter: 9. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0056";

int main(void)
{
    int Counter;

    Counter = 0;
    __try {
        Counter += 1;
        RaiseException(0xC0000095, 0, 0, NULL);
    } __except (Counter) {
        __try {
            Counter += 3;
        } __finally {
            if (AbnormalTermination() == 0) {
                Counter += 5;
            }
        }
    }

    if (Counter != 9) {
        printf("TEST 56 FAILED.  Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
