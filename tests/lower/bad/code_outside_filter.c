// expect: 7:16: GetExceptionCode|_exception_code
#include <windows.h>
unsigned f(void)
{
    __try {
    } __finally {
        return GetExceptionCode();
    }
    return 0;
}
