// A C++ exception that reaches a try/except is the structured exception
// 0xE06D7363, non-continuable, whose parameters are the C++ ABI's magic
// number, the thrown object and its throw information.  Filters are asked in
// order with catch clauses: the innermost of a matching catch and an
// accepting filter takes it.  Taken by an __except, the object is destroyed
// once, as the handler is entered, after the destructors and termination
// handlers of the frames left; a filter that declines lets the catch
// further out take it.  A catch-all clause does not take a structured
// exception (the default, synchronous model).
#include <windows.h>
#include <stdio.h>

struct Thrown {
    int value;
    explicit Thrown(int v) : value(v) {}
    Thrown(const Thrown &other) : value(other.value) { printf("copy\n"); }
    ~Thrown() { printf("~Thrown %d\n", value); }
};

struct Local {
    ~Local() { printf("~Local\n"); }
};

static int Describe(EXCEPTION_POINTERS *info)
{
    EXCEPTION_RECORD *r = info->ExceptionRecord;
    printf("filter code=%lx noncontinuable=%d magic=%lx value=%d\n", (unsigned long)r->ExceptionCode,
           (r->ExceptionFlags & EXCEPTION_NONCONTINUABLE) != 0, (unsigned long)r->ExceptionInformation[0],
           r->NumberParameters >= 3 ? ((Thrown *)r->ExceptionInformation[1])->value : -1);
    return EXCEPTION_EXECUTE_HANDLER;
}

__declspec(noinline) static void ThrowWithLocal(int value)
{
    Local local;
    throw Thrown(value);
}

__declspec(noinline) static void GuardedThrow(int value, int verdict)
{
    __try {
        __try {
            ThrowWithLocal(value);
        } __finally {
            printf("finally ab=%d\n", AbnormalTermination() != 0);
        }
    } __except (printf("inner filter\n"), verdict) {
        printf("inner handler\n");
    }
}

__declspec(noinline) static void CatchOutside(int verdict)
{
    try {
        GuardedThrow(2, verdict);
        printf("returned\n");
    } catch (Thrown &t) {
        printf("catch %d\n", t.value);
    }
}

__declspec(noinline) static void CatchInside(void)
{
    try {
        ThrowWithLocal(4);
    } catch (Thrown &t) {
        printf("inner catch %d\n", t.value);
    }
}

__declspec(noinline) static void CatchAllAroundRaise(void)
{
    try {
        RaiseException(0xE0000002, 0, 0, NULL);
    } catch (...) {
        printf("catch-all took it\n");
    }
}

int main(void)
{
    __try {
        throw 42;
    } __except (EXCEPTION_EXECUTE_HANDLER) {
        printf("handler %lx\n", (unsigned long)GetExceptionCode());
    }
    __try {
        ThrowWithLocal(1);
    } __except (Describe(GetExceptionInformation())) {
        printf("handler 1\n");
    }
    CatchOutside(EXCEPTION_EXECUTE_HANDLER);
    CatchOutside(EXCEPTION_CONTINUE_SEARCH);
    __try {
        CatchInside();
    } __except (printf("outer filter\n"), EXCEPTION_EXECUTE_HANDLER) {
        printf("not reached\n");
    }
    __try {
        CatchAllAroundRaise();
    } __except (EXCEPTION_EXECUTE_HANDLER) {
        printf("handler %lx\n", (unsigned long)GetExceptionCode());
    }
    printf("done\n");
    return 0;
}
