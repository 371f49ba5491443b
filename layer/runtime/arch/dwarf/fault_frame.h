// A fault on its way to the dispatcher: the record and the registers, put
// on the faulting thread's own stack below the interrupted frame.  The
// fault entry's unwind information reads the registers from the CONTEXT.
#pragma once

#include "core/internal.h"

namespace zeb::seh {

struct alignas(64) FaultFrame {
    EXCEPTION_RECORD record;
    CONTEXT context;
};

}  // namespace zeb::seh
