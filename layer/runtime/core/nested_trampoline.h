// A GNU C nested function's trampoline, read as data: what each
// architecture's trampoline template holds (arch/<arch>/nested_trampoline.cpp).
#pragma once

#include <stdint.h>
#include <string.h>

namespace zeb::seh {

struct NestedFunction {
    void *code, *chain;
};

// The code and static chain of the trampoline at `t`; false when it does not
// have the compiler's layout.
bool decode_trampoline(uintptr_t t, NestedFunction *out);

// The trampoline's bytes may be unaligned for the value read.
template <class T>
T read_at(uintptr_t address) {
    T value;
    memcpy(&value, reinterpret_cast<const void *>(address), sizeof value);
    return value;
}

}  // namespace zeb::seh
