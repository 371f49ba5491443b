// The frame address of a frame the unwinder describes: Thumb-2 code keeps
// it in r7 (GCC's Thumb frame is not a frame record: r7 points below the
// saved registers).
#include "cxx/cxx_bridge.h"

namespace zeb::seh {

uintptr_t frame_pointer_of(_Unwind_Context *context) { return _Unwind_GetGR(context, 7); }

}  // namespace zeb::seh
