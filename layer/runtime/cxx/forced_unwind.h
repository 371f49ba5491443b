// The layer's unwinds as forced unwinds of a C++ exception object of the
// layer's own (forced_unwind.cpp); what the architecture's personality
// wrapper and the entry points of lowered code see of them.
#pragma once

#include "cxx/cxx_bridge.h"

#include <unwind.h>

namespace zeb::seh {

// The unwind's exception object: its goal, and the unwind it interrupted
// (a destructor or handler that raised while another unwind passed it).
struct Unwinding {
    __seh_unwind_goal goal;
    Unwinding *outer;
};

// The innermost unwind of this thread that the C++ unwinder carries.
extern __thread Unwinding *current_unwinding;

// The stop function of the layer's forced unwinds.
_Unwind_Reason_Code forced_unwind_stop(int, _Unwind_Action actions, _Unwind_Exception_Class,
                                       _Unwind_Exception *exception, _Unwind_Context *context, void *parameter);

// Takes the unwind out of the unwinder's hands: the record walk does the
// rest.
[[noreturn]] void hand_over(_Unwind_Exception *exception, const __seh_unwind_goal &goal);

}  // namespace zeb::seh
