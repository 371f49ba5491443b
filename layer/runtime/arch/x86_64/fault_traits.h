// x86-64: the red zone of the ABI, and the one parameter of a breakpoint
// exception (BREAKPOINT_BREAK) that Windows gives an int3.
#pragma once

#include "seh_types.h"

#include <stdint.h>

namespace zeb::seh {

// Bytes below the stack pointer that the interrupted code may still use.
constexpr uintptr_t kRedZone = 128;

// The NumberParameters of a STATUS_BREAKPOINT record of a fault.
constexpr DWORD kBreakpointParameters = 1;

}  // namespace zeb::seh
