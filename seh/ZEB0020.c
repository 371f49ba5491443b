/* ZEB0020: a long jump with no guarded block. Expected Counter: 2. */

#include <windows.h>
#include <stdio.h>
#include <setjmp.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0020";

int main(void)
{
    int Counter;
    jmp_buf JumpBuffer;

    Counter = 0;

    if (setjmp(JumpBuffer) == 0) {
        Counter += 1;
        longjmp(JumpBuffer, 1);
    } else {
        Counter += 1;
    }

    if (Counter != 2) {
        printf("TEST 20 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
