/* ZEB0051: __leave from a guarded block is a normal exit: the termination
   handler sees AbnormalTermination() = 0. Expected Counter: 8. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0051";

__declspec(noinline) int Identity(int Value)
{
    return Value;
}

int main(void)
{
    int Counter;

    Counter = 0;
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

    if (Counter != 8) {
        printf("test 51 failed.  Counter = %d\n", Counter);
        return -1;
    }
    return 0;
}
