// RaiseException returns at once while a termination handler that the
// unwind entered is running.
#include "core/internal.h"

namespace zeb::variant {

__thread const __seh_record *finally_running;

}  // namespace zeb::variant
