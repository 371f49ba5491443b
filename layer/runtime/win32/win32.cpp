// The few other platform functions that exception-handling programs call.
#include "core/internal.h"

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace {
__thread DWORD last_error;
}

extern "C" DWORD GetLastError(void) { return last_error; }
extern "C" void SetLastError(DWORD error) { last_error = error; }

extern "C" void Sleep(DWORD milliseconds) {
    struct timespec t = {time_t(milliseconds / 1000), long(milliseconds % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0) {
    }
}

extern "C" DWORD GetCurrentThreadId(void) { return DWORD(syscall(SYS_gettid)); }
extern "C" DWORD GetCurrentProcessId(void) { return DWORD(getpid()); }

extern "C" DWORD GetTickCount(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return DWORD(uint64_t(t.tv_sec) * 1000 + uint64_t(t.tv_nsec) / 1000000);
}

extern "C" void ExitProcess(UINT status) {
    fflush(nullptr);
    _exit(status ? zeb::seh::exit_status_for(status) : 0);
}

extern "C" void OutputDebugStringA(LPCSTR text) {
    if (text) fputs(text, stderr);
}

// A breakpoint exception, as the platform's debug break raises when no
// debugger is attached.
extern "C" void DebugBreak(void) { RaiseException(STATUS_BREAKPOINT, 0, 0, nullptr); }

extern "C" BOOL IsDebuggerPresent(void) { return FALSE; }
