// A C++ throw as Windows' structured exception 0xE06D7363: before the
// C++ run-time throws, the guarded blocks between the throw and the catch
// clause that would take it are asked, innermost first; a try/except whose
// filter accepts takes the exception (the unwind to it runs the destructors
// and termination handlers it passes), and the object is destroyed once,
// when the handler is entered.  A rethrow is offered the same way.
// Programs link with --wrap=__cxa_throw and --wrap=__cxa_rethrow.
#include "core/raise_and_unwind.h"
#include "cxx/cxx_abi.h"
#include "cxx/cxx_bridge.h"
#include "cxx/unwinder_arch.h"

#include <cxxabi.h>
#include <stdint.h>
#include <unwind.h>

#include <typeinfo>

// The layer's own rethrows (a guarded block's clauses passing an exception
// on) are not new throws: the filters have been asked already.
extern "C" void __seh_rethrow() { __real___cxa_rethrow(); }

namespace zeb::seh {
namespace {

// Where the C++ run-time would take the exception, as a record of the chain:
// the guarded blocks before it are asked first.  A function holds either
// guarded blocks or C++ try statements, never both, so a catch clause found
// in a frame with guarded blocks of C++ code is one of their own (which
// rethrow).
struct CatchSearch {
    uintptr_t thrower;   // the wrapper's frame pointer: the search starts above it
    _Unwind_Exception *exception;
    __seh_record *next;
    __seh_record *limit;
};

_Unwind_Reason_Code find_catch(_Unwind_Context *context, void *argument) {
    CatchSearch &s = *static_cast<CatchSearch *>(argument);
    if (is_wrapper_frame(context, s.thrower)) return _URC_NO_REASON;
    const uintptr_t fp = frame_pointer_of(context);
    bool caught = frame_catches(context, s.exception);
    for (__seh_record *r = s.next; r && uintptr_t(r->frame) <= fp; r = s.next) {
        // A catch (...) record is the frame's own catch clause.
        if ((r->flags & __SEH_CXX_UNWINDS) && r->kind != __SEH_CATCH_ALL) caught = false;
        s.next = r->prev;
    }
    if (caught) {
        s.limit = s.next;
        return _URC_END_OF_STACK;
    }
    return s.next ? _URC_NO_REASON : _URC_END_OF_STACK;
}

// Offers a C++ exception, about to be thrown or rethrown from the frame
// `thrower`, to the try/except blocks before the catch clause that would
// take it.  Returns when none takes it.  `taken` is what the handler's
// entry destroys: the object of a new throw; nothing for a rethrow, whose
// object its catch clause still owns (the unwind out of that clause ends
// it).
void offer_to_filters(void *object, std::type_info *type, void *thrower, void *address, PendingCxxObject taken) {
    CatchSearch search = {uintptr_t(thrower), static_cast<_Unwind_Exception *>(object) - 1, __seh_head, nullptr};
    _Unwind_Backtrace(find_catch, &search);
    bool asked = false;
    for (__seh_record *r = __seh_head; r && r != search.limit; r = r->prev) asked |= r->kind == __SEH_EXCEPT;
    if (!asked) return;
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = 0xE06D7363;
    record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
    record.ExceptionAddress = address;
    record.ExceptionInformation[0] = 0x19930520;   // the ABI's magic number
    record.ExceptionInformation[1] = ULONG_PTR(object);
    record.ExceptionInformation[2] = ULONG_PTR(type);   // the throw information: the type
    record.NumberParameters = sizeof(void *) == 8 ? 4 : 3;   // 64-bit: an image base, 0 here
    const PendingCxxObject saved = exchange_pending_cxx_object(taken);
    dispatch_raised(&record, thrower, address, search.limit, true);
    exchange_pending_cxx_object(saved);
}

}  // namespace
}  // namespace zeb::seh

using namespace zeb::seh;

extern "C" [[noreturn]] __attribute__((noinline)) void __wrap___cxa_throw(void *object, std::type_info *type,
                                                                           void (*destroy)(void *)) {
    if (__seh_head && on_thread_stack()) {
        __cxa_init_primary_exception(object, type, destroy);
        offer_to_filters(object, type, __builtin_frame_address(0), __builtin_return_address(0), {object, destroy});
    }
    __real___cxa_throw(object, type, destroy);
}

// `throw;` is a throw too: the exception being handled is offered again to
// the try/except blocks before the catch clause that takes it next, as the
// Windows raises it again.  A structured exception that a catch (...) took
// is raised again as itself.
extern "C" [[noreturn]] __attribute__((noinline)) void __wrap___cxa_rethrow() {
    if (ZEB_VARIANT(CXX_DESTROY_TWICE_ON_RETHROW) || ZEB_VARIANT(CXX_LEAK_ON_NEW_THROW)) zeb::variant::rethrowing();
    std::type_info *type = __seh_head && on_thread_stack() ? abi::__cxa_current_exception_type() : nullptr;
    if (type && *type == typeid(StructuredException)) raise_again(__builtin_frame_address(0), __builtin_return_address(0));
    if (type && !is_layer_unwind(*type))
        offer_to_filters(current_exception_object(), type, __builtin_frame_address(0), __builtin_return_address(0), {});
    __real___cxa_rethrow();
}

