/* Filters and vectored handlers of a hardware fault that need more stack
   than a signal handler's stack has (300 KiB each) run on the thread's own
   stack, as on the platform; after them the faulting instruction resumes
   with every register as it was. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

#define BIG (300 * 1024)

static volatile int *volatile Null;
static int *volatile Page;
static volatile int Busy;

static int Sum(volatile char *Buffer, int Size)
{
    int Total = 0, I;
    for (I = 0; I < Size; I += 4096)
        Total += Buffer[I];
    return Total;
}

static int BigFilter(void)
{
    volatile char Buffer[BIG];
    memset((char *)Buffer, 1, sizeof Buffer);
    printf("filter sum=%d\n", Sum(Buffer, BIG));
    return EXCEPTION_EXECUTE_HANDLER;
}

/* Opens the page the store faulted on and resumes: the retried store lands. */
static LONG WINAPI BigVectored(EXCEPTION_POINTERS *Pointers)
{
    volatile char Buffer[BIG];
    DWORD Old;
    if (Busy || Pointers->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION)
        return EXCEPTION_CONTINUE_SEARCH;
    memset((char *)Buffer, 2, sizeof Buffer);
    printf("vectored sum=%d\n", Sum(Buffer, BIG));
    VirtualProtect(Page, 4096, PAGE_READWRITE, &Old);
    return EXCEPTION_CONTINUE_EXECUTION;
}

int main(void)
{
    PVOID Handle;
    int Before = 7, After;

    __try {
        *Null = 1;
    } __except (BigFilter()) {
        printf("handled\n");
    }

    Page = (int *)VirtualAlloc(NULL, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS);
    Handle = AddVectoredExceptionHandler(1, BigVectored);
    *Page = Before * 6;
    After = Before;
    RemoveVectoredExceptionHandler(Handle);
    printf("resumed stored=%d before=%d after=%d\n", *Page, Before, After);
    return 0;
}
