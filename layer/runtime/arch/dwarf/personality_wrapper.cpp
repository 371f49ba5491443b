// The C++ personality as is on the DWARF unwinders: the stop function of
// the layer's forced unwind sees each frame before its personality does.
#include "cxx/cxx_abi.h"

extern "C" _Unwind_Reason_Code __wrap___gxx_personality_v0(int version, _Unwind_Action actions,
                                                           _Unwind_Exception_Class exception_class,
                                                           _Unwind_Exception *exception, _Unwind_Context *context) {
    return __real___gxx_personality_v0(version, actions, exception_class, exception, context);
}
