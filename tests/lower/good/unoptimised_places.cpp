// expect: ok
// Every kind of declaration that can hold a guarded block or a setjmp call,
// each kept unoptimised as a whole.
#include <windows.h>
#include <setjmp.h>

namespace inner {
int in_namespace(int v)
{
    __try { v += 1; } __finally { v += 2; }
    return v;
}
}

extern "C" {
static jmp_buf buffer;
int in_linkage_block(void)
{
    volatile int n = 0;
    if (setjmp(buffer) == 0) longjmp(buffer, 1);
    return n;
}
}

struct Holder {
    int member(int v)
    {
        __try { v += 1; } __except (EXCEPTION_EXECUTE_HANDLER) { v = 0; }
        return v;
    }
    int plain() { return 1; }
};

template <class T>
T in_template(T v)
{
    __try { v += 1; } __finally { v += 2; }
    return v;
}

auto in_lambda = [](int v) {
    __try { v += 1; } __finally { v += 2; }
    return v;
};

#define DEFINE_CHECK(name) static int name(int v)
DEFINE_CHECK(from_macro) { __try { v += 1; } __finally { v += 2; } return v; }

int user() { return inner::in_namespace(1) + in_linkage_block() + Holder().member(1) + in_template(1) + in_lambda(1) + from_macro(1); }

extern "C" int one_line_linkage(int v)
{
    __try { v += 1; } __finally { v += 2; }
    return v;
}
