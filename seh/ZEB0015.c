/* ZEB0015: a goto from a termination handler, running for a normal exit,
   out of an enclosing try/finally runs the outer termination handler once
   and not the jumping one again. Expected Counter: 3. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0015";

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
    } __finally {
        Counter++;
    }

Done:
    if (Counter != 3) {
        printf("TEST 15 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
