/* ZEB0022: a long jump from a termination handler back into its own
   guarded block, which has already ended: no handler runs for the jump,
   the block is active again and its handler runs a second time when it
   ends. Expected Counter: 5. */

#include <windows.h>
#include <stdio.h>
#include <setjmp.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0022";

int main(void)
{
    int Counter;
    jmp_buf JumpBuffer;

    Counter = 0;

    __try {
        if (setjmp(JumpBuffer) == 0) {
            Counter += 1;
        } else {
            Counter += 1;
        }
    } __finally {
        Counter += 1;
        if (Counter == 2) {
            Counter += 1;
            longjmp(JumpBuffer, 1);
        }
    }

    if (Counter != 5) {
        printf("TEST 22 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
