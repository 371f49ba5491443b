#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <math.h>

jmp_buf JumpBuffer;
double saved_d;
double saved_cos;

int fibonacci(int n)
{
    char buffer[100];
    int first;

    if (n <= 1) {
        longjmp(JumpBuffer, 1);
    }
    snprintf(buffer, 100, "fibonacci(%d)", n);
    printf("%s\n", buffer);
    first = fibonacci(n - 1);
    return first + fibonacci(n - 2);
}

int main(int argc, char *argv[])
{
    int n;
    double x;
    double d;
    int r;

    n = 10;
    x = 3.14;
    if (argc > 1) {
        n = atoi(argv[1]);
    }
    if (argc > 2) {
        x = atof(argv[2]);
    }

    d = sin(x);
    printf("d = %f\n", d);
    printf("cos = %f\n", cos(x));
    printf("size = %d, %p\n", (int)sizeof(JumpBuffer), (void *)&JumpBuffer);

    saved_d = d;
    saved_cos = cos(x);

    r = setjmp(JumpBuffer);
    if (r != 0) {
        printf("setjmp returned %d\n", r);
        printf("d = %f\n", d);
        printf("cos = %f\n", cos(x));
        if (d != saved_d || cos(x) != saved_cos) {
            printf("local variables were clobbered\n");
            return 1;
        }
        return 0;
    }

    printf("fibonacci(%d) = %d\n", n, fibonacci(n));
    return 1;
}
