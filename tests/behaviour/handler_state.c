/* Inside an __except block: GetExceptionCode() keeps the block's own code
   after a nested exception is handled inside it, a termination handler
   nested in it sees a normal exit, and a __finally left normally may raise
   an exception that an outer filter continues. */
#include <windows.h>
#include <stdio.h>

int main(void)
{
    int Step = 0;
    __try {
        RaiseException(0xE0000001, 0, 0, NULL);
    } __except (1) {
        __try {
            __try {
                RaiseException(0xE0000002, 0, 0, NULL);
            } __except (printf("nested-filter %08lX\n", (unsigned long)GetExceptionCode()), 1) {
                printf("nested-handler %08lX\n", (unsigned long)GetExceptionCode());
            }
        } __finally {
            printf("handler-fin ab=%d\n", AbnormalTermination() != 0);
        }
        printf("outer-handler %08lX\n", (unsigned long)GetExceptionCode());
    }
    __try {
        __try {
            Step = 1;
        } __finally {
            printf("fin ab=%d\n", AbnormalTermination() != 0);
            RaiseException(0xE0000003, 0, 0, NULL);
            printf("fin continued\n");
            Step = 2;
        }
        printf("after step=%d\n", Step);
    } __except (printf("continue-filter %08lX\n", (unsigned long)GetExceptionCode()),
                EXCEPTION_CONTINUE_EXECUTION) {
        printf("not-reached\n");
    }
    return Step == 2 ? 0 : 1;
}
