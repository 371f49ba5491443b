/* Filter verdicts.  EXCEPTION_CONTINUE_EXECUTION from an outer filter
   resumes after the raise in the inner frame: no termination handler runs
   for it, and they run later as normal exits.  Values other than -1, 0 and
   1: the platform's handler acts on the sign (positive runs the handler,
   negative continues execution). */
#include <windows.h>
#include <stdio.h>

static int Raised;

static void Inner(void)
{
    __try {
        __try {
            Raised++;
            RaiseException(0xE0000001, 0, 0, NULL);
            printf("resumed raised=%d\n", Raised);
            RaiseException(0xE0000001, 0, 0, NULL);
            printf("resumed-again\n");
        } __except (printf("inner-filter\n"), EXCEPTION_CONTINUE_SEARCH) {
            printf("not-reached\n");
        }
    } __finally {
        printf("inner-fin ab=%d\n", AbnormalTermination() != 0);
    }
}

static int Value(int v)
{
    printf("filter %d\n", v);
    return v;
}

int main(void)
{
    int Filters = 0;
    __try {
        Inner();
        printf("inner-returned\n");
    } __except (Filters++, printf("outer-filter %d\n", Filters), EXCEPTION_CONTINUE_EXECUTION) {
        printf("not-reached\n");
    }
    printf("filters=%d\n", Filters);

    __try {
        __try {
            RaiseException(0xE0000001, 0, 0, NULL);
            printf("not-reached\n");
        } __except (Value(2)) {
            printf("handler for 2\n");
        }
    } __except (Value(1)) {
        printf("outer\n");
    }
    __try {
        __try {
            RaiseException(0xE0000002, 0, 0, NULL);
            printf("continued after -2\n");
        } __except (Value(-2)) {
            printf("handler for -2\n");
        }
    } __except (Value(1)) {
        printf("outer\n");
    }
    return Filters == 2 ? 0 : 1;
}
