// Reading the interrupted machine state out of a signal frame, per
// architecture: where the fault happened, and whether it was a write.
#pragma once

#include <signal.h>
#include <stdint.h>
#include <ucontext.h>

namespace zeb::seh {

struct FaultSite {
    uintptr_t pc, sp, fp;
};

FaultSite fault_site(const ucontext_t *uc);

// Where execution continues when a filter moved the program counter.
void set_resume_pc(ucontext_t *uc, uintptr_t pc);

// 0 for a read, 1 for a write, 8 for an instruction fetch (as the
// platform's access-violation record says).
unsigned long access_kind(const ucontext_t *uc, uintptr_t fault_address);

}  // namespace zeb::seh
