// GCC's Thumb-2 trampoline: the static chain and the code are loaded from
// literals after the instructions.
#include "core/nested_trampoline.h"

namespace zeb::seh {

bool decode_trampoline(uintptr_t t, NestedFunction *out) {
    // Thumb-2: ldr.w ip, [pc, #n]; ldr.w pc, [pc, #m] (pc reads 4 ahead, word aligned)
    t &= ~uintptr_t(1);
    const uint16_t a0 = read_at<uint16_t>(t), a1 = read_at<uint16_t>(t + 2);
    const uint16_t b0 = read_at<uint16_t>(t + 4), b1 = read_at<uint16_t>(t + 6);
    if (a0 != 0xF8DF || (a1 & 0xF000) != 0xC000 || b0 != 0xF8DF || (b1 & 0xF000) != 0xF000) return false;
    const uintptr_t chain_at = ((t + 4) & ~uintptr_t(3)) + (a1 & 0xFFF);
    const uintptr_t code_at = ((t + 8) & ~uintptr_t(3)) + (b1 & 0xFFF);
    *out = {read_at<void *>(code_at), read_at<void *>(chain_at)};
    return true;
}

}  // namespace zeb::seh
