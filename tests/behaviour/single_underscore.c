/* _try, _except, _finally and _leave: the compiler's synonyms of the
   double-underscore keywords. */
#include <windows.h>
#include <stdio.h>

int main(void)
{
    _try {
        _try {
            _leave;
        } _finally {
            printf("fin %d\n", AbnormalTermination() != 0);
        }
        RaiseException(0xE0000001, 0, 0, NULL);
    } _except (EXCEPTION_EXECUTE_HANDLER) {
        printf("handler\n");
    }
    return 0;
}
