// Unwinds that run C++ destructors, and the C++ exceptions taken by
// try/except blocks.
#pragma once

#include "internal.h"

// The unwinder's unwinds need its CFA and a forced unwind that the C++
// run-time's catch clauses see; the 32-bit ARM unwinder (EHABI) keeps the
// record walk.
#if defined(__x86_64__) || defined(__aarch64__)
#define ZEB_CXX_UNWIND 1
#else
#define ZEB_CXX_UNWIND 0
#endif

namespace zeb::seh {

// Carries the unwind out with the C++ unwinder; returns only when it could
// not start (the record walk then does it all).
void unwind_with_destructors(const __seh_unwind_goal &goal);

// The unwind by the chain of records alone: each termination handler is
// entered through its landing pad.
[[noreturn]] void unwind_by_records(const __seh_unwind_goal &goal);

// A C++ object thrown and taken by a try/except: destroyed when the handler
// is entered.
struct PendingCxxObject {
    void *object;
    void (*destroy)(void *);
};
PendingCxxObject exchange_pending_cxx_object(PendingCxxObject object);
void release_pending_cxx_object();

}  // namespace zeb::seh
