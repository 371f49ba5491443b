/* Exceptions raised by termination handlers.  One run on a normal exit
   replaces nothing; one run during an unwind replaces the exception being
   unwound: a block that declined the first may take the second, and when a
   block beyond the first unwind's target takes it, that target's handler
   never runs while every remaining termination handler runs once.  One
   raised during a long jump's unwind ends that jump. */
#include <windows.h>
#include <setjmp.h>
#include <stdio.h>

static jmp_buf Env;

static void NormalExit(void)
{
    __try {
        __try {
            printf("n-body\n");
        } __finally {
            printf("n-fin1 ab=%d\n", AbnormalTermination() != 0);
            RaiseException(0xE0000011, 0, 0, NULL);
            printf("n-fin1-not-reached\n");
        }
        printf("n-after-not-reached\n");
    } __finally {
        printf("n-fin2 ab=%d\n", AbnormalTermination() != 0);
    }
}

static void Unwinding(void)
{
    __try {
        __try {
            RaiseException(0xE0000021, 0, 0, NULL);
        } __finally {
            printf("u-fin1 ab=%d\n", AbnormalTermination() != 0);
            RaiseException(0xE0000022, 0, 0, NULL);
            printf("u-fin1-not-reached\n");
        }
    } __finally {
        printf("u-fin2 ab=%d\n", AbnormalTermination() != 0);
    }
}

static void Middle(void)
{
    __try {
        Unwinding();
    } __except (printf("mid-filter %08lX\n", (unsigned long)GetExceptionCode()),
                GetExceptionCode() == 0xE0000022) {
        printf("mid-handler %08lX\n", (unsigned long)GetExceptionCode());
    }
    printf("mid-after\n");
}

static void Inner(void)
{
    __try {
        __try {
            RaiseException(0xE0000001, 0, 0, NULL);
        } __finally {
            printf("inner-fin1 ab=%d\n", AbnormalTermination() != 0);
            RaiseException(0xE0000002, 0, 0, NULL);
        }
    } __finally {
        printf("inner-fin2 ab=%d\n", AbnormalTermination() != 0);
    }
}

static void Target(void)
{
    __try {
        __try {
            Inner();
        } __except (printf("target-filter %08lX\n", (unsigned long)GetExceptionCode()),
                    GetExceptionCode() == 0xE0000001) {
            printf("target-handler-not-reached\n");
        }
    } __finally {
        printf("target-fin ab=%d\n", AbnormalTermination() != 0);
    }
}

static void Jumper(void)
{
    __try {
        __try {
            longjmp(Env, 1);
        } __finally {
            printf("jump-fin1 ab=%d\n", AbnormalTermination() != 0);
            RaiseException(0xE0000003, 0, 0, NULL);
        }
    } __finally {
        printf("jump-fin2 ab=%d\n", AbnormalTermination() != 0);
    }
}

int main(void)
{
    __try {
        NormalExit();
    } __except (printf("main-filter1 %08lX\n", (unsigned long)GetExceptionCode()), 1) {
        printf("main-handler1\n");
    }
    __try {
        Middle();
        printf("main-after-middle\n");
    } __except (printf("main-filter2 %08lX\n", (unsigned long)GetExceptionCode()), 1) {
        printf("main-handler2-not-reached\n");
    }
    __try {
        Target();
    } __except (printf("main-filter3 %08lX\n", (unsigned long)GetExceptionCode()), 1) {
        printf("main-handler3 %08lX\n", (unsigned long)GetExceptionCode());
    }
    if (setjmp(Env) == 0) {
        __try {
            Jumper();
        } __except (printf("jump-filter %08lX\n", (unsigned long)GetExceptionCode()), 1) {
            printf("jump-handler\n");
        }
    } else {
        printf("jumped-not-reached\n");
    }
    return 0;
}
