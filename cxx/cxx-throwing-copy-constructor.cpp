#include <stdio.h>

int live = 0;

class Counted {
public:
    Counted()
    {
        live = live + 1;
    }

    Counted(const Counted &)
    {
        throw 1;
    }

    // Throws before counting; only the unreached part of block 2 uses it.
    explicit Counted(int)
    {
        throw 1;
    }

    ~Counted()
    {
        live = live - 1;
    }
};

int TakeByValue(Counted)
{
    throw 1;
}

void CopyAndPass(const Counted &source, int)
{
    Counted local(source);
    TakeByValue(local);
}

int main()
{
    try {
        Counted a;
        int r = TakeByValue(a);
        CopyAndPass(Counted(a), r);
    } catch (int) {
    }

    try {
        Counted b;
        int r = TakeByValue(b);
        CopyAndPass(Counted(r), r);
    } catch (int) {
    }

    if (live == 0) {
        printf("Passed\n");
    } else {
        printf("FAILED\n");
    }
    return live;
}
