// 32-bit ARM: the signal frame's registers; the VFP registers live in a
// record of the frame's register space.
#include "faults/fault_context.h"
#include "faults/fault_entry.h"

#include <string.h>

namespace zeb::seh {
namespace {

constexpr uint32_t kVfpMagic = 0x56465001;
constexpr uint32_t kThumb = 1u << 5;
// The IT block state: a handler entered inside an IT block must not run
// its first instructions conditionally.
constexpr uint32_t kItState = (0x3Fu << 10) | (3u << 25);

unsigned char *vfp_record(const ucontext_t *uc) {
    unsigned char *p = reinterpret_cast<unsigned char *>(const_cast<unsigned long *>(uc->uc_regspace));
    unsigned char *const end = p + sizeof uc->uc_regspace;
    while (p + 8 <= end) {
        uint32_t magic, size;
        memcpy(&magic, p, 4);
        memcpy(&size, p + 4, 4);
        if (magic == 0 || size < 8 || p + size > end) return nullptr;
        if (magic == kVfpMagic && size >= 8 + 32 * 8 + 4) return p;
        p += size;
    }
    return nullptr;
}

// Decodes the faulting Thumb or ARM instruction: a load, or a store.
bool is_store(const ucontext_t *uc) {
    const uintptr_t pc = uc->uc_mcontext.arm_pc;
    const bool thumb = uc->uc_mcontext.arm_cpsr & kThumb;
    if (!thumb) {
        uint32_t insn;
        memcpy(&insn, reinterpret_cast<const void *>(pc), 4);
        return !(insn & (1u << 20));
    }
    uint16_t hw;
    memcpy(&hw, reinterpret_cast<const void *>(pc), 2);
    if ((hw & 0xE000) == 0xE000 && (hw & 0x1800) != 0) {  // 32-bit Thumb-2
        if ((hw & 0xFE00) == 0xF800 || (hw & 0xFE40) == 0xE840 || (hw & 0xFE00) == 0xE800 ||
            (hw & 0xFE00) == 0xE900)
            return !(hw & (1u << 4));
        return false;
    }
    if ((hw & 0xF000) == 0x5000) return ((hw >> 9) & 7) < 3;       // register offset
    if ((hw & 0xE000) == 0x6000 || (hw & 0xF000) == 0x8000 || (hw & 0xF000) == 0x9000 ||
        (hw & 0xF000) == 0xC000)
        return !(hw & (1u << 11));
    return false;
}

}  // namespace

FaultSite fault_site(const ucontext_t *uc) {
    return {uintptr_t(uc->uc_mcontext.arm_pc), uintptr_t(uc->uc_mcontext.arm_sp)};
}

void capture_context(const ucontext_t *uc, CONTEXT *c) {
    const mcontext_t &m = uc->uc_mcontext;
    c->ContextFlags = CONTEXT_FULL;
    c->R0 = m.arm_r0, c->R1 = m.arm_r1, c->R2 = m.arm_r2, c->R3 = m.arm_r3;
    c->R4 = m.arm_r4, c->R5 = m.arm_r5, c->R6 = m.arm_r6, c->R7 = m.arm_r7;
    c->R8 = m.arm_r8, c->R9 = m.arm_r9, c->R10 = m.arm_r10, c->R11 = m.arm_fp, c->R12 = m.arm_ip;
    c->Sp = m.arm_sp, c->Lr = m.arm_lr, c->Pc = m.arm_pc, c->Cpsr = m.arm_cpsr;
    if (const unsigned char *vfp = vfp_record(uc)) {
        memcpy(c->D, vfp + 8, 32 * 8);
        memcpy(&c->Fpscr, vfp + 8 + 32 * 8, 4);
    }
}

void apply_context(const CONTEXT *c, ucontext_t *uc) {
    mcontext_t &m = uc->uc_mcontext;
    m.arm_r0 = c->R0, m.arm_r1 = c->R1, m.arm_r2 = c->R2, m.arm_r3 = c->R3;
    m.arm_r4 = c->R4, m.arm_r5 = c->R5, m.arm_r6 = c->R6, m.arm_r7 = c->R7;
    m.arm_r8 = c->R8, m.arm_r9 = c->R9, m.arm_r10 = c->R10, m.arm_fp = c->R11, m.arm_ip = c->R12;
    m.arm_sp = c->Sp, m.arm_lr = c->Lr, m.arm_cpsr = c->Cpsr;
    // A program counter with bit 0 set selects Thumb state, as for an
    // interworking branch.
    if (c->Pc & 1) m.arm_cpsr = (m.arm_cpsr | kThumb) & ~kItState;
    m.arm_pc = c->Pc & ~1u;
    if (unsigned char *vfp = vfp_record(uc)) {
        memcpy(vfp + 8, c->D, 32 * 8);
        memcpy(vfp + 8 + 32 * 8, &c->Fpscr, 4);
    }
}

void redirect_to_entry(ucontext_t *uc, FaultFrame *frame) {
    mcontext_t &m = uc->uc_mcontext;
    const uintptr_t to = reinterpret_cast<uintptr_t>(&__zeb_fault_entry);
    m.arm_sp = reinterpret_cast<uintptr_t>(frame) & ~uintptr_t(7);
    m.arm_r0 = reinterpret_cast<uintptr_t>(frame);
    memcpy(frame->unwind_registers, &frame->context.R0, sizeof frame->unwind_registers);
    // The unwinder and the personality take the program counter for a
    // return address and look just before it (this unwinder knows no signal
    // frames): two bytes on, they look inside the faulting instruction, not
    // at the one before it, which may lie in another call-site range or
    // another function.
    frame->unwind_registers[15] += 2;
    if (m.arm_cpsr & kThumb) frame->unwind_registers[15] |= 1;
    m.arm_r4 = reinterpret_cast<uintptr_t>(&frame->unwind_registers[4]);
    m.arm_pc = to & ~uintptr_t(1);
    m.arm_cpsr = (to & 1) ? (m.arm_cpsr | kThumb) : (m.arm_cpsr & ~kThumb);
    m.arm_cpsr &= ~kItState;
}

uintptr_t first_argument(const ucontext_t *uc) { return uintptr_t(uc->uc_mcontext.arm_r0); }

unsigned long access_kind(const ucontext_t *uc, uintptr_t address) {
    if ((address & ~uintptr_t(1)) == (uintptr_t(uc->uc_mcontext.arm_pc) & ~uintptr_t(1))) return 8;
    const unsigned long fsr = uc->uc_mcontext.error_code;
    if (fsr) return (fsr & (1u << 11)) ? 1 : 0;  // WnR
    return is_store(uc) ? 1 : 0;
}

Instruction faulting_instruction(const ucontext_t *uc, int sig, const siginfo_t *) {
    // Windows' breakpoint on 32-bit ARM is the Thumb UDF #0xFE.
    if (sig == SIGILL && (uc->uc_mcontext.arm_cpsr & kThumb)) {
        uint16_t hw;
        memcpy(&hw, reinterpret_cast<const void *>(uc->uc_mcontext.arm_pc), 2);
        if (hw == 0xDEFE) return Instruction::Breakpoint;
    }
    if (sig == SIGTRAP) return Instruction::Breakpoint;
    return Instruction::Other;
}

// Every trap stops at its instruction.
uintptr_t reported_pc(int, Instruction, uintptr_t pc) { return pc; }

}  // namespace zeb::seh
