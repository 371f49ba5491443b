// expect: 6:9: jump
#include <windows.h>
void f(int n)
{
    if (n)
        goto inside;
    __try {
inside:
        n++;
    } __finally {
        n--;
    }
}
