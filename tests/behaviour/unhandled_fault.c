/* An unhandled access violation inside nested blocks that decline it ends
   the process with the code as its status (0xC0000005: 5 in the low byte);
   output flushed before it stays. */
#include <windows.h>
#include <stdio.h>

static int *volatile Pointer;

int main(void)
{
    printf("start\n");
    fflush(stdout);
    __try {
        __try {
            *Pointer = 1;
        } __except (GetExceptionCode() == EXCEPTION_INT_DIVIDE_BY_ZERO) {
            printf("wrong-handler\n");
        }
    } __except (printf("outer-filter %08lX\n", (unsigned long)GetExceptionCode()), fflush(stdout), 0) {
        printf("not-reached\n");
    }
    printf("not-reached\n");
    return 0;
}
