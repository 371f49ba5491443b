// A structured exception that unwinds C++ frames runs the destructors of the
// objects it leaves, interleaved with termination handlers innermost scope
// first: in the guarded block, in functions between the raise and the
// handler, and for an access violation in a function with a local object.
// Objects outside the guarded body live on.  (Windows' asynchronous model: clang-cl -EHa or
// -fasync-exceptions; under the default -EHs no destructor runs.)
#include <windows.h>
#include <stdio.h>

struct Noisy {
    const char *name;
    explicit Noisy(const char *n) : name(n) {}
    ~Noisy() { printf("~%s\n", name); }
};

__declspec(noinline) static void RaiseWithLocal(void)
{
    Noisy callee("callee");
    RaiseException(0xE0000001, 0, 0, NULL);
}

__declspec(noinline) static void FaultWithLocal(int *volatile where)
{
    Noisy faulting("faulting");
    *where = 1;
    printf("not reached\n");
}

__declspec(noinline) static void Between(void)
{
    Noisy between("between");
    __try {
        Noisy inner("inner");
        RaiseWithLocal();
    } __finally {
        printf("finally ab=%d\n", AbnormalTermination() != 0);
    }
}

int main(void)
{
    Noisy outside("outside");
    __try {
        Noisy local("local");
        RaiseException(0xE0000001, 0, 0, NULL);
    } __except (EXCEPTION_EXECUTE_HANDLER) {
        printf("handler 1\n");
    }
    __try {
        RaiseWithLocal();
    } __except (EXCEPTION_EXECUTE_HANDLER) {
        printf("handler 2\n");
    }
    __try {
        FaultWithLocal(NULL);
    } __except (GetExceptionCode() == EXCEPTION_ACCESS_VIOLATION) {
        printf("handler 3\n");
    }
    __try {
        Noisy outer("outer");
        __try {
            Between();
        } __finally {
            printf("outer finally ab=%d\n", AbnormalTermination() != 0);
        }
    } __except (EXCEPTION_EXECUTE_HANDLER) {
        printf("handler 4\n");
    }
    printf("done\n");
    return 0;
}
