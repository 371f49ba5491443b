#include <windows.h>
#include <malloc.h>
#include <stdio.h>

class alignas(64) Aligned {
public:
    int value;

    Aligned()
    {
        value = 3;
    }

    ~Aligned()
    {
    }
};

void Fill(char *buffer)
{
    buffer[4] = 'a';
    throw 123;
}

bool RunTest()
{
    char *buffer = (char *)_alloca(16);
    Aligned local;
    bool result = false;

    try {
        Fill(buffer);
    } catch (int) {
        result = true;
        local.value = 2;
    }
    return result;
}

int main()
{
    bool ok = false;

    __try {
        ok = RunTest();
    } __except (EXCEPTION_EXECUTE_HANDLER) {
        printf("ERROR - Unexpectedly caught an exception\n");
    }

    if (ok) {
        printf("passed\n");
    } else {
        printf("failed\n");
    }

    if (ok) {
        return 0;
    }
    return -1;
}
