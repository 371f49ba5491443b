// expect: 6:5: __except
#include <windows.h>
void f(int n)
{
    n++;
    __except (1) {
        n--;
    }
}
