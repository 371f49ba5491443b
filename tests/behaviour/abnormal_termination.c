/* AbnormalTermination() on every kind of exit from a guarded block: 0 for
   falling off the end and for __leave; non-zero for an exception unwind, a
   long jump, and (as MSVC reports any local unwind) goto, return, break and
   continue; 0 again for a block that ends normally inside a termination
   handler run by an unwind. */
#include <windows.h>
#include <setjmp.h>
#include <stdio.h>

static jmp_buf Env;

static void Jumper(void)
{
    __try {
        longjmp(Env, 1);
    } __finally {
        printf("longjmp ab=%d\n", AbnormalTermination() != 0);
    }
}

static int Returner(void)
{
    __try {
        return 5;
    } __finally {
        printf("return ab=%d\n", AbnormalTermination() != 0);
    }
    return 0;
}

int main(void)
{
    int i;

    __try {
        printf("normal\n");
    } __finally {
        printf("normal ab=%d\n", AbnormalTermination() != 0);
    }
    __try {
        __leave;
    } __finally {
        printf("leave ab=%d\n", AbnormalTermination() != 0);
    }
    __try {
        __try {
            RaiseException(0xE0000001, 0, 0, NULL);
        } __finally {
            printf("exception ab=%d\n", AbnormalTermination() != 0);
            __try {
                printf("nested-in-unwind\n");
            } __finally {
                printf("nested-in-unwind ab=%d\n", AbnormalTermination() != 0);
            }
            printf("exception ab-again=%d\n", AbnormalTermination() != 0);
        }
    } __except (1) {
        printf("handled\n");
    }
    if (setjmp(Env) == 0) {
        Jumper();
        printf("not-reached\n");
    } else {
        printf("jumped\n");
    }
    __try {
        goto Out;
    } __finally {
        printf("goto ab=%d\n", AbnormalTermination() != 0);
    }
Out:
    for (i = 0; i < 2; i++) {
        __try {
            if (i == 0)
                continue;
            break;
        } __finally {
            printf("%s ab=%d\n", i == 0 ? "continue" : "break", AbnormalTermination() != 0);
        }
    }
    printf("returned %d\n", Returner());
    return 0;
}
