// catch (...) under the asynchronous model (-fasync-exceptions, the
// platform's /EHa): the lowering guards the body of each try statement that
// has a catch (...) with a record of its own, so the search meets it in
// order with the try/except blocks and takes any structured exception
// there.  The unwind to it runs the destructors and termination handlers it
// passes; arrived, the record throws the exception into the clause as a
// StructuredException, which no other clause names.
#include "core/raise_and_unwind.h"
#include "cxx/cxx_abi.h"
#include "cxx/cxx_bridge.h"

#include <cxxabi.h>

#include <new>

namespace zeb::seh {
namespace {

__thread EXCEPTION_RECORD taken;

void destroy(void *object) { static_cast<StructuredException *>(object)->~StructuredException(); }

}  // namespace

void keep_for_catch_all(const EXCEPTION_RECORD &record) {
    taken = record;
    // The chained record lived in frames the unwind leaves.
    taken.ExceptionRecord = nullptr;
}

void raise_again(void *frame, void *address) {
    // The handler's object goes with the handler, as the unwind leaves it:
    // the record is copied out first.
    EXCEPTION_RECORD record = static_cast<const StructuredException *>(current_exception_object())->record;
    dispatch_raised(&record, frame, address);
    // Continued: but a rethrow has nowhere to go back to.
    raise_noncontinuable(&record);
}

}  // namespace zeb::seh

using namespace zeb::seh;

extern "C" [[noreturn]] void __seh_throw_structured() {
    void *object = abi::__cxa_allocate_exception(sizeof(StructuredException));
    new (object) StructuredException{taken};
    // Straight to the C++ run-time: the catch (...) is the next clause, with
    // no try/except block before it.
    __real___cxa_throw(object, const_cast<std::type_info *>(&typeid(StructuredException)), destroy);
}
