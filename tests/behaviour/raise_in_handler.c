/* An exception raised in an __except block is dispatched afresh: the block
   whose handler runs is not asked, the enclosing termination handlers run
   during the new unwind, and an enclosing block in another frame takes it. */
#include <windows.h>
#include <stdio.h>

static void Worker(void)
{
    __try {
        __try {
            __try {
                RaiseException(0xE0000001, 0, 0, NULL);
            } __except (printf("w-filter1 %08lX\n", (unsigned long)GetExceptionCode()), 1) {
                printf("w-handler1\n");
                RaiseException(0xE0000002, 0, 0, NULL);
                printf("w-handler1-not-reached\n");
            }
        } __finally {
            printf("w-fin ab=%d\n", AbnormalTermination() != 0);
        }
    } __except (printf("w-filter2 %08lX\n", (unsigned long)GetExceptionCode()),
                GetExceptionCode() == 0xE0000003) {
        printf("w-handler2\n");
    }
}

int main(void)
{
    __try {
        Worker();
    } __except (printf("m-filter %08lX\n", (unsigned long)GetExceptionCode()), 1) {
        printf("m-handler\n");
        __try {
            RaiseException(0xE0000003, 0, 0, NULL);
        } __except (printf("m-inner-filter %08lX\n", (unsigned long)GetExceptionCode()), 1) {
            printf("m-inner-handler\n");
        }
    }
    printf("end\n");
    return 0;
}
