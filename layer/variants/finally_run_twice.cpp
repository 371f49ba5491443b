// The unwind enters each termination handler twice: the record stays on the
// chain the first time.
#include "core/internal.h"

namespace zeb::variant {
namespace {
__thread const __seh_record *entered_once;
}

bool run_again(const __seh_record *r) {
    if (r->kind != __SEH_FINALLY) return false;
    if (entered_once == r) {
        entered_once = nullptr;
        return false;
    }
    entered_once = r;
    return true;
}

}  // namespace zeb::variant
