/* ZEB0008: the access-violation code raised in software is selected by
   a filter that tests GetExceptionCode(). Expected Counter: 2. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0008";

int main(void)
{
    int Counter;

    Counter = 0;

    __try {
        Counter++;
        RaiseException(0xC0000005, 0, 0, NULL);
    } __except (GetExceptionCode() == 0xC0000005 ? EXCEPTION_EXECUTE_HANDLER
                                                 : EXCEPTION_CONTINUE_SEARCH) {
        Counter++;
    }

    if (Counter != 2) {
        printf("TEST 8 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
