// The frame pointer of a frame the unwinder describes: rbp.
#include "cxx/cxx_bridge.h"

namespace zeb::seh {

uintptr_t frame_pointer_of(_Unwind_Context *context) { return _Unwind_GetGR(context, 6); }

}  // namespace zeb::seh
