// C filters are GNU C nested functions.  Taking the address of one makes
// the compiler write a trampoline on the stack (load the static chain,
// jump to the code), and running it would need an executable stack.  The
// stack stays non-executable: the trampoline is read as data, and the code
// is called with its static chain directly.  The layouts are the
// compiler's trampoline templates for each architecture.
#include "internal.h"
#include "machine_stubs.h"
#include "runtime_failure.h"

#include <string.h>

namespace zeb::seh {
namespace {

struct Nested {
    void *code, *chain;
};

template <class T>
T read_at(uintptr_t address) {
    T value;
    memcpy(&value, reinterpret_cast<const void *>(address), sizeof value);
    return value;
}

bool decode(uintptr_t t, Nested *out) {
#if defined(__x86_64__)
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
#elif defined(__aarch64__)
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
#elif defined(__arm__)
    // Thumb-2: ldr.w ip, [pc, #n]; ldr.w pc, [pc, #m] (pc reads 4 ahead, word aligned)
    t &= ~uintptr_t(1);
    const uint16_t a0 = read_at<uint16_t>(t), a1 = read_at<uint16_t>(t + 2);
    const uint16_t b0 = read_at<uint16_t>(t + 4), b1 = read_at<uint16_t>(t + 6);
    if (a0 != 0xF8DF || (a1 & 0xF000) != 0xC000 || b0 != 0xF8DF || (b1 & 0xF000) != 0xF000) return false;
    const uintptr_t chain_at = ((t + 4) & ~uintptr_t(3)) + (a1 & 0xFFF);
    const uintptr_t code_at = ((t + 8) & ~uintptr_t(3)) + (b1 & 0xFFF);
    *out = {read_at<void *>(code_at), read_at<void *>(chain_at)};
    return true;
#else
    (void)t;
    (void)out;
    return false;
#endif
}

}  // namespace

int call_nested_filter(void *trampoline, EXCEPTION_POINTERS *pointers) {
    Nested nested;
    if (!decode(reinterpret_cast<uintptr_t>(trampoline), &nested))
        runtime_failure("a C filter's trampoline has an unknown layout", 0, reinterpret_cast<uintptr_t>(trampoline));
    return __zeb_call_nested(nested.code, nested.chain, nullptr, pointers);
}

}  // namespace zeb::seh
