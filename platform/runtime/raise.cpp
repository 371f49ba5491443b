// RaiseException: a software exception, dispatched from the raiser's frame.
#include "cxx_unwind.h"

extern "C" __attribute__((noinline)) void RaiseException(DWORD code, DWORD flags, DWORD count,
                                                         const ULONG_PTR *arguments) {
    if (ZEB_FAULT(FINALLY_EXCEPTION_LOST) && zeb::variant::finally_running) return;
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = code;
    record.ExceptionFlags = flags & EXCEPTION_NONCONTINUABLE;
    record.ExceptionAddress = __builtin_return_address(0);
    if (arguments) {
        record.NumberParameters = count > EXCEPTION_MAXIMUM_PARAMETERS ? EXCEPTION_MAXIMUM_PARAMETERS : count;
        for (DWORD i = 0; i < record.NumberParameters; ++i) record.ExceptionInformation[i] = arguments[i];
    }
    CONTEXT context = {};
    context.ContextFlags = CONTEXT_CONTROL;
    zeb::seh::context_pc(context) = reinterpret_cast<ULONG_PTR>(record.ExceptionAddress);
    zeb::seh::context_sp(context) = reinterpret_cast<ULONG_PTR>(__builtin_frame_address(0));
    zeb::seh::context_fp(context) = zeb::seh::context_sp(context);
    void *const outer = zeb::seh::raise_origin;
    zeb::seh::raise_origin = __builtin_frame_address(0);
    zeb::seh::dispatch_exception(&record, &context);
    zeb::seh::raise_origin = outer;
}
