/* A try/except inside a try/finally, in one function: the unwind to the
   __except block stays inside the enclosing guarded block, so its
   termination handler runs once, when the block is left after the
   handler, not also during the unwind. */
#include <windows.h>
#include <stdio.h>

static __declspec(noinline) void Raise(void)
{
    RaiseException(0xE0000001, 0, 0, NULL);
}

int main(void)
{
    int Runs = 0;

    __try {
        __try {
            Raise();
        } __except (EXCEPTION_EXECUTE_HANDLER) {
            printf("handler, finally runs so far %d\n", Runs);
        }
    } __finally {
        Runs++;
        printf("finally ab=%d\n", AbnormalTermination() != 0);
    }
    printf("finally runs %d\n", Runs);
    return Runs == 1 ? 0 : 1;
}
