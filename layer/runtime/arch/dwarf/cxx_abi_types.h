// The C++ ABI's types as the DWARF unwinder's C++ run-time has them.
#pragma once

#include <unwind.h>

namespace zeb::seh {

struct EhGlobals {
    void *caught;
    unsigned int uncaught;
};

using PersonalityRoutine = _Unwind_Reason_Code(int, _Unwind_Action, _Unwind_Exception_Class, _Unwind_Exception *,
                                               _Unwind_Context *);

}  // namespace zeb::seh
