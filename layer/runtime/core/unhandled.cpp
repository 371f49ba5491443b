// The start-up's unhandled-exception path: no failure line, one line on
// standard error naming the code, and a non-zero exit status always.
#include "core/internal.h"

#include <stdio.h>
#include <string.h>
#include <unistd.h>

namespace zeb::seh {
namespace {

const char *describe(DWORD code) {
    switch (code) {
    case STATUS_ACCESS_VIOLATION: return "access violation";
    case STATUS_GUARD_PAGE_VIOLATION: return "guard page violation";
    case STATUS_DATATYPE_MISALIGNMENT: return "datatype misalignment";
    case STATUS_BREAKPOINT: return "breakpoint";
    case STATUS_SINGLE_STEP: return "single step";
    case STATUS_ILLEGAL_INSTRUCTION: return "illegal instruction";
    case STATUS_PRIVILEGED_INSTRUCTION: return "privileged instruction";
    case STATUS_STACK_OVERFLOW: return "stack overflow";
    case STATUS_IN_PAGE_ERROR: return "in-page error";
    case STATUS_INTEGER_DIVIDE_BY_ZERO: return "integer divide by zero";
    case STATUS_INTEGER_OVERFLOW: return "integer overflow";
    case STATUS_FLOAT_DIVIDE_BY_ZERO: return "floating-point divide by zero";
    case STATUS_FLOAT_OVERFLOW: return "floating-point overflow";
    case STATUS_FLOAT_UNDERFLOW: return "floating-point underflow";
    case STATUS_FLOAT_INEXACT_RESULT: return "floating-point inexact result";
    case STATUS_FLOAT_INVALID_OPERATION: return "floating-point invalid operation";
    case STATUS_NONCONTINUABLE_EXCEPTION: return "noncontinuable exception";
    case STATUS_INVALID_DISPOSITION: return "invalid disposition";
    case 0xE06D7363: return "C++ exception";
    // Every fault has one of the codes above: any other code was raised
    // by the program itself.
    default: return "software exception";
    }
}

}  // namespace

// The platform exits with the code itself; only its low 8 bits survive as
// a Linux status, so a code whose low byte is 0 would read as success.
int exit_status_for(DWORD code) {
    const int low = static_cast<int>(code & 0xFF);
    return low ? low : 255;
}

void unhandled_exception(const EXCEPTION_RECORD *record) {
    fflush(stdout);
    char line[160];
    int n = snprintf(line, sizeof line, "unhandled exception 0x%08X (%s) at %p\n", record->ExceptionCode,
                     describe(record->ExceptionCode), record->ExceptionAddress);
    if (n > 0) {
        ssize_t ignored = write(STDERR_FILENO, line, strlen(line));
        (void)ignored;
    }
    _exit(exit_status_for(record->ExceptionCode));
}

}  // namespace zeb::seh
