/* ZEB0042: Break inside the inner termination handler of two nested try-
   finally statements: the break leaves the outer guarded block too, so the
   local unwind runs the outer termination handler (5). Expected Counter:
   7. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0042";

int main(void)
{
    int Counter;
    unsigned int Index;

    Counter = 0;
    for (Index = 0; Index < 10; Index += 1) {
        __try {
            __try {
                if ((Index & 1) == 1) {
                    Counter += 1;
                }
            } __finally {
                Counter += 2;
                break;
            }
            Counter += 4;
        } __finally {
            Counter += 5;
        }
        Counter += 6;
    }

    if (Counter != 7) {
        printf("TEST 42 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
