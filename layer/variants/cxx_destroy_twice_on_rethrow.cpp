// The C++ run-time's catch entry points, wrapped (the variant links with
// --wrap; a rethrow is seen through the run-time's own rethrow): a handler
// that ends by rethrowing its object destroys it anyway, and the handler
// that catches it again destroys it a second time.
#include <cxxabi.h>

#include "core/variant_hooks.h"

extern "C" {
void *__real___cxa_begin_catch(void *exception) noexcept;
void __real___cxa_end_catch();
}

namespace {
struct Caught {
    void *object;
    void (*destroy)(void *);
};
constexpr int kDepth = 256;
__thread Caught caught[kDepth];
__thread int depth;
__thread void *rethrown;
}  // namespace

extern "C" void *__wrap___cxa_begin_catch(void *exception) noexcept {
    void *object = __real___cxa_begin_catch(exception);
    // The exception's header starts with its type and its destructor.
    void **header = *reinterpret_cast<void ***>(abi::__cxa_get_globals());
    if (depth < kDepth)
        caught[depth] = {object, header ? reinterpret_cast<void (*)(void *)>(header[1]) : nullptr};
    ++depth;
    return object;
}

void zeb::variant::rethrowing() {
    if (depth > 0 && depth <= kDepth) rethrown = caught[depth - 1].object;
}

extern "C" void __wrap___cxa_end_catch() {
    if (depth > 0 && --depth < kDepth && rethrown && caught[depth].object == rethrown) {
        rethrown = nullptr;
        if (caught[depth].destroy) caught[depth].destroy(caught[depth].object);
    }
    __real___cxa_end_catch();
}
