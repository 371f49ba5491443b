/* Four frames: filters run innermost first before any termination handler,
   then the termination handlers run innermost first, then the handler. */
#include <windows.h>
#include <stdio.h>

static int Trace(const char *Token, int Value)
{
    printf("%s\n", Token);
    return Value;
}

static void Level3(void)
{
    __try {
        printf("l3-try\n");
        RaiseException(0xE0000003, 0, 0, NULL);
        printf("l3-not-reached\n");
    } __finally {
        printf("l3-fin ab=%d\n", AbnormalTermination() != 0);
    }
}

static void Level2(void)
{
    __try {
        __try {
            Level3();
        } __except (Trace("l2-filter", EXCEPTION_CONTINUE_SEARCH)) {
            printf("l2-handler\n");
        }
    } __finally {
        printf("l2-fin ab=%d\n", AbnormalTermination() != 0);
    }
}

static void Level1(void)
{
    __try {
        Level2();
    } __except (GetExceptionCode() == 0xE0000099 ? 1 : Trace("l1-filter", 0)) {
        printf("l1-handler\n");
    }
    printf("l1-after\n");
}

int main(void)
{
    __try {
        Level1();
    } __except (Trace("main-filter", EXCEPTION_EXECUTE_HANDLER)) {
        printf("main-handler %08lX\n", (unsigned long)GetExceptionCode());
    }
    printf("end\n");
    return 0;
}
