// RaiseException: a software exception, dispatched from the raiser's frame;
// and the dispatch of every exception a call raises (a C++ throw, a
// rethrow).
#include "core/raise_and_unwind.h"

namespace zeb::seh {
__thread void *raise_origin;
}  // namespace zeb::seh

extern "C" __attribute__((noinline)) void RaiseException(DWORD code, DWORD flags, DWORD count,
                                                         const ULONG_PTR *arguments) {
    if (ZEB_VARIANT(FINALLY_EXCEPTION_LOST) && zeb::variant::finally_running) return;
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = code;
    record.ExceptionFlags = flags & EXCEPTION_NONCONTINUABLE;
    record.ExceptionAddress = __builtin_return_address(0);
    if (arguments) {
        record.NumberParameters = count > EXCEPTION_MAXIMUM_PARAMETERS ? EXCEPTION_MAXIMUM_PARAMETERS : count;
        for (DWORD i = 0; i < record.NumberParameters; ++i) record.ExceptionInformation[i] = arguments[i];
    }
    zeb::seh::dispatch_raised(&record, __builtin_frame_address(0), record.ExceptionAddress);
}

void zeb::seh::dispatch_raised(EXCEPTION_RECORD *record, void *frame, void *address, const __seh_record *cxx_limit,
                               bool cxx) {
    CONTEXT context = {};
    context.ContextFlags = CONTEXT_CONTROL;
    context_pc(context) = reinterpret_cast<ULONG_PTR>(address);
    context_sp(context) = reinterpret_cast<ULONG_PTR>(frame);
    context_fp(context) = context_sp(context);
    void *const outer = raise_origin;
    raise_origin = frame;
    dispatch_exception(record, &context, cxx_limit, cxx);
    raise_origin = outer;
}
