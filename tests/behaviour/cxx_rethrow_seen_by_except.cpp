// `throw;` raises the exception being handled again: a try/except outside
// the catch clause sees it, as the same C++ exception (0xE06D7363 with the
// ABI's magic number and the same object), before any catch further out,
// and in order with them.  The handler's own locals are destroyed, then the
// object, as the unwind leaves the clause.  A structured exception raised
// inside a catch clause is an exception of its own.  Under the default
// (synchronous) model a catch (...) never sees a structured exception.
#include <windows.h>
#include <stdio.h>

struct Thrown {
    int value;
    explicit Thrown(int v) : value(v) {}
    ~Thrown() { printf("~Thrown %d\n", value); }
};

struct Local {
    const char *name;
    ~Local() { printf("~%s\n", name); }
};

static int Show(const char *who, EXCEPTION_POINTERS *info, int verdict)
{
    EXCEPTION_RECORD *r = info->ExceptionRecord;
    printf("%s: code=%lx noncontinuable=%d", who, (unsigned long)r->ExceptionCode,
           (r->ExceptionFlags & EXCEPTION_NONCONTINUABLE) != 0);
    if (r->ExceptionCode == 0xE06D7363 && r->NumberParameters >= 3)
        printf(" magic=%lx value=%d", (unsigned long)r->ExceptionInformation[0],
               ((Thrown *)r->ExceptionInformation[1])->value);
    printf("\n");
    return verdict;
}

__declspec(noinline) static void CatchAndRethrow(int value)
{
    try {
        throw Thrown(value);
    } catch (Thrown &t) {
        Local in_handler = {"in_handler"};
        printf("caught %d, rethrowing\n", t.value);
        throw;
    }
}

__declspec(noinline) static void RaiseInCatch(void)
{
    try {
        throw Thrown(3);
    } catch (Thrown &) {
        printf("raising in catch\n");
        RaiseException(0xE0000006, 0, 0, NULL);
    }
}

__declspec(noinline) static void CatchAllPassesStructured(void)
{
    try {
        RaiseException(0xE0000007, 0, 0, NULL);
    } catch (...) {
        printf("catch (...) took a structured exception\n");
    }
}

__declspec(noinline) static void GuardedRethrow(int value, int verdict)
{
    __try {
        CatchAndRethrow(value);
    } __except (Show("inner filter", GetExceptionInformation(), verdict)) {
        printf("inner handler\n");
    }
}

// Declined, the rethrown exception goes on to the catch outside.
__declspec(noinline) static void DeclinedGoesOn(void)
{
    try {
        GuardedRethrow(2, EXCEPTION_CONTINUE_SEARCH);
    } catch (Thrown &t) {
        printf("outer catch %d\n", t.value);
    }
}

int main(void)
{
    __try {
        CatchAndRethrow(1);
    } __except (Show("filter", GetExceptionInformation(), EXCEPTION_EXECUTE_HANDLER)) {
        printf("handler\n");
    }

    DeclinedGoesOn();

    __try {
        RaiseInCatch();
    } __except (Show("filter", GetExceptionInformation(), EXCEPTION_EXECUTE_HANDLER)) {
        printf("handler\n");
    }

    __try {
        CatchAllPassesStructured();
    } __except (Show("filter", GetExceptionInformation(), EXCEPTION_EXECUTE_HANDLER)) {
        printf("handler\n");
    }
    printf("done\n");
    return 0;
}
