// The layer's C++ unwinds on the ARM unwinder (EHABI): see ehabi.h.
#include "ehabi.h"

#include "cxx/cxx_abi.h"

#include <stddef.h>
#include <string.h>

#include <typeinfo>

namespace zeb::seh::ehabi {
namespace {

CxaException *header_of(_Unwind_Control_Block *exception) {
    return reinterpret_cast<CxaException *>(exception + 1) - 1;
}

// The register set as a backtrace keeps it: a word of demand-save flags,
// r0-r15, then the floating-point registers, which the personality's
// unwinding saves into it and pops on demand (a few hundred bytes).
struct alignas(8) RegisterSet {
    uint32_t demand_save;
    uint32_t core[16];
    uint32_t rest[240];
};
constexpr size_t kCopied = offsetof(RegisterSet, rest);

}  // namespace

void set_caught_object(_Unwind_Control_Block *exception, void *object) {
    exception->barrier_cache.bitpattern[0] = reinterpret_cast<uintptr_t>(object);
}

_Unwind_Reason_Code personality_keeping_class(personality_routine personality, _Unwind_State state,
                                              _Unwind_Control_Block *exception, _Unwind_Context *context) {
    char native[sizeof exception->exception_class];
    memcpy(native, exception->exception_class, sizeof native);
    EhGlobals *const globals = __cxa_get_globals();
    // With no cleanup running, a cleanup begun for a foreign exception is
    // recorded instead of ending the process.
    CxaException *const outer = globals->propagating;
    globals->propagating = nullptr;
    const _Unwind_Reason_Code result = personality(state, exception, context);
    CxaException *const header = header_of(exception);
    if (globals->propagating == header) {
        header->propagation_count = 1;
        header->next_propagating = outer;
    } else {
        globals->propagating = outer;
    }
    memcpy(exception->exception_class, native, sizeof native);
    return result;
}

void abandon_cleanup(_Unwind_Control_Block *exception) {
    EhGlobals *const globals = __cxa_get_globals();
    CxaException *const header = header_of(exception);
    if (globals->propagating != header) return;
    globals->propagating = header->next_propagating;
    header->next_propagating = nullptr;
    header->propagation_count = 0;
}

bool search_finds_catch(_Unwind_Context *context, _Unwind_Control_Block *thrown) {
    // The backtrace's own control block describes the frame (in the
    // virtual r12, as for a personality).
    const auto *frame = reinterpret_cast<const _Unwind_Control_Block *>(_Unwind_GetGR(context, UNWIND_POINTER_REG));
    if (frame->unwinder_cache.reserved2 != reinterpret_cast<uintptr_t>(&__gxx_personality_v0)) return false;
    RegisterSet copy = {};
    memcpy(&copy, context, kCopied);
    auto *scratch = reinterpret_cast<_Unwind_Context *>(&copy);
    // Should the unwinder's layout ever differ, the frame is taken to have
    // no catch clause rather than be misread.
    if (_Unwind_GetGR(scratch, 13) != _Unwind_GetGR(context, 13) ||
        _Unwind_GetGR(scratch, 15) != _Unwind_GetGR(context, 15))
        return false;
    thrown->pr_cache = frame->pr_cache;
    return __gxx_personality_v0(_US_VIRTUAL_UNWIND_FRAME, thrown, scratch) == _URC_HANDLER_FOUND;
}

}  // namespace zeb::seh::ehabi
