/* ZEB0001: a termination handler reached by falling off the end of its
   guarded block sees AbnormalTermination() false. Expected Counter: 2. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0001";

int main(void)
{
    int Counter;

    Counter = 0;

    __try {
        Counter++;
    } __finally {
        if (!AbnormalTermination()) {
            Counter++;
        }
    }

    if (Counter != 2) {
        printf("TEST 1 FAILED.  Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
