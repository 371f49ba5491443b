// The small platform functions around exception handling: the program's
// module, the error mode, the caller's context, the time of day.
#include "win32_api.h"
#include "core/context_regs.h"

#include <errno.h>
#include <string.h>
#include <strings.h>
#include <time.h>

#include <string>

// The start of the program's image: what the platform's module handle is.
extern "C" __attribute__((weak)) char __executable_start;

namespace {

UINT error_mode;

// True when `name` names the program itself, with or without ".exe".
bool names_the_program(const char *name) {
    const char *slash = strrchr(name, '/'), *backslash = strrchr(name, '\\');
    const char *base = slash > backslash ? slash + 1 : backslash ? backslash + 1 : name;
    const std::string own = program_invocation_short_name;
    const size_t n = strlen(base);
    if (strcasecmp(base, own.c_str()) == 0) return true;
    return n > 4 && strcasecmp(base + n - 4, ".exe") == 0 && own.size() == n - 4 &&
           strncasecmp(base, own.c_str(), n - 4) == 0;
}

}  // namespace

// The stack on overflow is the run-time's business; it is always usable.
extern "C" int _resetstkoflw(void) { return 1; }

extern "C" HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
    if (!name || names_the_program(name)) {
        if (&__executable_start) return &__executable_start;
        return reinterpret_cast<HMODULE>(reinterpret_cast<uintptr_t>(&GetModuleHandleA));
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

extern "C" HMODULE WINAPI GetModuleHandleW(LPCWSTR name) {
    if (!name) return GetModuleHandleA(nullptr);
    std::string narrow;
    for (; *name; ++name) narrow += *name > 0 && *name < 0x80 ? char(*name) : '?';
    return GetModuleHandleA(narrow.c_str());
}

extern "C" UINT WINAPI SetErrorMode(UINT mode) { return __atomic_exchange_n(&error_mode, mode, __ATOMIC_RELAXED); }
extern "C" UINT WINAPI GetErrorMode(void) { return __atomic_load_n(&error_mode, __ATOMIC_RELAXED); }

// The caller's state when this call returns: the return address, the
// caller's stack pointer after the return, and the caller's frame pointer.
extern "C" __attribute__((noinline)) void WINAPI RtlCaptureContext(PCONTEXT context) {
    using namespace zeb::seh;
    context->ContextFlags = CONTEXT_CONTROL;
    context_pc(*context) = reinterpret_cast<ULONG_PTR>(__builtin_return_address(0));
    context_sp(*context) = reinterpret_cast<ULONG_PTR>(__builtin_dwarf_cfa());
    context_fp(*context) = caller_frame_pointer(__builtin_frame_address(0), context_sp(*context));
}

extern "C" void WINAPI GetSystemTimeAsFileTime(LPFILETIME time) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    // 100-nanosecond intervals since 1 January 1601.
    const uint64_t ticks = uint64_t(now.tv_sec) * 10000000u + uint64_t(now.tv_nsec) / 100u + 116444736000000000ull;
    time->dwLowDateTime = DWORD(ticks);
    time->dwHighDateTime = DWORD(ticks >> 32);
}
