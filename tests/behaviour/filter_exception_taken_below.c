/* An exception raised in a filter is taken by a guarded block of a frame
   below the filter's (one the first exception already passed): the first
   exception's dispatch is abandoned, the termination handlers between run,
   and execution goes on in that deeper frame. */
#include <windows.h>
#include <stdio.h>

static int Nested(EXCEPTION_POINTERS *Pointers)
{
    return (Pointers->ExceptionRecord->ExceptionFlags & EXCEPTION_NESTED_CALL) != 0;
}

static int InnerFilter(EXCEPTION_POINTERS *Pointers)
{
    DWORD Code = Pointers->ExceptionRecord->ExceptionCode;
    printf("inner-filter %08lX nested=%d\n", (unsigned long)Code, Nested(Pointers));
    return Code == 0xE0000002;
}

static int RaisingFilter(EXCEPTION_POINTERS *Pointers)
{
    DWORD Code = Pointers->ExceptionRecord->ExceptionCode;
    printf("outer-filter %08lX nested=%d\n", (unsigned long)Code, Nested(Pointers));
    if (Code == 0xE0000001)
        RaiseException(0xE0000002, 0, 0, NULL);
    return EXCEPTION_CONTINUE_SEARCH;
}

static void Inner(void)
{
    __try {
        __try {
            __try {
                RaiseException(0xE0000001, 0, 0, NULL);
            } __finally {
                printf("inner-fin ab=%d\n", AbnormalTermination() != 0);
            }
        } __except (InnerFilter(GetExceptionInformation())) {
            printf("inner-handler %08lX\n", (unsigned long)GetExceptionCode());
        }
        printf("inner-after\n");
    } __finally {
        printf("inner-outer-fin ab=%d\n", AbnormalTermination() != 0);
    }
}

int main(void)
{
    __try {
        Inner();
        printf("main-after-inner\n");
    } __except (RaisingFilter(GetExceptionInformation())) {
        printf("not-reached\n");
    }
    /* The abandoned dispatch leaves nothing behind. */
    __try {
        RaiseException(0xE0000003, 0, 0, NULL);
    } __except (printf("last-filter nested=%d\n", Nested(GetExceptionInformation())), 1) {
        printf("last-handler\n");
    }
    return 0;
}
