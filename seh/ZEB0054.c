/* ZEB0054: __leave from the inner, then from the outer of two nested
   guarded blocks: the first ends only the inner block; both termination
   handlers see a normal exit. Expected Counter: 16. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "zeb0054";

__declspec(noinline) int Identity(int Value)
{
    return Value;
}

int main(void)
{
    int Counter;

    Counter = 0;
    __try {
        __try {
            if (Identity(Counter) == Counter) {
                Counter += 3;
                __leave;
            } else {
                Counter += 100;
            }
        } __finally {
            if (AbnormalTermination() == 0) {
                Counter += 5;
            }
        }
        if (Identity(Counter) == Counter) {
            Counter += 3;
            __leave;
        } else {
            Counter += 100;
        }
    } __finally {
        if (AbnormalTermination() == 0) {
            Counter += 5;
        }
    }

    if (Counter != 16) {
        printf("TEST 54 FAILED, Counter = %d\n", Counter);
        return -1;
    }
    return 0;
}
