// GCC's x86-64 trampoline: [endbr64;] mov(abs) $code, %r11; movabs $chain,
// %r10; jmp *%r11.
#include "core/nested_trampoline.h"

namespace zeb::seh {

bool decode_trampoline(uintptr_t t, NestedFunction *out) {
    if (read_at<uint32_t>(t) == 0xFA1E0FF3) t += 4;   // endbr64
    uintptr_t code;
    if (read_at<uint16_t>(t) == 0xBB49) {             // movabs $code, %r11
        code = read_at<uint64_t>(t + 2);
        t += 10;
    } else if (read_at<uint16_t>(t) == 0xBB41) {      // mov $code, %r11d
        code = read_at<uint32_t>(t + 2);
        t += 6;
    } else {
        return false;
    }
    if (read_at<uint16_t>(t) != 0xBA49) return false;  // movabs $chain, %r10
    const uintptr_t chain = read_at<uint64_t>(t + 2);
    t += 10;
    if ((read_at<uint32_t>(t) & 0xFFFFFF) != 0xE3FF49) return false;  // jmp *%r11
    *out = {reinterpret_cast<void *>(code), reinterpret_cast<void *>(chain)};
    return true;
}

}  // namespace zeb::seh
