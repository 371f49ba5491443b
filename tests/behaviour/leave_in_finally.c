/* __leave inside a termination handler that is itself inside a guarded
   block leaves that outer guarded block: the rest of its body is skipped
   and its own termination handler runs, normally. */
#include <windows.h>
#include <stdio.h>

int main(void)
{
    volatile int Always = 1;

    __try {
        __try {
            printf("inner body\n");
        } __finally {
            printf("inner finally\n");
            if (Always)
                __leave;
            printf("never: rest of the inner finally\n");
        }
        printf("never: rest of the outer body\n");
    } __finally {
        printf("outer finally ab=%d\n", AbnormalTermination() != 0);
    }
    printf("after\n");
    return 0;
}
