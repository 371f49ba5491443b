#include <stdio.h>

void Thrower()
{
    throw 1;
}

void Rethrower()
{
    throw;
}

int CatchAllTwice(void (*fn)())
{
    int result = 0;

    try {
        fn();
        return 0;
    } catch (...) {
        try {
            Rethrower();
        } catch (...) {
            result = 1;
        }
    }
    return result;
}

int CatchIntTwice(void (*fn)())
{
    int result = 0;

    try {
        fn();
        return 0;
    } catch (int first) {
        try {
            Rethrower();
        } catch (int e) {
            result = e;
        }
    }
    return result;
}

int main()
{
    int a = CatchAllTwice(Thrower);
    int b = CatchIntTwice(Thrower);

    if (a == 1 && b == 1) {
        printf("passed\n");
        return 0;
    }
    printf("failed\n");
    return 1;
}
