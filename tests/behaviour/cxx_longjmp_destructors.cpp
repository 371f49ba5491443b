// A long jump out through C++ frames runs the destructors of the objects it
// leaves, interleaved with the termination handlers it passes, as the
// platform's longjmp (an unwind) does; the frame of setjmp keeps its own.
#include <windows.h>
#include <setjmp.h>
#include <stdio.h>

struct Noisy {
    const char *name;
    explicit Noisy(const char *n) : name(n) {}
    ~Noisy() { printf("~%s\n", name); }
};

static jmp_buf Env;

__declspec(noinline) static void JumpWithLocal(void)
{
    Noisy jumping("jumping");
    longjmp(Env, 1);
}

__declspec(noinline) static void JumpThrough(void)
{
    Noisy through("through");
    __try {
        Noisy inner("inner");
        JumpWithLocal();
    } __finally {
        printf("finally ab=%d\n", AbnormalTermination() != 0);
    }
}

int main(void)
{
    Noisy kept("kept");
    if (setjmp(Env) == 0)
        JumpThrough();
    else
        printf("jumped\n");
    printf("done\n");
    return 0;
}
