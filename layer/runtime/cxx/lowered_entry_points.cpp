// What the clauses of lowered C++ code ask when the layer's forced unwind
// reaches a guarded block: pass it on (a try/finally runs its handler and
// starts the unwind afresh), or take it (the target try/except enters its
// handler).
#include "cxx/forced_unwind.h"

using namespace zeb::seh;

extern "C" int __seh_unwind_passes(__seh_record *record) {
    if (!current_unwinding || __seh_head != record) return 0;
    record->goal = current_unwinding->goal;
    __seh_head = record->prev;
    return 1;
}

extern "C" int __seh_unwind_arrived(__seh_record *record) {
    if (!current_unwinding || current_unwinding->goal.target != record || current_unwinding->goal.jump) return 0;
    __seh_head = record->prev;
    release_pending_cxx_object();
    return 1;
}
