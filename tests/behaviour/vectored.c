/* Vectored handlers run before any filter: AddVectoredExceptionHandler(1,
   ...) puts a handler in front of the others, (0, ...) at the end; one that
   answers CONTINUE_EXECUTION ends the dispatch (no filter runs); removed
   ones are not called. */
#include <windows.h>
#include <stdio.h>

static int Seen;

static LONG WINAPI First(EXCEPTION_POINTERS *Pointers)
{
    DWORD Code = Pointers->ExceptionRecord->ExceptionCode;
    if ((Code & 0xFFFFFF00) != 0xE0000000)
        return EXCEPTION_CONTINUE_SEARCH;
    printf("first %08lX\n", (unsigned long)Code);
    return EXCEPTION_CONTINUE_SEARCH;
}

static LONG WINAPI Last(EXCEPTION_POINTERS *Pointers)
{
    DWORD Code = Pointers->ExceptionRecord->ExceptionCode;
    if ((Code & 0xFFFFFF00) != 0xE0000000)
        return EXCEPTION_CONTINUE_SEARCH;
    printf("last %08lX\n", (unsigned long)Code);
    if (Code == 0xE0000002) {
        Seen++;
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

static LONG WINAPI Front(EXCEPTION_POINTERS *Pointers)
{
    DWORD Code = Pointers->ExceptionRecord->ExceptionCode;
    if ((Code & 0xFFFFFF00) != 0xE0000000)
        return EXCEPTION_CONTINUE_SEARCH;
    printf("front %08lX\n", (unsigned long)Code);
    return EXCEPTION_CONTINUE_SEARCH;
}

int main(void)
{
    PVOID a, b, c;

    a = AddVectoredExceptionHandler(1, First);
    b = AddVectoredExceptionHandler(0, Last);
    c = AddVectoredExceptionHandler(1, Front);
    printf("handles %d\n", a != NULL && b != NULL && c != NULL);

    __try {
        RaiseException(0xE0000001, 0, 0, NULL);
    } __except (printf("filter1\n"), 1) {
        printf("handler1\n");
    }
    __try {
        RaiseException(0xE0000002, 0, 0, NULL);
        printf("continued seen=%d\n", Seen);
    } __except (printf("filter2\n"), 1) {
        printf("handler2\n");
    }
    printf("removed %d\n", RemoveVectoredExceptionHandler(c) != 0);
    __try {
        *(volatile int *)0 = 0;
    } __except (printf("filter3\n"), 1) {
        printf("handler3\n");
    }
    __try {
        RaiseException(0xE0000003, 0, 0, NULL);
    } __except (printf("filter4\n"), 1) {
        printf("handler4\n");
    }
    RemoveVectoredExceptionHandler(a);
    RemoveVectoredExceptionHandler(b);
    __try {
        RaiseException(0xE0000004, 0, 0, NULL);
    } __except (printf("filter5\n"), 1) {
        printf("handler5\n");
    }
    return 0;
}
