/* The exception record a filter sees for RaiseException: code, flags,
   parameter count and values, a non-null address and context, no chained
   record; a null argument array gives no parameters.  All filters of one
   dispatch share the record: a change by an inner filter is seen by the
   outer ones, and GetExceptionCode() reads it. */
#include <windows.h>
#include <stdio.h>

static EXCEPTION_RECORD Copy;
static int ContextPresent;

static int Capture(EXCEPTION_POINTERS *Pointers)
{
    Copy = *Pointers->ExceptionRecord;
    ContextPresent = Pointers->ContextRecord != NULL;
    return EXCEPTION_EXECUTE_HANDLER;
}

static void Show(const char *Name)
{
    DWORD i;
    printf("%s code=%08lX flags=%lu n=%lu chained=%d addr=%d ctx=%d", Name, (unsigned long)Copy.ExceptionCode,
           (unsigned long)Copy.ExceptionFlags, (unsigned long)Copy.NumberParameters, Copy.ExceptionRecord != NULL,
           Copy.ExceptionAddress != NULL, ContextPresent);
    for (i = 0; i < Copy.NumberParameters && i < EXCEPTION_MAXIMUM_PARAMETERS; i++)
        printf(" p%lu=%lu", (unsigned long)i, (unsigned long)Copy.ExceptionInformation[i]);
    printf("\n");
}

static int Rewrite(EXCEPTION_POINTERS *Pointers)
{
    Pointers->ExceptionRecord->ExceptionInformation[0] = 99;
    Pointers->ExceptionRecord->ExceptionCode = 0xE0000BBB;
    return EXCEPTION_CONTINUE_SEARCH;
}

int main(void)
{
    ULONG_PTR Args[EXCEPTION_MAXIMUM_PARAMETERS];
    int i;

    for (i = 0; i < EXCEPTION_MAXIMUM_PARAMETERS; i++)
        Args[i] = 100 + i;

    __try {
        RaiseException(0xE0001234, 0, 3, Args);
    } __except (Capture(GetExceptionInformation())) {
        Show("three");
    }
    __try {
        RaiseException(0x20000001, 0, 5, NULL);
    } __except (Capture(GetExceptionInformation())) {
        Show("null-array");
    }
    __try {
        RaiseException(0xE0000002, 0, EXCEPTION_MAXIMUM_PARAMETERS, Args);
    } __except (Capture(GetExceptionInformation())) {
        Show("fifteen");
    }
    __try {
        RaiseException(0xE0000003, 0, 0, Args);
    } __except (Capture(GetExceptionInformation())) {
        Show("zero");
    }
    /* Flags other than EXCEPTION_NONCONTINUABLE are not passed on. */
    __try {
        RaiseException(0xE0000004, EXCEPTION_NONCONTINUABLE | 0x100, 1, Args);
    } __except (Capture(GetExceptionInformation())) {
        Show("noncontinuable");
    }
    __try {
        __try {
            RaiseException(0xE0000AAA, 0, 1, Args);
        } __except (Rewrite(GetExceptionInformation())) {
            printf("not-reached\n");
        }
    } __except (printf("outer-filter %08lX\n", (unsigned long)GetExceptionCode()),
                Capture(GetExceptionInformation())) {
        Show("rewritten");
    }
    return 0;
}
