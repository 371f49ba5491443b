// Unwinds of this layer (an accepted exception, a long jump) carried out by
// the C++ unwinder, so that the destructors of the objects they leave run,
// interleaved with termination handlers in scope order, as with Windows'
// asynchronous model.
//
// The unwind is a forced unwind of a C++ exception object of our own.  In
// lowered C++ code each guarded block has a clause that catches it: a
// try/finally runs its handler and starts the unwind afresh, a try/except
// that is the target enters its handler.  The stop function sees every frame
// before its personality does and takes the guarded blocks of C code the old
// way (a jump to their landing pads), arrives at a long jump's target frame,
// and hands the rest of the unwind to the record walk when a frame's
// personality would call terminate (a fault in a noexcept function or in a
// destructor run by a C++ unwind) or the unwinder cannot go on.
//
// The ARM unwinder (EHABI) calls a frame's personality before the stop
// function; the layer's wrapper of the C++ personality (programs link with
// --wrap=__gxx_personality_v0, arch/arm/personality_wrapper.cpp) makes the
// decisions that must come first there.
#include "cxx/forced_unwind.h"

#include "core/raise_and_unwind.h"
#include "cxx/cxx_abi.h"
#include "cxx/unwinder_arch.h"

#include <cxxabi.h>
#include <stdint.h>
#include <unwind.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

#include <new>
#include <typeinfo>

namespace zeb::seh {

__thread Unwinding *current_unwinding;

namespace {

void forget(void *object) {
    for (Unwinding **u = &current_unwinding; *u; u = &(*u)->outer) {
        if (*u == object) {
            *u = (*u)->outer;
            return;
        }
    }
}

_Unwind_Exception *header_of(void *object) { return static_cast<_Unwind_Exception *>(object) - 1; }

// Drops the in-flight object when the unwind leaves the unwinder's hands.
void drop(_Unwind_Exception *exception) {
    leave_unwinder(exception);
    __cxa_get_globals()->uncaught -= 1;
    _Unwind_DeleteException(exception);
}

void destroy_unwinding(void *object) { forget(object); }

// The forced unwind's own type: no catch clause names it.
struct LayerUnwind {};

}  // namespace

void hand_over(_Unwind_Exception *exception, const __seh_unwind_goal &goal) {
    const __seh_unwind_goal copy = goal;
    drop(exception);
    unwind_by_records(copy);
}

_Unwind_Reason_Code forced_unwind_stop(int, _Unwind_Action actions, _Unwind_Exception_Class,
                                       _Unwind_Exception *exception, _Unwind_Context *context, void *parameter) {
    const __seh_unwind_goal &goal = static_cast<Unwinding *>(parameter)->goal;
    if (actions & _UA_END_OF_STACK) hand_over(exception, goal);
    learn_frame(context);
    // Records with this frame's frame pointer, or a lower one, belong to it
    // or to frames already left: the unwind is about to leave them.
    const uintptr_t fp = frame_pointer_of(context);
    for (;;) {
        __seh_record *r = __seh_head;
        if (goal.jump ? chain_reaches(goal.jump->chain, r) || !r : r == goal.target) {
            if (goal.jump && uintptr_t(goal.jump->frame) <= fp) hand_over(exception, goal);
            if (!goal.jump && !(r->flags & __SEH_CXX_UNWINDS) && uintptr_t(r->frame) <= fp) hand_over(exception, goal);
            break;
        }
        if (!r || uintptr_t(r->frame) > fp || (r->flags & __SEH_CXX_UNWINDS)) break;
        // A guarded block of C code: its landing pad takes the unwind on.
        hand_over(exception, goal);
    }
    if (terminate_before_personality(context)) hand_over(exception, goal);
    return _URC_NO_REASON;
}

bool is_layer_unwind(const std::type_info &type) { return type == typeid(LayerUnwind); }

void unwind_with_destructors(const __seh_unwind_goal &goal) {
    // A fault reported on the alternate signal stack is unwound the old way.
    if (!on_thread_stack()) return;
    void *object = abi::__cxa_allocate_exception(sizeof(Unwinding));
    Unwinding *u = new (object) Unwinding{goal, current_unwinding};
    int *references = static_cast<int *>(
        __cxa_init_primary_exception(object, const_cast<std::type_info *>(&typeid(LayerUnwind)), destroy_unwinding));
    *references = 1;
    current_unwinding = u;
    __cxa_get_globals()->uncaught += 1;
    _Unwind_Exception *exception = header_of(object);
    set_caught_object(exception, object);
#if defined(__SANITIZE_ADDRESS__)
    // As for a throw: the frames left keep no poisoned stack behind.
    __asan_handle_no_return();
#endif
    _Unwind_ForcedUnwind(exception, forced_unwind_stop, u);
    // The unwinder could not start: the record walk does it all.
    current_unwinding = u->outer;
    drop(exception);
}

}  // namespace zeb::seh
