/* ZEB0025: a long jump from a termination handler in a called function
   during an exception's unwind; the jump's unwind runs main's pending
   termination handlers and the exception handler never runs.
   Expected Counter: 7. */

#include <windows.h>
#include <stdio.h>
#include <setjmp.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0025";

__declspec(noinline) void RaiseAndJump(jmp_buf JumpBuffer, int *CounterPointer)
{
    __try {                                     /* A */
        __try {                                 /* B */
            *CounterPointer += 1;
            RaiseException(0xC0000095, 0, 0, NULL);
        } __finally {
            *CounterPointer += 1;
        }
    } __finally {
        *CounterPointer += 1;
        longjmp(JumpBuffer, 1);
    }
}

int main(void)
{
    int Counter;
    jmp_buf JumpBuffer;

    Counter = 0;

    if (setjmp(JumpBuffer) == 0) {
        __try {                                 /* C */
            __try {                             /* B */
                __try {                         /* A */
                    Counter += 1;
                    RaiseAndJump(JumpBuffer, &Counter);
                } __finally {
                    Counter += 1;
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

    if (Counter != 7) {
        printf("TEST 25 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
