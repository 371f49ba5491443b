// The C++ object that a try/except took from a throw: kept until the
// handler is entered, then destroyed there, once.
#include "cxx/cxx_bridge.h"

#include <cxxabi.h>

#include <exception>

namespace zeb::seh {

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
