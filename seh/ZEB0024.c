/* ZEB0024: a long jump (unwinding setjmp) from a termination handler run
   by an exception's unwind; the jump's own unwind runs the termination
   handler that the abandoned unwind had not reached yet, and no handler
   runs twice. Expected Counter: 5. */

#include <windows.h>
#include <stdio.h>
#include <setjmpex.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0024";

int main(void)
{
    int Counter;
    jmp_buf JumpBuffer;

    Counter = 0;

    if (setjmp(JumpBuffer) == 0) {
        __try {                                 /* D */
            __try {                             /* C */
                __try {                         /* B */
                    __try {                     /* A */
                        Counter += 1;
                        RaiseException(0xC0000095, 0, 0, NULL);
                    } __finally {
                        Counter += 1;
                    }
                } __finally {
                    Counter += 1;
                    longjmp(JumpBuffer, 1);
                }
            } __finally {
                Counter += 1;
            }
        } __except (EXCEPTION_EXECUTE_HANDLER) {
            Counter += 1;
        }
    } else {
        Counter += 1;
    }

    if (Counter != 5) {
        printf("TEST 24 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
