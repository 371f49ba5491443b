/* Access violations as exceptions: on read, write and execute (parameters:
   0, 1 or 8, then the address), in the guarded body and in callees; the
   faulting statement has no effect and the termination handlers between run
   on the way to the handler. */
#include <windows.h>
#include <stdio.h>

typedef void (*Function)(void);

static volatile int Sink;
static Function volatile NullFunction;

__declspec(noinline) static void WriteAt(int *Address, int Value)
{
    *Address = Value;
}

__declspec(noinline) static int ReadAt(int *Address)
{
    return *Address;
}

static void CallNull(void)
{
    __try {
        NullFunction();
    } __finally {
        printf("call-fin ab=%d\n", AbnormalTermination() != 0);
    }
}

static int Show(const char *Name, EXCEPTION_POINTERS *Pointers)
{
    EXCEPTION_RECORD *Record = Pointers->ExceptionRecord;
    printf("%s code=%08lX", Name, (unsigned long)Record->ExceptionCode);
    if (Record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION)
        printf(" n=%lu kind=%lu addr=0x%lx", (unsigned long)Record->NumberParameters,
               (unsigned long)Record->ExceptionInformation[0], (unsigned long)Record->ExceptionInformation[1]);
    printf(" at=%s\n", Record->ExceptionAddress == NULL ? "null" : "set");
    return EXCEPTION_EXECUTE_HANDLER;
}

int main(void)
{
    int *volatile Null = NULL;
    int *volatile Low = (int *)0x40;
    int Counter = 0;

    __try {
        Sink = *Null;
        Counter += 100;
    } __except (Show("read-null", GetExceptionInformation())) {
        Counter++;
    }
    __try {
        *Low = 5;
        Counter += 100;
    } __except (Show("write-low", GetExceptionInformation())) {
        Counter++;
    }
    __try {
        WriteAt((int *)0x80, 1);
        Counter += 100;
    } __except (Show("write-callee", GetExceptionInformation())) {
        Counter++;
    }
    __try {
        Counter += ReadAt((int *)0x100);
        Counter += 100;
    } __except (Show("read-callee", GetExceptionInformation())) {
        Counter++;
    }
    __try {
        CallNull();
        Counter += 100;
    } __except (Show("execute-null", GetExceptionInformation())) {
        Counter++;
    }
    printf("counter=%d\n", Counter);
    return Counter == 5 ? 0 : 1;
}
