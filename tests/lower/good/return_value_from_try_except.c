// expect: ok
// A return with a value out of a try/except (no termination handler).
#include <windows.h>

int first_byte(const char *p)
{
    __try {
        return p[0];
    } __except (EXCEPTION_EXECUTE_HANDLER) {
        return -1;
    }
}
