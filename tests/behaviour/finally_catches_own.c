/* A termination handler run by an exception's unwind catches an exception
   of its own with a guarded block inside it; the first unwind goes on and
   the outer handler runs. */
#include <windows.h>
#include <stdio.h>

static void Cleanup(int Level)
{
    __try {
        __try {
            RaiseException(0xE0000100 + Level, 0, 0, NULL);
        } __finally {
            printf("cleanup-fin %d ab=%d\n", Level, AbnormalTermination() != 0);
        }
    } __except (printf("cleanup-filter %08lX\n", (unsigned long)GetExceptionCode()), 1) {
        printf("cleanup-handled %d\n", Level);
    }
}

static void Work(void)
{
    __try {
        __try {
            RaiseException(0xE0000001, 0, 0, NULL);
        } __finally {
            printf("fin1 ab=%d\n", AbnormalTermination() != 0);
            Cleanup(1);
            printf("fin1 ab-after=%d\n", AbnormalTermination() != 0);
        }
    } __finally {
        printf("fin2 ab=%d\n", AbnormalTermination() != 0);
        Cleanup(2);
    }
}

int main(void)
{
    __try {
        Work();
    } __except (printf("main-filter %08lX\n", (unsigned long)GetExceptionCode()), 1) {
        printf("main-handler %08lX\n", (unsigned long)GetExceptionCode());
    }
    return 0;
}
