// C filters are GNU C nested functions.  Taking the address of one makes
// the compiler write a trampoline on the stack (load the static chain,
// jump to the code), and running it would need an executable stack.  The
// stack stays non-executable: the trampoline is read as data, and the code
// is called with its static chain directly.  The layouts are the
// compiler's trampoline templates for each architecture
// (arch/<arch>/nested_trampoline.cpp).
#include "core/internal.h"
#include "core/machine_stubs.h"
#include "core/nested_trampoline.h"
#include "core/runtime_failure.h"

namespace zeb::seh {

int call_nested_filter(void *trampoline, EXCEPTION_POINTERS *pointers) {
    NestedFunction nested;
    if (!decode_trampoline(reinterpret_cast<uintptr_t>(trampoline), &nested))
        runtime_failure("a C filter's trampoline has an unknown layout", 0, reinterpret_cast<uintptr_t>(trampoline));
    return __zeb_call_nested(nested.code, nested.chain, nullptr, pointers);
}

}  // namespace zeb::seh
