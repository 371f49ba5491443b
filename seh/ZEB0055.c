/* ZEB0055: A __leave inside the inner termination handler ends the outer
   guarded block (the innermost one enclosing the handler): the rest of the
   outer block is skipped and the outer termination handler sees a normal
   exit. Expected Counter: 13. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "zeb0055";

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
                __leave;
            }
        }
        Counter += 100;
    } __finally {
        if (AbnormalTermination() == 0) {
            Counter += 5;
        }
    }

    if (Counter != 13) {
        printf("TEST 55 FAILED, Counter = %d\n", Counter);
        return -1;
    }
    return 0;
}
