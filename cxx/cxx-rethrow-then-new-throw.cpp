#include <stdio.h>

int c = 0;
int d = 0;

struct A {
    int serial;

    A()
    {
        c = c + 1;
        serial = c;
        printf("A() %d\n", serial);
    }

    A(const A &)
    {
        c = c + 1;
        serial = c;
        printf("A(const A&) %d\n", serial);
    }

    ~A()
    {
        printf("~A() %d\n", serial);
        d = d + 1;
    }
};

int main()
{
    try {
        try {
            printf("Throwing 1...\n");
            throw A();
        } catch (A) {
            try {
                printf("Throwing 2...\n");
                throw;
            } catch (A) {
                printf("Throwing 3...\n");
                throw A();
            }
        }
    } catch (A) {
        printf("Caught.\n");
    }

    printf("c == %d, d == %d\n", c, d);
    if (c == d) {
        return 0;
    }
    return 1;
}
