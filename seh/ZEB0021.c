/* ZEB0021: a long jump from a termination handler that runs on the normal
   path; the jump runs no termination handler. Expected Counter: 3. */

#include <windows.h>
#include <stdio.h>
#include <setjmp.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0021";

int main(void)
{
    int Counter;
    jmp_buf JumpBuffer;

    Counter = 0;

    if (setjmp(JumpBuffer) == 0) {
        __try {
            Counter += 1;
        } __finally {
            Counter += 1;
            longjmp(JumpBuffer, 1);
        }
    } else {
        Counter += 1;
    }

    if (Counter != 3) {
        printf("TEST 21 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
