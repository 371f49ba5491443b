/* A goto out of a termination handler ends the handler and the guarded
   statement around it, running the termination handlers it leaves. */
#include <windows.h>
#include <stdio.h>

int main(void)
{
    volatile int Always = 1;

    __try {
        __try {
            printf("body\n");
        } __finally {
            printf("inner finally\n");
            if (Always)
                goto Out;
            printf("never: rest of the inner finally\n");
        }
        printf("never: rest of the outer body\n");
    } __finally {
        printf("outer finally\n");
    }
Out:
    printf("after\n");
    return 0;
}
