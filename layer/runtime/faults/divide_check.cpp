// Integer division by zero raises STATUS_INTEGER_DIVIDE_BY_ZERO on every
// architecture of Windows (its ARM compilers test the divisor; ARM's
// divide instructions do not trap).  Programs are built with the compiler's
// divide-by-zero check, which calls this instead of the sanitizer's report.
#include "core/internal.h"

extern "C" void __ubsan_handle_divrem_overflow(void *, void *, void *) {
    RaiseException(STATUS_INTEGER_DIVIDE_BY_ZERO, 0, 0, nullptr);
}
