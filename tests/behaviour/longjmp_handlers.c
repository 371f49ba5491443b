/* Long jumps out of handlers: out of an __except block and out of a filter
   (the dispatch is over), and out of a termination handler run by an
   exception's unwind (the unwind is abandoned: the handlers between the
   jump and setjmp run, the accepting block's handler never runs).  Later
   exceptions are dispatched normally. */
#include <windows.h>
#include <setjmp.h>
#include <stdio.h>

static jmp_buf Env;

static int JumpingFilter(void)
{
    printf("jumping-filter\n");
    longjmp(Env, 2);
    return 0;
}

static void Inner(int How)
{
    __try {
        __try {
            RaiseException(0xE0000001, 0, 0, NULL);
        } __finally {
            printf("inner-fin ab=%d\n", AbnormalTermination() != 0);
        }
    } __except (How == 2 ? JumpingFilter() : EXCEPTION_EXECUTE_HANDLER) {
        printf("inner-handler\n");
        __try {
            longjmp(Env, 1);
        } __finally {
            printf("handler-fin ab=%d\n", AbnormalTermination() != 0);
        }
    }
}

static void Outer(int How)
{
    __try {
        Inner(How);
    } __finally {
        printf("outer-fin ab=%d\n", AbnormalTermination() != 0);
    }
}

static void UnwindInner(void)
{
    __try {
        __try {
            RaiseException(0xE0000001, 0, 0, NULL);
        } __finally {
            printf("fin1 ab=%d\n", AbnormalTermination() != 0);
            longjmp(Env, 3);
        }
    } __finally {
        printf("fin2 ab=%d\n", AbnormalTermination() != 0);
    }
}

static void UnwindMiddle(void)
{
    __try {
        __try {
            UnwindInner();
        } __finally {
            printf("fin3 ab=%d\n", AbnormalTermination() != 0);
        }
    } __except (printf("middle-filter\n"), 1) {
        printf("middle-handler-not-reached\n");
    }
}

int main(void)
{
    volatile int How = 1;
    int v;

    v = setjmp(Env);
    printf("setjmp=%d\n", v);
    if (v == 0) {
        Outer(How);
    } else if (v == 1) {
        How = 2;
        Outer(How);
    } else if (v == 2) {
        UnwindMiddle();
        printf("not-reached\n");
    }
    __try {
        RaiseException(0xE0000009, 0, 0, NULL);
    } __except (printf("last-filter\n"), 1) {
        printf("last-handler\n");
    }
    return 0;
}
