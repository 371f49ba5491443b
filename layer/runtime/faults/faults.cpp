// Hardware faults become exceptions.  The signal handler only reads the
// fault: it builds the record and the CONTEXT Windows builds, puts
// them on the faulting thread's own stack, below the interrupted frame, and
// returns into a call of the dispatcher there, as though the faulting
// instruction had called RaiseException.  Filters, vectored handlers and
// the top-level filter so run on the thread's stack, as on Windows:
// they may fault again, use guarded blocks and need as much stack as any
// other code.  Continuing execution goes back through the handler (a trap
// at a known address), the one way to restore every register.
//
// A stack overflow is the exception: its thread has no stack left, so it
// is dispatched inside the handler, on the alternate signal stack.
#include "faults/fault_context.h"
#include "faults/fault_entry.h"

#include "core/machine_stubs.h"
#include "core/raise_and_unwind.h"
#include "core/runtime_failure.h"
#include "win32/guard_pages.h"

#include <signal.h>

#include <initializer_list>
#include <string.h>
#include <unistd.h>

namespace zeb::seh {
namespace {

// Set while the handler reads a fault: a fault then is the run-time's own.
__thread volatile sig_atomic_t reading_fault;

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

DWORD code_for(int sig, const siginfo_t *info, uintptr_t address, uintptr_t sp, Instruction insn) {
    switch (sig) {
    case SIGSEGV:
        if (insn == Instruction::Privileged) return STATUS_PRIVILEGED_INSTRUCTION;
        if (take_guard_page(address)) return STATUS_GUARD_PAGE_VIOLATION;
        return is_stack_overflow(address, sp) ? STATUS_STACK_OVERFLOW : STATUS_ACCESS_VIOLATION;
    case SIGBUS: return info->si_code == BUS_ADRALN ? STATUS_DATATYPE_MISALIGNMENT : STATUS_IN_PAGE_ERROR;
    case SIGILL:
        if (insn == Instruction::Breakpoint) return STATUS_BREAKPOINT;
        return (info->si_code == ILL_PRVOPC || info->si_code == ILL_PRVREG) ? STATUS_PRIVILEGED_INSTRUCTION
                                                                            : STATUS_ILLEGAL_INSTRUCTION;
    case SIGTRAP: return info->si_code == TRAP_TRACE ? STATUS_SINGLE_STEP : STATUS_BREAKPOINT;
    case SIGFPE:
        switch (info->si_code) {
        // x86-64 raises the same divide error for a quotient that overflows
        // (INT_MIN / -1); Windows tells the two apart.
        case FPE_INTDIV:
            return insn == Instruction::DivideByNonZero ? STATUS_INTEGER_OVERFLOW : STATUS_INTEGER_DIVIDE_BY_ZERO;
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

void read_fault(FaultFrame *f, int sig, const siginfo_t *info, const ucontext_t *uc) {
    const FaultSite site = fault_site(uc);
    const uintptr_t address = reinterpret_cast<uintptr_t>(info->si_addr);
    const Instruction insn = faulting_instruction(uc, sig, info);
    // A general-protection fault (SI_KERNEL) has no address: on x86-64 the
    // access went through a non-canonical pointer.
    const bool no_address = sig == SIGSEGV && info->si_code == SI_KERNEL;

    memset(f, 0, sizeof *f);
    capture_context(uc, &f->context);
    EXCEPTION_RECORD &record = f->record;
    record.ExceptionCode = code_for(sig, info, address, site.sp, insn);
    const uintptr_t pc = reported_pc(sig, insn, site.pc);
    if (pc != site.pc) context_pc(f->context) = pc;
    record.ExceptionAddress = reinterpret_cast<void *>(pc);
    switch (record.ExceptionCode) {
    case STATUS_ACCESS_VIOLATION:
    case STATUS_GUARD_PAGE_VIOLATION:
    case STATUS_STACK_OVERFLOW:
        record.NumberParameters = 2;
        record.ExceptionInformation[0] = no_address ? 0 : access_kind(uc, address);
        record.ExceptionInformation[1] = no_address ? ~ULONG_PTR(0) : address;
        break;
    case STATUS_IN_PAGE_ERROR:
        record.NumberParameters = 3;
        record.ExceptionInformation[0] = access_kind(uc, address);
        record.ExceptionInformation[1] = address;
        record.ExceptionInformation[2] = 0xC000009C;  // device data error
        break;
    case STATUS_BREAKPOINT:
        record.NumberParameters = kBreakpointParameters;
        break;
    default: break;
    }
}

// Whether the frame fits below the interrupted stack pointer.  Not when
// the handler itself runs on that stack (a thread without an alternate
// stack), nor on the alternate stack (a fault while a stack overflow is
// being dispatched), nor at the very end of the thread's stack.
bool room_below(uintptr_t sp, uintptr_t need) {
    const AltStack alt = thread_alt_stack();
    const uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    if (here < alt.low || here >= alt.high) return false;
    if (sp > alt.low && sp <= alt.high) return false;
    const StackBounds stack = thread_stack_bounds();
    if (stack.low && sp > stack.low && sp <= stack.high)
        return sp - stack.low > need + 4 * uintptr_t(sysconf(_SC_PAGESIZE));
    return true;
}

bool is_resume_trap(uintptr_t pc) {
    return (pc & ~uintptr_t(1)) == (reinterpret_cast<uintptr_t>(&__zeb_resume_trap) & ~uintptr_t(1));
}

void on_fault(int sig, siginfo_t *info, void *raw) {
    ucontext_t *uc = static_cast<ucontext_t *>(raw);
    const FaultSite site = fault_site(uc);
    if (sig == SIGILL && is_resume_trap(site.pc)) {
        apply_context(&static_cast<FaultFrame *>(reinterpret_cast<void *>(first_argument(uc)))->context, uc);
        return;
    }
    if (reading_fault) runtime_failure("a fault while reading a fault", sig, site.pc);
    const AltStack alt = thread_alt_stack();
    const uintptr_t address = reinterpret_cast<uintptr_t>(info->si_addr);
    // Code that runs out of the alternate stack faults in the guard below
    // it (programs probe large frames page by page).
    if (sig == SIGSEGV && address >= alt.guard && address < alt.low)
        runtime_failure("a filter or handler of a stack overflow ran out of the signal stack", sig, site.pc);

    reading_fault = 1;
    FaultFrame here;
    read_fault(&here, sig, info, uc);
    const uintptr_t need = kRedZone + sizeof(FaultFrame) + 64;
    if (here.record.ExceptionCode != STATUS_STACK_OVERFLOW && room_below(site.sp, need)) {
        FaultFrame *f = reinterpret_cast<FaultFrame *>((site.sp - kRedZone - sizeof(FaultFrame)) & ~uintptr_t(63));
        memcpy(static_cast<void *>(f), &here, sizeof here);
        redirect_to_entry(uc, f);
        reading_fault = 0;
        return;
    }
    reading_fault = 0;
    // Faults can be taken again while the search runs here (filters may
    // fault), so the signals stay unblocked: SA_NODEFER.
    void *const outer = raise_origin;
    raise_origin = nullptr;
    dispatch_exception(&here.record, &here.context);
    raise_origin = outer;
    apply_context(&here.context, uc);
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

// Runs on the faulting thread's stack, below the faulting frame.
extern "C" void __zeb_fault_dispatch(zeb::seh::FaultFrame *f) {
    void *const outer = zeb::seh::raise_origin;
    zeb::seh::raise_origin = nullptr;
    zeb::seh::dispatch_exception(&f->record, &f->context);
    zeb::seh::raise_origin = outer;
    __zeb_resume_trap(f);
}
