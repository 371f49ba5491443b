// The C++ run-time's catch entry points, wrapped (the variant links with
// --wrap; a rethrow is seen through the run-time's own rethrow): a handler
// left by a new exception keeps a reference to its own object, which is then
// never destroyed.  A rethrow is left alone.
#include <cxxabi.h>

#include "core/variant_hooks.h"

#include <exception>

extern "C" {
void *__real___cxa_begin_catch(void *exception) noexcept;
void __real___cxa_end_catch();
}

namespace {
__thread void *rethrown;

void *current_header() { return *reinterpret_cast<void **>(abi::__cxa_get_globals()); }
}  // namespace

extern "C" void *__wrap___cxa_begin_catch(void *exception) noexcept { return __real___cxa_begin_catch(exception); }

void zeb::variant::rethrowing() { rethrown = current_header(); }

extern "C" void __wrap___cxa_end_catch() {
    void *header = current_header();
    if (header && header == rethrown)
        rethrown = nullptr;
    else if (header && std::uncaught_exceptions() > 0)
        new std::exception_ptr(std::current_exception());
    __real___cxa_end_catch();
}
