/* ZEB0039: Break out of two nested try/except statements: no handler runs.
   Expected Counter: 6. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0039";

int main(void)
{
    int Counter;
    unsigned int Index;

    Counter = 0;
    for (Index = 0; Index < 10; Index += 1) {
        __try {
            __try {
                if ((Index & 1) == 1) {
                    break;
                } else {
                    Counter += 1;
                }
            } __except (EXCEPTION_EXECUTE_HANDLER) {
                Counter += 10;
            }
            Counter += 2;
        } __except (EXCEPTION_EXECUTE_HANDLER) {
            Counter += 20;
        }
        Counter += 3;
    }

    if (Counter != 6) {
        printf("TEST 39 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
