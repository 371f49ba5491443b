/* ZEB0030: Continue out of a try/except: the jump needs no unwind and the
   exception handler stays idle. Odd passes add 1 + 2. Expected Counter:
   15. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0030";

int main(void)
{
    int Counter;
    unsigned int Index;

    Counter = 0;
    for (Index = 0; Index < 10; Index += 1) {
        __try {
            if ((Index & 1) == 0) {
                continue;
            } else {
                Counter += 1;
            }
        } __except (EXCEPTION_EXECUTE_HANDLER) {
            Counter += 40;
        }
        Counter += 2;
    }

    if (Counter != 15) {
        printf("TEST 30 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
