// Unwind information saying that the interrupted registers are in a
// CONTEXT, for the fault entry of the DWARF targets: written with
// .cfi_escape, since the offsets come from the CONTEXT's C++ layout.
#pragma once

#include "seh_types.h"

#include <stddef.h>

namespace zeb::seh::cfi {

// Offsets into the CONTEXT as two-byte signed LEB128, whatever their size.
constexpr int sleb_low(size_t offset) { return int(offset & 0x7F) | 0x80; }
constexpr int sleb_high(size_t offset) { return int(offset >> 7) & 0x7F; }
static_assert(sizeof(CONTEXT) < 8192, "two LEB128 bytes reach every register");

}  // namespace zeb::seh::cfi

// DW_CFA_def_cfa_expression: the interrupted stack pointer, read from the
// CONTEXT at `base` + offset.
#define CFA_FROM_CONTEXT(base_op, field)                                                                   \
    __asm__ volatile(".cfi_escape 0x0f, 4, %c0, %c1, %c2, 0x06" ::"i"(base_op),                            \
                     "i"(zeb::seh::cfi::sleb_low(offsetof(CONTEXT, field))),                               \
                     "i"(zeb::seh::cfi::sleb_high(offsetof(CONTEXT, field))))
// DW_CFA_expression: register `reg` is saved in the CONTEXT at `base` + offset.
#define REGISTER_IN_CONTEXT(base_op, reg, field)                                                           \
    __asm__ volatile(".cfi_escape 0x10, %c0, 3, %c1, %c2, %c3" ::"i"(reg), "i"(base_op),                   \
                     "i"(zeb::seh::cfi::sleb_low(offsetof(CONTEXT, field))),                               \
                     "i"(zeb::seh::cfi::sleb_high(offsetof(CONTEXT, field))))
