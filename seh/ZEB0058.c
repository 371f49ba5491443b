/* ZEB0058: A try-except statement inside an exception handler, whose
   guarded block raises a second exception: only the inner statement
   applies to it. The filters are Counter (1) and Counter - 3 (1). Expected
   Counter: 9. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0058";

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
            RaiseException(0xC0000095, 0, 0, NULL);
        } __except (Counter - 3) {
            Counter += 5;
        }
    }

    if (Counter != 9) {
        printf("TEST 58 FAILED.  Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
