/* Guarded blocks written by macros, as portability headers spell them: a
   whole statement in one macro, and keywords behind macros with the filter
   as a macro argument. */
#include <windows.h>
#include <stdio.h>

#define TRY __try
#define EXCEPT(filter) __except (filter)
#define FINALLY __finally

#define GUARDED(body, code)                                     \
    __try {                                                     \
        body;                                                   \
    } __except (GetExceptionCode() == (code)) {                 \
        printf("macro-handler %08lX\n", (unsigned long)(code)); \
    }

int main(void)
{
    int r = 0;

    GUARDED(RaiseException(0xE0000020, 0, 0, NULL), 0xE0000020)
    GUARDED(r++, 0xE0000021)
    TRY {
        TRY {
            RaiseException(0xE0000022, 0, 0, NULL);
        } FINALLY {
            printf("fin ab=%d\n", AbnormalTermination() != 0);
        }
    } EXCEPT(GetExceptionCode() == 0xE0000022) {
        printf("handler r=%d\n", r);
    }
    return 0;
}
