// The frame pointer of a frame the unwinder describes: x29.
#include "cxx/cxx_bridge.h"

namespace zeb::seh {

uintptr_t frame_pointer_of(_Unwind_Context *context) { return _Unwind_GetGR(context, 29); }

}  // namespace zeb::seh
