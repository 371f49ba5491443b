// Hardware faults become exceptions: the signal handler fills the record the
// platform fills and runs the search right there, below the faulting frame.
// Continuing execution returns from the handler and retries the faulting
// instruction; executing a handler leaves the signal frame by the unwind.
#include "fault_context.h"
#include "guard_pages.h"
#include "internal.h"

#include <signal.h>

#include <initializer_list>
#include <string.h>
#include <unistd.h>

namespace zeb::seh {
namespace {

// A stack overflow faults in the guard gap below the thread's stack while
// the stack pointer itself is down at the stack's end; a fault at the same
// address from a stack pointer higher up is an ordinary access violation
// (other mappings may lie just below a thread's stack).
bool is_stack_overflow(uintptr_t address, uintptr_t sp) {
    const StackBounds stack = thread_stack_bounds();
    if (!stack.low) return false;
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t gap = 256 * page + 1024 * 1024;   // the kernel's guard gap, and then some
    const bool in_gap = address < stack.low + 2 * page && address + gap >= stack.low;
    const bool sp_at_end = sp < stack.low + 64 * page && sp + gap >= stack.low;
    return in_gap && sp_at_end;
}

DWORD code_for(int sig, const siginfo_t *info, uintptr_t address, uintptr_t sp) {
    switch (sig) {
    case SIGSEGV:
        if (take_guard_page(address)) return STATUS_GUARD_PAGE_VIOLATION;
        return is_stack_overflow(address, sp) ? STATUS_STACK_OVERFLOW : STATUS_ACCESS_VIOLATION;
    case SIGBUS: return info->si_code == BUS_ADRALN ? STATUS_DATATYPE_MISALIGNMENT : STATUS_IN_PAGE_ERROR;
    case SIGILL: return (info->si_code == ILL_PRVOPC || info->si_code == ILL_PRVREG) ? STATUS_PRIVILEGED_INSTRUCTION
                                                                                      : STATUS_ILLEGAL_INSTRUCTION;
    case SIGTRAP: return STATUS_BREAKPOINT;
    case SIGFPE:
        switch (info->si_code) {
        case FPE_INTDIV: return STATUS_INTEGER_DIVIDE_BY_ZERO;
        case FPE_INTOVF: return STATUS_INTEGER_OVERFLOW;
        case FPE_FLTDIV: return STATUS_FLOAT_DIVIDE_BY_ZERO;
        case FPE_FLTOVF: return STATUS_FLOAT_OVERFLOW;
        case FPE_FLTUND: return STATUS_FLOAT_UNDERFLOW;
        case FPE_FLTRES: return STATUS_FLOAT_INEXACT_RESULT;
        case FPE_FLTSUB: return STATUS_ARRAY_BOUNDS_EXCEEDED;
        default: return STATUS_FLOAT_INVALID_OPERATION;
        }
    }
    return STATUS_ILLEGAL_INSTRUCTION;
}

void on_fault(int sig, siginfo_t *info, void *raw) {
    ucontext_t *uc = static_cast<ucontext_t *>(raw);
    const FaultSite site = fault_site(uc);
    const uintptr_t address = reinterpret_cast<uintptr_t>(info->si_addr);

    EXCEPTION_RECORD record = {};
    record.ExceptionCode = code_for(sig, info, address, site.sp);
    record.ExceptionAddress = reinterpret_cast<void *>(site.pc);
    switch (record.ExceptionCode) {
    case STATUS_ACCESS_VIOLATION:
    case STATUS_GUARD_PAGE_VIOLATION:
    case STATUS_STACK_OVERFLOW:
        record.NumberParameters = 2;
        record.ExceptionInformation[0] = access_kind(uc, address);
        record.ExceptionInformation[1] = address;
        break;
    case STATUS_IN_PAGE_ERROR:
        record.NumberParameters = 3;
        record.ExceptionInformation[0] = access_kind(uc, address);
        record.ExceptionInformation[1] = address;
        record.ExceptionInformation[2] = 0xC000009C;  // device data error
        break;
    default: break;
    }
    CONTEXT context = {};
    context.Pc = site.pc;
    context.Sp = site.sp;
    context.Fp = site.fp;
    // Faults can be taken again while this handler runs (filters may
    // fault), so the signal stays unblocked: SA_NODEFER.
    dispatch_exception(&record, &context);
    if (context.Pc != site.pc) set_resume_pc(uc, context.Pc);
}

}  // namespace

void install_fault_handlers() {
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_sigaction = on_fault;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP}) sigaction(sig, &action, nullptr);
}

}  // namespace zeb::seh
