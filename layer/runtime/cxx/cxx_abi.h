// The C++ run-time's and unwinder's entry points that the layer calls,
// declared once.  Their types that differ by unwinder (the per-thread
// globals, the personality routine) come from the architecture's
// cxx_abi_types.h.
#pragma once

#include "cxx_abi_types.h"

#include <typeinfo>

extern "C" {
// The per-thread exception globals (the C++ ABI's __cxa_eh_globals).
zeb::seh::EhGlobals *__cxa_get_globals() noexcept;
// Makes `object` a primary exception of `type`; returns its reference count.
void *__cxa_init_primary_exception(void *object, std::type_info *type, void (*destroy)(void *)) noexcept;

// The C++ run-time's own throw and rethrow, behind the layer's wrappers
// (programs link with --wrap=__cxa_throw and --wrap=__cxa_rethrow).
[[noreturn]] void __real___cxa_throw(void *, std::type_info *, void (*)(void *));
[[noreturn]] void __real___cxa_rethrow();

// The C++ personality, and the layer's wrapper around it (programs link with
// --wrap=__gxx_personality_v0).
zeb::seh::PersonalityRoutine __gxx_personality_v0;
zeb::seh::PersonalityRoutine __real___gxx_personality_v0;
zeb::seh::PersonalityRoutine __wrap___gxx_personality_v0;
}
