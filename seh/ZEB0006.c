/* ZEB0006: a try/finally nested in a try/except of the same function,
   raised exception. The filter runs first (sees 1), then the termination
   handler with AbnormalTermination() true (2), then the exception
   handler (3). Expected Counter: 3. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0006";

int main(void)
{
    int Counter;

    Counter = 0;

    __try {
        __try {
            Counter++;
            RaiseException(0xC0000095, 0, 0, NULL);
        } __finally {
            if (AbnormalTermination()) {
                Counter++;
            }
        }
    } __except (Counter) {
        if (Counter == 2) {
            Counter++;
        }
    }

    if (Counter != 3) {
        printf("TEST 6 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
