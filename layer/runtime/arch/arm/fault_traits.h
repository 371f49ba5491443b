// 32-bit ARM: no red zone; a breakpoint exception carries no parameters.
#pragma once

#include "seh_types.h"

#include <stdint.h>

namespace zeb::seh {

// Bytes below the stack pointer that the interrupted code may still use.
constexpr uintptr_t kRedZone = 0;

// The NumberParameters of a STATUS_BREAKPOINT record of a fault.
constexpr DWORD kBreakpointParameters = 0;

}  // namespace zeb::seh
