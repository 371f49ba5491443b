/* Guarded blocks written through macros, as portability headers spell them:
   the keywords behind macros, with the filter as a macro argument. */
#include <windows.h>
#include <stdio.h>

#define TRY __try
#define EXCEPT(filter) __except (filter)
#define FINALLY __finally

int main(void)
{
    int r = 0;

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
