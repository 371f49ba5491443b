// Unwinds of this layer (an accepted exception, a long jump) carried out by
// the C++ unwinder, so that the destructors of the objects they leave run,
// interleaved with termination handlers in scope order, as with the
// platform's asynchronous model.
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
// --wrap=__gxx_personality_v0) makes the decisions that must come first
// there.
#include "cxx_unwind.h"

#include "call_sites.h"

#include "cxx_ehabi.h"

#include <cxxabi.h>
#include <stdint.h>
#include <unwind.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

#include <atomic>
#include <exception>
#include <new>
#include <typeinfo>

namespace zeb::seh {

__thread void *raise_origin;

namespace {
__thread PendingCxxObject pending;
}  // namespace

PendingCxxObject exchange_pending_cxx_object(PendingCxxObject object) {
    const PendingCxxObject old = pending;
    pending = object;
    return old;
}

void *current_exception_object() {
    // Only the pointer: no reference is held, since an unwind may leave the
    // caller's frame without running its destructors.
    const std::exception_ptr current = std::current_exception();
    return *reinterpret_cast<void *const *>(&current);
}

void release_pending_cxx_object() {
    const PendingCxxObject p = pending;
    if (!p.object) return;
    pending = {};
    if (p.destroy) p.destroy(p.object);
    abi::__cxa_free_exception(p.object);
}

}  // namespace zeb::seh

namespace zeb::seh {

namespace {

// The unwind's exception object: its goal, and the unwind it interrupted
// (a destructor or handler that raised while another unwind passed it).
struct Unwinding {
    __seh_unwind_goal goal;
    Unwinding *outer;
};

__thread Unwinding *current;

void forget(void *object) {
    for (Unwinding **u = &current; *u; u = &(*u)->outer) {
        if (*u == object) {
            *u = (*u)->outer;
            return;
        }
    }
}

struct EhGlobals {
    void *caught;
    unsigned int uncaught;
};
extern "C" EhGlobals *__cxa_get_globals() noexcept;
extern "C" void *__cxa_init_primary_exception(void *object, std::type_info *type, void (*destroy)(void *)) noexcept;

_Unwind_Exception *header_of(void *object) { return static_cast<_Unwind_Exception *>(object) - 1; }

// Drops the in-flight object when the unwind leaves the unwinder's hands.
void drop(_Unwind_Exception *exception) {
#if defined(__arm__)
    ehabi::abandon_cleanup(exception);
#endif
    __cxa_get_globals()->uncaught -= 1;
    _Unwind_DeleteException(exception);
}

Site call_site(_Unwind_Context *context) {
    int before = 0;
    uintptr_t ip = _Unwind_GetIPInfo(context, &before);
    if (!before) --ip;
    return call_site_at(static_cast<const uint8_t *>(_Unwind_GetLanguageSpecificData(context)), ip,
                        _Unwind_GetRegionStart(context));
}

bool personality_would_terminate(_Unwind_Context *context) { return call_site(context) == Site::Terminate; }

#if !defined(__arm__)
// Addresses in frames known to need nothing of the unwinder, learnt by the
// unwinds that passed them; a fixed table, overwritten on collision.
constexpr size_t kPlainSlots = 4096;
std::atomic<uintptr_t> plain_addresses[kPlainSlots];

size_t slot_of(uintptr_t ip) { return (ip ^ (ip >> 12)) % kPlainSlots; }

void learn(_Unwind_Context *context) {
    int before = 0;
    const uintptr_t ip = _Unwind_GetIPInfo(context, &before);
    if (before) return;   // a signal frame: never on a raise's path
    std::atomic<uintptr_t> &slot = plain_addresses[slot_of(ip)];
    if (call_site(context) == Site::LandingPad) {
        uintptr_t expected = ip;
        slot.compare_exchange_strong(expected, 0, std::memory_order_relaxed);
    } else {
        slot.store(ip, std::memory_order_relaxed);
    }
}

bool known_plain(uintptr_t ip) { return ip && plain_addresses[slot_of(ip)].load(std::memory_order_relaxed) == ip; }
#endif

[[noreturn]] void hand_over(_Unwind_Exception *exception, const __seh_unwind_goal &goal) {
    const __seh_unwind_goal copy = goal;
    drop(exception);
    unwind_by_records(copy);
}

}  // namespace

uintptr_t frame_pointer_of(_Unwind_Context *context) {
#if defined(__x86_64__)
    return _Unwind_GetGR(context, 6);    // rbp
#elif defined(__aarch64__)
    return _Unwind_GetGR(context, 29);   // x29
#else
    // Thumb-2 code keeps its frame address in r7 (GCC's Thumb frame is not
    // a frame record: r7 points below the saved registers).
    return _Unwind_GetGR(context, 7);
#endif
}

namespace {

_Unwind_Reason_Code stop(int, _Unwind_Action actions, _Unwind_Exception_Class, _Unwind_Exception *exception,
                         _Unwind_Context *context, void *parameter) {
    const __seh_unwind_goal &goal = static_cast<Unwinding *>(parameter)->goal;
    if (actions & _UA_END_OF_STACK) hand_over(exception, goal);
#if !defined(__arm__)
    learn(context);
#endif
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
#if !defined(__arm__)
    // (EHABI has called the personality already: the wrapper below asks.)
    if (personality_would_terminate(context)) hand_over(exception, goal);
#endif
    return _URC_NO_REASON;
}

void destroy_unwinding(void *object) { forget(object); }

// The forced unwind's own type: no catch clause names it.
struct LayerUnwind {};


}  // namespace

bool is_layer_unwind(const std::type_info &type) { return type == typeid(LayerUnwind); }

namespace {
// The goal's own frame holds nothing for the unwinder between the call
// and the target: the target block's body, or the whole function that
// called setjmp, creates no object with a destructor.
bool goal_needs_nothing(const __seh_unwind_goal &goal) {
    if (goal.jump) return goal.jump->frame_without_destructors;
    return goal.target && (goal.target->flags & __SEH_NO_DESTRUCTORS);
}
}  // namespace

#if defined(__arm__)
// Thumb-2 frames are not frame records: they are walked by their unwind
// tables.
bool path_is_plain(const __seh_unwind_goal &goal, void *origin) {
    if (!origin) return false;
    return ehabi::path_is_plain(uintptr_t(origin), uintptr_t(goal.jump ? goal.jump->frame : goal.target->frame),
                                goal_needs_nothing(goal));
}
#else
bool path_is_plain(const __seh_unwind_goal &goal, void *origin) {
    // Frame records: the caller's frame address, then the return address.
    const StackBounds stack = thread_stack_bounds();
    const uintptr_t goal_frame = uintptr_t(goal.jump ? goal.jump->frame : goal.target->frame);
    uintptr_t fp = uintptr_t(origin);
    for (int depth = 0; fp && depth < 64; ++depth) {
        if (fp < stack.low || fp + 2 * sizeof(void *) > stack.high || fp % sizeof(void *)) return false;
        const uintptr_t caller = reinterpret_cast<uintptr_t *>(fp)[0];
        const uintptr_t ip = reinterpret_cast<uintptr_t *>(fp)[1];
        if (caller == goal_frame) return known_plain(ip) || goal_needs_nothing(goal);
        if (!known_plain(ip)) return false;
        if (caller <= fp || caller > goal_frame) return false;
        fp = caller;
    }
    return false;
}
#endif

void unwind_with_destructors(const __seh_unwind_goal &goal) {
    // A fault reported on the alternate signal stack is unwound the old way.
    if (!on_thread_stack()) return;
    void *object = abi::__cxa_allocate_exception(sizeof(Unwinding));
    Unwinding *u = new (object) Unwinding{goal, current};
    int *references = static_cast<int *>(
        __cxa_init_primary_exception(object, const_cast<std::type_info *>(&typeid(LayerUnwind)), destroy_unwinding));
    *references = 1;
    current = u;
    __cxa_get_globals()->uncaught += 1;
    _Unwind_Exception *exception = header_of(object);
    // What a catch clause binds to (the C++ ABI's adjustedPtr, just before
    // the unwinder's header; EHABI's barrier cache): the personality leaves
    // it to the thrower in a forced unwind.
#if defined(__arm__)
    ehabi::set_caught_object(exception, object);
#else
    reinterpret_cast<void **>(exception)[-1] = object;
#endif
#if defined(__SANITIZE_ADDRESS__)
    // As for a throw: the frames left keep no poisoned stack behind.
    __asan_handle_no_return();
#endif
    _Unwind_ForcedUnwind(exception, stop, u);
    // The unwinder could not start: the record walk does it all.
    current = u->outer;
    drop(exception);
}

}  // namespace zeb::seh

#if defined(__arm__)
extern "C" _Unwind_Reason_Code __real___gxx_personality_v0(_Unwind_State, _Unwind_Control_Block *,
                                                           _Unwind_Context *);

// What the stop function decides before a frame's personality runs on the
// DWARF unwinders, for a frame that the layer's forced unwind starts to
// leave: the personality would call terminate there.
extern "C" _Unwind_Reason_Code __wrap___gxx_personality_v0(_Unwind_State state, _Unwind_Control_Block *exception,
                                                           _Unwind_Context *context) {
    using namespace zeb::seh;
    // The layer's own: a forced unwind (not a backtrace's virtual one) with
    // the layer's stop function.
    if ((state & _US_ACTION_MASK) == _US_VIRTUAL_UNWIND_FRAME ||
        exception->unwinder_cache.reserved1 != reinterpret_cast<uintptr_t>(&stop))
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
#else
extern "C" _Unwind_Reason_Code __real___gxx_personality_v0(int, _Unwind_Action, _Unwind_Exception_Class,
                                                           _Unwind_Exception *, _Unwind_Context *);

// The C++ personality as is: the stop function sees each frame first.
extern "C" _Unwind_Reason_Code __wrap___gxx_personality_v0(int version, _Unwind_Action actions,
                                                           _Unwind_Exception_Class exception_class,
                                                           _Unwind_Exception *exception, _Unwind_Context *context) {
    return __real___gxx_personality_v0(version, actions, exception_class, exception, context);
}
#endif

using namespace zeb::seh;

extern "C" int __seh_unwind_passes(__seh_record *record) {
    if (!current || __seh_head != record) return 0;
    record->goal = current->goal;
    __seh_head = record->prev;
    return 1;
}

extern "C" int __seh_unwind_arrived(__seh_record *record) {
    if (!current || current->goal.target != record || current->goal.jump) return 0;
    __seh_head = record->prev;
    release_pending_cxx_object();
    return 1;
}
