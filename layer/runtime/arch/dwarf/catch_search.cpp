// The search for a throw's catch clause on the DWARF unwinders: the
// backtrace's CFA places the frame, and the C++ personality, asked in the
// search phase, tells whether it catches.
#include "cxx/cxx_abi.h"
#include "cxx/unwinder_arch.h"

namespace zeb::seh {

bool is_wrapper_frame(_Unwind_Context *context, uintptr_t thrower) { return _Unwind_GetCFA(context) <= thrower; }

bool frame_catches(_Unwind_Context *context, _Unwind_Exception *exception) {
    return _Unwind_GetLanguageSpecificData(context) &&
           __gxx_personality_v0(1, _UA_SEARCH_PHASE, exception->exception_class, exception, context) ==
               _URC_HANDLER_FOUND;
}

}  // namespace zeb::seh
