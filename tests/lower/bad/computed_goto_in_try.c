// expect: 7:9: computed goto|indirect goto
#include <windows.h>
void f(int n)
{
    void *target = &&done;
    __try {
        goto *target;
    } __finally {
        n++;
    }
done:
    return;
}
