// The layer's forced unwind on the DWARF unwinders.
#include "cxx/call_sites.h"
#include "cxx/unwinder_arch.h"

namespace zeb::seh {

void set_caught_object(_Unwind_Exception *exception, void *object) {
    reinterpret_cast<void **>(exception)[-1] = object;
}

void leave_unwinder(_Unwind_Exception *) {}

bool terminate_before_personality(_Unwind_Context *context) { return personality_would_terminate(context); }

}  // namespace zeb::seh
