/* ZEB0052: __leave from a loop inside a guarded block ends the loop and
   the guarded block together, as a normal exit. Expected Counter: 8. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "zeb0052";

__declspec(noinline) int Identity(int Value)
{
    return Value;
}

int main(void)
{
    int Counter;
    unsigned int Index;

    Counter = 0;
    __try {
        for (Index = 0; Index < 10; Index += 1) {
            if (Identity((int)Index) == (int)Index) {
                Counter += 3;
                __leave;
            } else {
                Counter += 100;
            }
        }
    } __finally {
        if (AbnormalTermination() == 0) {
            Counter += 5;
        }
    }

    if (Counter != 8) {
        printf("TEST 52 FAILED, Counter = %d\n", Counter);
        return -1;
    }
    return 0;
}
