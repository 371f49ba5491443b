/* ZEB0037: Break out of a try/except: no handler runs and the loop ends.
   Expected Counter: 3. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0037";

int main(void)
{
    int Counter;
    unsigned int Index;

    Counter = 0;
    for (Index = 0; Index < 10; Index += 1) {
        __try {
            if ((Index & 1) == 1) {
                break;
            } else {
                Counter += 1;
            }
        } __except (EXCEPTION_EXECUTE_HANDLER) {
            Counter += 40;
        }
        Counter += 2;
    }

    if (Counter != 3) {
        printf("TEST 37 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
