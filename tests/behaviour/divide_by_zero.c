/* Integer division and remainder by zero reach the filters as 0xC0000094
   (also on ARM, where the compiler inserts the check), with the termination
   handlers of the frames in between run on the way. */
#include <windows.h>
#include <stdio.h>

static volatile int Zero = 0;

__declspec(noinline) static int Divide(int a, int b)
{
    int r = 0;
    __try {
        r = a / b;
        printf("divided\n");
    } __finally {
        printf("divide-fin ab=%d\n", AbnormalTermination() != 0);
    }
    return r;
}

int main(void)
{
    int Result = -1;
    int Count = 0;

    __try {
        Result = Divide(10, Zero);
    } __except (printf("filter %08lX\n", (unsigned long)GetExceptionCode()),
                GetExceptionCode() == EXCEPTION_INT_DIVIDE_BY_ZERO) {
        Count++;
    }
    __try {
        Result = 7 % Zero;
    } __except (GetExceptionCode() == STATUS_INTEGER_DIVIDE_BY_ZERO ? EXCEPTION_EXECUTE_HANDLER
                                                                   : EXCEPTION_CONTINUE_SEARCH) {
        Count++;
        printf("remainder %08lX\n", (unsigned long)GetExceptionCode());
    }
    printf("result=%d count=%d ok=%d\n", Result, Count, Divide(12, 4));
    return Count == 2 ? 0 : 1;
}
