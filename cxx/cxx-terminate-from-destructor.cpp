#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <exception>

int GenerateFault;

class C {
public:
    C()
    {
    }

    ~C()
    {
        printf("in C::~C()\n");
        if (GenerateFault) {
            printf("generating access violation (SEH)\n");
            *(volatile char *)0 = 0;
        } else {
            printf("throwing C++ exception\n");
            throw 'a';
        }
    }
};

int Test1()
{
    try {
        C c;
        throw 1;
    } catch (int) {
        printf("Destructor was not invoked \n");
    } catch (char) {
        printf("Destructor exited using an exception\n");
    }
    printf("terminate() was not called\n");
    return 1;
}

void Bar()
{
    printf("in %s\n", "Bar");
    throw 1;
}

void Test2()
{
    printf("in %s\n", "Test2");
    C c;
    Bar();
}

void Terminate2()
{
    printf("termination handler (%s) called\n", "Terminate2");
    exit(0);
}

void Terminate1()
{
    printf("termination handler (%s) called\n", "Terminate1");
    std::set_terminate(Terminate2);
    Test2();
    exit(0);
}

int main()
{
    int result = 0;

    GenerateFault = 1;
    __try {
        result = Test1();
    } __except (EXCEPTION_EXECUTE_HANDLER) {
        printf("caught SEH exception in %s\n", "main");
    }

    std::set_terminate(Terminate1);
    GenerateFault = 0;

    result = Test1();

    printf("termination handler not called\n");
    return result;
}
