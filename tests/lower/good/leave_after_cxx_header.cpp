// expect: ok
// libstdc++'s headers define __try as a macro for try; __leave must still
// be accepted inside the guarded block.
#include <exception>
#include <windows.h>

int leave_early(int n)
{
    __try {
        if (n)
            __leave;
        n = 5;
    } __finally {
        n++;
    }
    return n;
}
