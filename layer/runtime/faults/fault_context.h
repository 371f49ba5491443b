// The interrupted machine state in a signal frame, per architecture
// (arch/<arch>/fault_context.cpp): read into Windows' CONTEXT, written back
// from it, and redirected so that the thread calls a function once the
// signal handler returns.
#pragma once

#include "core/internal.h"
#include "fault_traits.h"

#include <signal.h>
#include <stdint.h>
#include <ucontext.h>

namespace zeb::seh {

struct FaultSite {
    uintptr_t pc, sp;
};

FaultSite fault_site(const ucontext_t *uc);

// Every register the CONTEXT has, integer and floating point.
void capture_context(const ucontext_t *uc, CONTEXT *context);
// The other way: the thread resumes with the registers of `context`.
void apply_context(const CONTEXT *context, ucontext_t *uc);

struct FaultFrame;
// Once the handler returns, the thread enters __zeb_fault_entry with the
// stack just below `frame` (faults/fault_entry.h).
void redirect_to_entry(ucontext_t *uc, FaultFrame *frame);

// The first argument register: what a trap instruction was handed.
uintptr_t first_argument(const ucontext_t *uc);

// 0 for a read, 1 for a write, 8 for an instruction fetch (as Windows'
// access-violation record says).
unsigned long access_kind(const ucontext_t *uc, uintptr_t fault_address);

// The instruction at the program counter, as far as the fault's record
// depends on it.
enum class Instruction { Other, Breakpoint, Privileged, DivideByNonZero };
Instruction faulting_instruction(const ucontext_t *uc, int sig, const siginfo_t *info);

// The address that Windows reports for the fault at `pc`: a trap that stops
// after its instruction is reported at the instruction itself.
uintptr_t reported_pc(int sig, Instruction insn, uintptr_t pc);

}  // namespace zeb::seh
