// GCC's AArch64 trampoline: the code and the static chain are loaded from
// literals after the instructions.
#include "core/nested_trampoline.h"

namespace zeb::seh {

bool decode_trampoline(uintptr_t t, NestedFunction *out) {
    // [bti c;] ldr x17, =code; ldr x18, =chain; br x17
    if (read_at<uint32_t>(t) == 0xD503245F) t += 4;
    const uint32_t load_code = read_at<uint32_t>(t), load_chain = read_at<uint32_t>(t + 4);
    if ((load_code & 0xFF00001F) != 0x58000011 || (load_chain & 0xFF00001F) != 0x58000012 ||
        read_at<uint32_t>(t + 8) != 0xD61F0220)
        return false;
    const uintptr_t code_at = t + ((load_code >> 5) & 0x7FFFF) * 4;
    const uintptr_t chain_at = t + 4 + ((load_chain >> 5) & 0x7FFFF) * 4;
    *out = {read_at<void *>(code_at), read_at<void *>(chain_at)};
    return true;
}

}  // namespace zeb::seh
