// The layer's forced unwind on the ARM unwinder (EHABI): the caught object
// lives in the barrier cache, a cleanup the personality began is undone
// when the unwind leaves the unwinder, and the personality wrapper, not the
// stop function, asks whether a frame would call terminate.
#include "cxx/unwinder_arch.h"
#include "ehabi.h"

namespace zeb::seh {

void set_caught_object(_Unwind_Exception *exception, void *object) { ehabi::set_caught_object(exception, object); }

void leave_unwinder(_Unwind_Exception *exception) { ehabi::abandon_cleanup(exception); }

// (EHABI has called the personality already: the wrapper asks.)
bool terminate_before_personality(_Unwind_Context *) { return false; }

}  // namespace zeb::seh
