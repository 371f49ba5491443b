/* Filters with side effects and comma expressions: each filter runs once per
   exception, its side effects stay, and only its value decides. */
#include <windows.h>
#include <stdio.h>

static int Calls;

static int Note(int *Where, int Value)
{
    ++*Where;
    ++Calls;
    return Value;
}

static void Raise(DWORD Code)
{
    RaiseException(Code, 0, 0, NULL);
}

int main(void)
{
    int Counter = 0;
    int Inner = 0;
    int Outer = 0;
    DWORD Seen = 0;
    int i;

    __try {
        __try {
            Counter += 10;
            Raise(0xE0000010);
            Counter += 1000;
        } __except (Seen = GetExceptionCode(), Counter++, Note(&Inner, Seen == 0xE0000011)) {
            printf("inner-handler\n");
        }
    } __except (Counter *= 2, Note(&Outer, EXCEPTION_EXECUTE_HANDLER)) {
        printf("outer-handler counter=%d inner=%d outer=%d seen=%08lX\n", Counter, Inner, Outer,
               (unsigned long)Seen);
    }

    /* A filter whose value comes from a conditional and a function; the
       handler runs only for the odd rounds. */
    for (i = 0; i < 4; i++) {
        __try {
            __try {
                Raise(0xE0000100 + i);
            } __except ((GetExceptionCode() & 1) ? Note(&Inner, 1) : Note(&Inner, 0)) {
                printf("odd %d\n", i);
            }
        } __except (printf("even-filter %d\n", i), EXCEPTION_EXECUTE_HANDLER) {
            printf("even %d\n", i);
        }
    }
    /* A filter that never runs: nothing is raised. */
    __try {
        Counter++;
    } __except (printf("never\n"), 1) {
        printf("never-handler\n");
    }
    printf("counter=%d inner=%d outer=%d calls=%d\n", Counter, Inner, Outer, Calls);
    return Counter == 23 ? 0 : 1;
}
