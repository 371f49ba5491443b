#include <stdio.h>

struct A {
    A()
    {
        printf("In A()\n");
    }

    ~A()
    {
        printf("In ~A()\n");
    }
};

void Thrower()
{
    printf("Throwing\n");
    throw 1;
}

int main()
{
    try {
        try {
            A a;
            Thrower();
            return 0;
        } catch (...) {
            printf("In first catch\nDoing new throw\n");
            throw 2;
        }
    } catch (...) {
        printf("In outer catch\n");
    }

    printf("End\n");
    return 0;
}
