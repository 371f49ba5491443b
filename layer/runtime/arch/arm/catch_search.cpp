// The search for a throw's catch clause on the ARM unwinder (EHABI): the
// backtrace's stack pointer places the frame, and the frame's personality
// is asked on a copy of the registers (ehabi.h).
#include "cxx/unwinder_arch.h"
#include "ehabi.h"

namespace zeb::seh {

bool is_wrapper_frame(_Unwind_Context *context, uintptr_t thrower) {
    return ehabi::stack_pointer_of(context) <= thrower;
}

bool frame_catches(_Unwind_Context *context, _Unwind_Exception *exception) {
    return ehabi::search_finds_catch(context, exception);
}

}  // namespace zeb::seh
