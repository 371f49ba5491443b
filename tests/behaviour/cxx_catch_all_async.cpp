// Built for the asynchronous model (-fasync-exceptions, the platform's
// /EHa; see NAME.options): catch (...) also takes structured exceptions,
// raised or faults, in order with the try/except blocks: the innermost of
// an accepting filter and a catch (...) takes it.  The unwind to the clause
// runs the destructors and termination handlers it passes.  `throw;` in
// the clause raises the structured exception again, as itself.  A typed
// catch never takes a structured exception, and C++ exceptions go to their
// catch clauses as before.
#include <windows.h>
#include <stdio.h>

struct Local {
    const char *name;
    ~Local() { printf("~%s\n", name); }
};

static int Show(const char *who, EXCEPTION_POINTERS *info, int verdict)
{
    printf("%s: code=%lx\n", who, (unsigned long)info->ExceptionRecord->ExceptionCode);
    return verdict;
}

__declspec(noinline) static void RaiseWithLocal(DWORD code)
{
    Local raiser = {"raiser"};
    RaiseException(code, 0, 0, NULL);
}

__declspec(noinline) static void CatchAllTakesRaise(void)
{
    try {
        Local in_try = {"in_try"};
        RaiseWithLocal(0xE0000001);
    } catch (int) {
        printf("catch (int): never\n");
    } catch (...) {
        printf("catch (...) took the raise\n");
    }
}

__declspec(noinline) static void Fault(volatile int *where)
{
    Local faulting = {"faulting"};
    *where = 1;
}

__declspec(noinline) static void CatchAllTakesFault(void)
{
    try {
        Fault(NULL);
    } catch (...) {
        printf("catch (...) took the fault\n");
    }
}

__declspec(noinline) static void DecliningFilter(void)
{
    __try {
        __try {
            RaiseException(0xE0000003, 0, 0, NULL);
        } __finally {
            printf("finally\n");
        }
    } __except (Show("inner filter", GetExceptionInformation(), EXCEPTION_CONTINUE_SEARCH)) {
        printf("inner handler: never\n");
    }
}

__declspec(noinline) static void CatchAllAfterDecliningFilter(void)
{
    try {
        DecliningFilter();
    } catch (...) {
        printf("catch (...) after the filter\n");
    }
}

__declspec(noinline) static void AcceptingFilter(void)
{
    __try {
        RaiseException(0xE0000004, 0, 0, NULL);
    } __except (Show("filter", GetExceptionInformation(), EXCEPTION_EXECUTE_HANDLER)) {
        printf("handler\n");
    }
}

__declspec(noinline) static void FilterBeforeCatchAll(void)
{
    try {
        AcceptingFilter();
    } catch (...) {
        printf("catch (...): never\n");
    }
}

__declspec(noinline) static void CatchAllRethrows(void)
{
    try {
        RaiseException(0xE0000005, 0, 0, NULL);
    } catch (...) {
        Local in_handler = {"in_handler"};
        printf("catch (...) rethrows\n");
        throw;
    }
}

__declspec(noinline) static void TypedCatchPasses(void)
{
    try {
        RaiseException(0xE0000006, 0, 0, NULL);
    } catch (int) {
        printf("catch (int): never\n");
    }
}

__declspec(noinline) static void CxxStillTyped(void)
{
    try {
        throw 7;
    } catch (int v) {
        printf("catch (int) %d\n", v);
    } catch (...) {
        printf("catch (...): never\n");
    }
}

__declspec(noinline) static int ReturnOutOfBody(void)
{
    try {
        return 8;
    } catch (...) {
        return -1;
    }
}

int main(void)
{
    CatchAllTakesRaise();
    CatchAllTakesFault();
    __try {
        CatchAllAfterDecliningFilter();
    } __except (Show("outer filter: never", GetExceptionInformation(), EXCEPTION_EXECUTE_HANDLER)) {
    }
    FilterBeforeCatchAll();
    __try {
        CatchAllRethrows();
    } __except (Show("filter", GetExceptionInformation(), EXCEPTION_EXECUTE_HANDLER)) {
        printf("handler\n");
    }
    __try {
        TypedCatchPasses();
    } __except (Show("filter", GetExceptionInformation(), EXCEPTION_EXECUTE_HANDLER)) {
        printf("handler\n");
    }
    CxxStillTyped();
    printf("returned %d\n", ReturnOutOfBody());
    // The guarded blocks left by that return are off the chain: this
    // raise reaches main's own filter.
    __try {
        RaiseException(0xE0000009, 0, 0, NULL);
    } __except (Show("filter", GetExceptionInformation(), EXCEPTION_EXECUTE_HANDLER)) {
        printf("handler\n");
    }
    printf("done\n");
    return 0;
}
