/* ZEB0017: a goto from a termination handler, running for a normal exit,
   to a label inside the enclosing guarded block leaves no guarded block:
   no termination handler runs for the jump, and the outer one runs once
   when its block ends. Expected Counter: 3. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0017";

int main(void)
{
    int Counter;

    Counter = 0;

    __try {
        __try {
            Counter++;
        } __finally {
            Counter++;
            goto Done;
        }
Done:
        ;
    } __finally {
        Counter++;
    }

    if (Counter != 3) {
        printf("TEST 17 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
