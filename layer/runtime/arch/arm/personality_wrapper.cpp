// What the stop function decides before a frame's personality runs on the
// DWARF unwinders, decided here on the ARM unwinder (EHABI), which calls
// the personality first: for a frame that the layer's forced unwind starts
// to leave, the personality would call terminate there.
#include "cxx/call_sites.h"
#include "cxx/cxx_abi.h"
#include "cxx/forced_unwind.h"
#include "ehabi.h"

extern "C" _Unwind_Reason_Code __wrap___gxx_personality_v0(_Unwind_State state, _Unwind_Control_Block *exception,
                                                           _Unwind_Context *context) {
    using namespace zeb::seh;
    // The layer's own: a forced unwind (not a backtrace's virtual one) with
    // the layer's stop function.
    if ((state & _US_ACTION_MASK) == _US_VIRTUAL_UNWIND_FRAME ||
        exception->unwinder_cache.reserved1 != reinterpret_cast<uintptr_t>(&forced_unwind_stop))
        return __real___gxx_personality_v0(state, exception, context);
    if ((state & _US_ACTION_MASK) == _US_UNWIND_FRAME_STARTING) {
        // The frame's tables are read through the virtual r12.
        _Unwind_SetGR(context, UNWIND_POINTER_REG, reinterpret_cast<uintptr_t>(exception));
        if (personality_would_terminate(context)) {
            const auto *u = reinterpret_cast<const Unwinding *>(exception->unwinder_cache.reserved4);
            hand_over(exception, u->goal);
        }
    }
    return ehabi::personality_keeping_class(__real___gxx_personality_v0, state, exception, context);
}
