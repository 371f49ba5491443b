/* ZEB0004: the filter Counter is 1 (EXCEPTION_EXECUTE_HANDLER) when the
   exception is raised, so RaiseException does not return and the
   exception handler runs. Expected Counter: 2. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0004";

int main(void)
{
    int Counter;

    Counter = 0;

    __try {
        Counter++;
        RaiseException(0xC0000095, 0, 0, NULL);
    } __except (Counter) {
        Counter++;
    }

    if (Counter != 2) {
        printf("TEST 4 FAILED.  Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
