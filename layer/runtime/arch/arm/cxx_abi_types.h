// The C++ ABI's types as the ARM C++ ABI (EHABI) has them.
#pragma once

#include <stddef.h>
#include <unwind.h>

#include <typeinfo>

namespace zeb::seh {

// The C++ run-time's header before an exception object (the ARM C++ ABI's
// __cxa_exception) and its per-thread globals: on EHABI the exceptions
// whose cleanups are running form a stack threaded through the headers.
struct CxaException {
    std::type_info *type;
    void (*destroy)(void *);
    void (*unexpected)();
    void (*terminate)();
    CxaException *next_caught;
    int handler_count;
    CxaException *next_propagating;
    int propagation_count;
    _Unwind_Control_Block unwind;
};
static_assert(offsetof(CxaException, unwind) == 32 && sizeof(CxaException) == 32 + sizeof(_Unwind_Control_Block),
              "the header ends with the unwinder's");

struct EhGlobals {
    CxaException *caught;
    unsigned int uncaught;
    CxaException *propagating;
};

using PersonalityRoutine = _Unwind_Reason_Code(_Unwind_State, _Unwind_Control_Block *, _Unwind_Context *);

}  // namespace zeb::seh
