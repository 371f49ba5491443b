// An exception raised after a goto or a break has left a guarded body is
// outside that block: its filter is not asked and its handler does not run;
// the exception belongs to the blocks around the jump's target.  A compiler
// that lays out the blocks' ranges by the source's order can leave the code
// at the target inside the range of the block that was left.
#include <windows.h>
#include <stdio.h>

static int Filter(const char *which)
{
    printf("filter of %s\n", which);
    return EXCEPTION_EXECUTE_HANDLER;
}

static void Raise(void)
{
    RaiseException(0xE0000001u, 0, 0, NULL);
}

static void AfterGoto(void)
{
    {
        __try {
            goto out;
        }
        __except (Filter("the block a goto left")) {
            printf("handler of the block a goto left\n");
        }
        return;
    }
out:
    Raise();
}

static void AfterBreak(void)
{
    int i;
    for (i = 0; i < 2; i++) {
        __try {
            break;
        }
        __except (Filter("the block a break left")) {
            printf("handler of the block a break left\n");
        }
    }
    Raise();
}

int main(void)
{
    setvbuf(stdout, NULL, _IONBF, 0);
    __try {
        AfterGoto();
    }
    __except (Filter("main's block")) {
        printf("main's handler after the goto\n");
    }
    __try {
        AfterBreak();
    }
    __except (Filter("main's block")) {
        printf("main's handler after the break\n");
    }
    return 0;
}
