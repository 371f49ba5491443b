/* ZEB0019: a goto from a termination handler, running for a normal exit,
   out of a try/finally inside a called function; the function then
   returns normally and main's termination handler runs once.
   Expected Counter: 5. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0019";

__declspec(noinline) void LeaveFromFinally(int *CounterPointer)
{
    __try {
        __try {
            *CounterPointer += 1;
        } __finally {
            *CounterPointer += 1;
            goto Done;
        }
    } __finally {
        *CounterPointer += 1;
    }

Done:
    return;
}

int main(void)
{
    int Counter;

    Counter = 0;

    __try {
        Counter++;
        LeaveFromFinally(&Counter);
    } __finally {
        Counter++;
    }

    if (Counter != 5) {
        printf("TEST 19 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
