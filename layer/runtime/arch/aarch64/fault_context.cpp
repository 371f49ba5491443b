// AArch64: the signal frame's registers; its floating-point state lives in
// records of the frame's reserved area.
#include "faults/fault_context.h"
#include "faults/fault_entry.h"

#include <string.h>

namespace zeb::seh {
namespace {

constexpr uint32_t kFpsimdMagic = 0x46508001, kEsrMagic = 0x45535201, kSveMagic = 0x53564501;

// The record of the reserved area with this magic, or null.
unsigned char *find_record(const ucontext_t *uc, uint32_t wanted, uint32_t *size_out) {
    unsigned char *p = const_cast<unsigned char *>(uc->uc_mcontext.__reserved);
    unsigned char *const end = p + sizeof uc->uc_mcontext.__reserved;
    while (p + 8 <= end) {
        uint32_t magic, size;
        memcpy(&magic, p, 4);
        memcpy(&size, p + 4, 4);
        if (magic == 0 || size < 8 || p + size > end) return nullptr;
        if (magic == wanted) {
            *size_out = size;
            return p;
        }
        p += size;
    }
    return nullptr;
}

}  // namespace

FaultSite fault_site(const ucontext_t *uc) { return {uintptr_t(uc->uc_mcontext.pc), uintptr_t(uc->uc_mcontext.sp)}; }

void capture_context(const ucontext_t *uc, CONTEXT *c) {
    c->ContextFlags = CONTEXT_FULL;
    for (int i = 0; i < 31; ++i) c->X[i] = uc->uc_mcontext.regs[i];
    c->Sp = uc->uc_mcontext.sp;
    c->Pc = uc->uc_mcontext.pc;
    c->Cpsr = DWORD(uc->uc_mcontext.pstate);
    uint32_t size;
    if (unsigned char *fp = find_record(uc, kFpsimdMagic, &size); fp && size >= 16 + 32 * 16) {
        memcpy(&c->Fpsr, fp + 8, 4);
        memcpy(&c->Fpcr, fp + 12, 4);
        memcpy(c->V, fp + 16, 32 * 16);
    }
}

void apply_context(const CONTEXT *c, ucontext_t *uc) {
    for (int i = 0; i < 31; ++i) uc->uc_mcontext.regs[i] = c->X[i];
    uc->uc_mcontext.sp = c->Sp;
    uc->uc_mcontext.pc = c->Pc;
    uc->uc_mcontext.pstate = (uc->uc_mcontext.pstate & ~0xFFFFFFFFull) | c->Cpsr;
    uint32_t size;
    if (unsigned char *fp = find_record(uc, kFpsimdMagic, &size); fp && size >= 16 + 32 * 16) {
        memcpy(fp + 8, &c->Fpsr, 4);
        memcpy(fp + 12, &c->Fpcr, 4);
        memcpy(fp + 16, c->V, 32 * 16);
    }
    // With scalable vectors in the frame, their low 128 bits are the V registers.
    if (unsigned char *sve = find_record(uc, kSveMagic, &size); sve && size > 16) {
        uint16_t vl;
        memcpy(&vl, sve + 8, 2);
        if (vl >= 16 && 16 + 32u * vl <= size)
            for (int i = 0; i < 32; ++i) memcpy(sve + 16 + i * vl, &c->V[i], 16);
    }
}

void redirect_to_entry(ucontext_t *uc, FaultFrame *frame) {
    uc->uc_mcontext.sp = reinterpret_cast<uintptr_t>(frame) & ~uintptr_t(15);
    uc->uc_mcontext.pc = reinterpret_cast<uintptr_t>(&__zeb_fault_entry);
    uc->uc_mcontext.regs[0] = reinterpret_cast<uintptr_t>(frame);
    uc->uc_mcontext.regs[19] = reinterpret_cast<uintptr_t>(&frame->context);
}

uintptr_t first_argument(const ucontext_t *uc) { return uintptr_t(uc->uc_mcontext.regs[0]); }

unsigned long access_kind(const ucontext_t *uc, uintptr_t address) {
    if (address == uintptr_t(uc->uc_mcontext.pc)) return 8;
    // The kernel appends the syndrome register to the signal frame;
    // emulators may not, and then the faulting instruction tells a load
    // from a store.
    uint32_t size;
    if (unsigned char *esr_record = find_record(uc, kEsrMagic, &size); esr_record && size >= 16) {
        uint64_t esr;
        memcpy(&esr, esr_record + 8, 8);
        const unsigned ec = unsigned(esr >> 26) & 0x3F;
        if (ec == 0x20 || ec == 0x21) return 8;
        return (esr & (1u << 6)) ? 1 : 0;  // WnR
    }
    uint32_t insn;
    memcpy(&insn, reinterpret_cast<const void *>(uc->uc_mcontext.pc), 4);
    // Loads and stores: op0 x1x0; bit 22 is L for the register forms.
    if ((insn & 0x0A000000) == 0x08000000) return (insn & (1u << 22)) ? 0 : 1;
    return 0;
}

Instruction faulting_instruction(const ucontext_t *, int sig, const siginfo_t *) {
    // BRK stops at itself, as on Windows; divisions do not trap.
    return sig == SIGTRAP ? Instruction::Breakpoint : Instruction::Other;
}

// Every trap stops at its instruction.
uintptr_t reported_pc(int, Instruction, uintptr_t pc) { return pc; }

}  // namespace zeb::seh
