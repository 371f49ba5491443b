// expect: 5:17: expected .;.
#include <windows.h>
int f(int n)
{
    return n + 1
}
