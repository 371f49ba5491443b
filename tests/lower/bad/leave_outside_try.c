// expect: 5:5: __leave
#include <windows.h>
void f(void)
{
    __leave;
}
