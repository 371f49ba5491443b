// What a C++ frame holds for an unwind at one address, from its call-site
// table.
#pragma once

#include <stdint.h>
#include <unwind.h>

namespace zeb::seh {

enum class Site { Nothing, LandingPad, Terminate };

// What the call-site table `lsda` (null: none) of the function starting at
// `start` holds for the address `ip`: nothing (no landing pad), a landing
// pad (destructors, catch clauses or both: which of them runs cannot be
// told from the table, since the compiler leaves a cleanup out of the
// action chain when one further out leads to the same pad), or no entry at
// all, where the C++ personality calls terminate (a noexcept function, or
// code running during a C++ unwind: a destructor called by a cleanup).
Site call_site_at(const uint8_t *lsda, uintptr_t ip, uintptr_t start);

// What the frame an unwinder context describes holds at its call.
Site call_site(_Unwind_Context *context);

// True when the frame's personality would call terminate there.
bool personality_would_terminate(_Unwind_Context *context);

}  // namespace zeb::seh
