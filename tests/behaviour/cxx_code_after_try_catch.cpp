// Built for the asynchronous model (-fasync-exceptions, the platform's /EHa;
// see NAME.options).  A try block ends where control leaves it: code that
// runs after a try/catch has completed normally is outside it, so a
// structured exception raised there goes past its catch (...) to the
// handlers around the call.  A compiler that marks only where the try body
// begins can leave the code after it in the try's state.
#include <windows.h>
#include <stdio.h>

static volatile int Sink;

static void Raise(void)
{
    RaiseException(0xE0000001u, 0, 0, NULL);
}

static void AfterTry(void)
{
    try {
        Sink = 1;
    } catch (...) {
        printf("catch-all of the try that had ended\n");
        return;
    }
    Raise();
}

static int Seen(unsigned long code)
{
    printf("main's filter: %lx\n", code);
    return EXCEPTION_EXECUTE_HANDLER;
}

int main(void)
{
    setvbuf(stdout, NULL, _IONBF, 0);
    __try {
        AfterTry();
    }
    __except (Seen(GetExceptionCode())) {
        printf("main's handler\n");
    }
    return 0;
}
