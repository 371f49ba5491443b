// The run-time's own failures are never silent: one line on standard
// error, then the process ends as a crash does.
#pragma once

#include <stdint.h>

namespace zeb::seh {

// Safe to call from a signal handler.
[[noreturn]] void runtime_failure(const char *what, int sig, uintptr_t pc);

}  // namespace zeb::seh
