/* ZEB0003: the filter Counter is -1 (EXCEPTION_CONTINUE_EXECUTION) when
   the exception is raised, so RaiseException returns and the exception
   handler never runs. Expected Counter: -1. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0003";

int main(void)
{
    int Counter;

    Counter = 0;

    __try {
        Counter--;
        RaiseException(0xC0000095, 0, 0, NULL);
    } __except (Counter) {
        Counter--;
    }

    if (Counter != -1) {
        printf("TEST 3 FAILED.  Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
