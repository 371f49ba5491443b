// expect: ok
// More guarded blocks in one source than the compiler reports errors
// by default.
#include <windows.h>

int count(void)
{
    int n = 0;
    __try { n++; } __finally { n++; }
    __try { n++; } __finally { n++; }
    __try { n++; } __finally { n++; }
    __try { n++; } __finally { n++; }
    __try { n++; } __finally { n++; }
    __try { n++; } __finally { n++; }
    __try { n++; } __finally { n++; }
    __try { n++; } __finally { n++; }
    __try { n++; } __finally { n++; }
    __try { n++; } __finally { n++; }
    __try { n++; } __finally { n++; }
    __try { n++; } __finally { n++; }
    __try { n++; } __finally { n++; }
    __try { n++; } __finally { n++; }
    __try { n++; } __finally { n++; }
    __try { n++; } __finally { n++; }
    __try { n++; } __finally { n++; }
    __try { n++; } __finally { n++; }
    __try { n++; } __finally { n++; }
    __try { n++; } __finally { n++; }
    __try { n++; } __finally { n++; }
    __try { n++; } __finally { n++; }
    __try { n++; } __finally { n++; }
    __try { n++; } __finally { n++; }
    return n;
}
