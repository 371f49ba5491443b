/* ZEB0023: a long jump from a termination handler run by an exception's
   unwind abandons that unwind: the exception handler it was heading for
   never runs. Expected Counter: 3. */

#include <windows.h>
#include <stdio.h>
#include <setjmp.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0023";

int main(void)
{
    int Counter;
    jmp_buf JumpBuffer;

    Counter = 0;

    if (setjmp(JumpBuffer) == 0) {
        __try {
            __try {
                Counter += 1;
                RaiseException(0xC0000095, 0, 0, NULL);
            } __finally {
                Counter += 1;
                longjmp(JumpBuffer, 1);
            }
        } __except (EXCEPTION_EXECUTE_HANDLER) {
            Counter += 1;
        }
    } else {
        Counter += 1;
    }

    if (Counter != 3) {
        printf("TEST 23 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
