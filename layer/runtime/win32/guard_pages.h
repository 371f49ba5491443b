// Guard pages (PAGE_GUARD) are mapped without access; the fault handler
// asks here first whether a fault hit one.
#pragma once

#include <stdint.h>

namespace zeb::seh {

// True when `address` lies in a guard page: the guard is lifted (the page
// gets its protection back, so the access succeeds when retried) and the
// fault is reported as STATUS_GUARD_PAGE_VIOLATION.  Called in the handler.
bool take_guard_page(uintptr_t address);

}  // namespace zeb::seh
