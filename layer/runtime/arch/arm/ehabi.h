// What the layer's C++ unwinds need on 32-bit ARM beyond the interface the
// DWARF unwinders share.  The ARM unwinder (EHABI) calls a frame's
// personality before the stop function of a forced unwind, and the
// personality unwinds the frame itself when it answers "continue"; the C++
// run-time's ARM side keeps the caught object in the unwinder's header, and
// gives an exception that a forced unwind carries a class of its own.
#pragma once

#include <stdint.h>
#include <unwind.h>

namespace zeb::seh::ehabi {

// The unwinder's virtual register set is opaque; its stack pointer is what
// a backtrace's context gives reliably (its CFA is kept only by a forced
// unwind).
inline uintptr_t stack_pointer_of(_Unwind_Context *context) { return _Unwind_GetGR(context, 13); }

// Binds `object` as what a catch clause receives (__gxx_caught_object).
void set_caught_object(_Unwind_Control_Block *exception, void *object);

// Calls a C++ frame's personality for the layer's forced unwind so that the
// exception stays the C++ run-time's own: the personality marks an
// exception in a forced unwind as foreign, and the run-time can hold only
// one foreign exception at a time (a second, or one caught while a C++
// exception is, calls terminate).  The object keeps its class, and a
// cleanup begun for it is stacked as a native exception's is.
_Unwind_Reason_Code personality_keeping_class(personality_routine personality, _Unwind_State state,
                                              _Unwind_Control_Block *exception, _Unwind_Context *context);

// Undoes the cleanup the personality began for the frame being left, when
// the unwind leaves the unwinder's hands there (its landing pad never runs).
void abandon_cleanup(_Unwind_Control_Block *exception);

// True when the C++ frame that a backtrace's context describes has the
// catch clause (or the throw() or noexcept list) that would stop `thrown`:
// its personality, asked in the search phase, on a copy of the registers,
// since it unwinds the frame itself when it finds nothing and the backtrace
// does so again.
bool search_finds_catch(_Unwind_Context *context, _Unwind_Control_Block *thrown);

// True when every frame from the caller of the frame whose address (r7) is
// `origin` up to the frame whose address is `goal_frame` holds nothing for
// the unwinder at its call (no cleanup, nothing that would call terminate):
// the frames are walked by their unwind tables, as the unwinder would.
// `goal_needs_nothing`: the goal's frame is known to need nothing.
bool path_is_plain(uintptr_t origin, uintptr_t goal_frame, bool goal_needs_nothing);

}  // namespace zeb::seh::ehabi
