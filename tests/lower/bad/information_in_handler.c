// expect: 8:13: GetExceptionInformation|_exception_info
#include <windows.h>
void f(void)
{
    EXCEPTION_POINTERS *p = 0;
    __try {
    } __except (1) {
        p = GetExceptionInformation();
    }
    (void)p;
}
