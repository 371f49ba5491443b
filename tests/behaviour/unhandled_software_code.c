/* A software exception that nothing takes ends the process with its code's
   low byte as the status (0xE0000043: 0x43 = 67); nothing unwinds, so the
   termination handler it passed does not run.  The run-time names it a
   software exception on standard error. */
#include <windows.h>
#include <stdio.h>

int main(void)
{
    printf("start\n");
    fflush(stdout);
    __try {
        RaiseException(0xE0000043, 0, 0, NULL);
    } __finally {
        printf("finally ab=%d\n", AbnormalTermination() != 0);
        fflush(stdout);
    }
    printf("not-reached\n");
    return 0;
}
