// A termination handler sees its function's parameters as they are, also in
// a function that calls setjmp (which makes a compiler keep a frame pointer).
// A C++ source, in the default (synchronous) model.
#include <windows.h>
#include <setjmp.h>
#include <stdio.h>

static int Identity(int x)
{
    return x;
}

static void WithSetjmp(int depth, jmp_buf *env)
{
    __try {
    }
    __finally {
        printf("finally: depth %d, env %s\n", depth, env ? "set" : "null");
    }
    if (Identity(2) == 1) {
        jmp_buf here;
        if (setjmp(here) != 0)
            printf("jumped\n");
    }
}

int main(void)
{
    setvbuf(stdout, NULL, _IONBF, 0);
    WithSetjmp(5, NULL);
    return 0;
}
