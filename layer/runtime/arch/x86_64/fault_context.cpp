// x86-64: the signal frame's registers, and the instructions whose faults
// Windows reports differently from how Linux signals them.
#include "faults/fault_context.h"
#include "faults/fault_entry.h"

#include <string.h>

namespace zeb::seh {
namespace {

// Where the kernel's extended state follows the FXSAVE image, this magic is
// in the image's software-reserved bytes.
constexpr uint32_t kXstateMagic = 0x46505853;
// The part of the FXSAVE image that holds registers (x87, MXCSR, XMM0-15).
constexpr size_t kFxsaveRegisters = 416;

DWORD64 *register_slot(CONTEXT *c, unsigned number) {
    DWORD64 *const slots[16] = {&c->Rax, &c->Rcx, &c->Rdx, &c->Rbx, &c->Rsp, &c->Rbp, &c->Rsi, &c->Rdi,
                                &c->R8,  &c->R9,  &c->R10, &c->R11, &c->R12, &c->R13, &c->R14, &c->R15};
    return slots[number & 15];
}

// Legacy, operand-size, address-size, segment, lock and repeat prefixes.
bool is_prefix(uint8_t b) {
    switch (b) {
    case 0x66: case 0x67: case 0xF0: case 0xF2: case 0xF3:
    case 0x2E: case 0x36: case 0x3E: case 0x26: case 0x64: case 0x65: return true;
    default: return false;
    }
}

struct Decoded {
    const uint8_t *opcode;
    uint8_t rex = 0;
    bool operand16 = false;
    bool fs_or_gs = false;
};

Decoded skip_prefixes(const uint8_t *p) {
    Decoded d;
    for (int i = 0; i < 14; ++i, ++p) {
        if (is_prefix(*p)) {
            if (*p == 0x66) d.operand16 = true;
            if (*p == 0x64 || *p == 0x65) d.fs_or_gs = true;
            d.rex = 0;   // a REX prefix counts only right before the opcode
        } else if ((*p & 0xF0) == 0x40) {
            d.rex = *p;
        } else {
            break;
        }
    }
    d.opcode = p;
    return d;
}

// Instructions that only the kernel may execute: Windows reports them
// as privileged instructions, Linux as a general-protection SIGSEGV.
bool is_privileged(const Decoded &d) {
    const uint8_t *p = d.opcode;
    switch (p[0]) {
    case 0xF4: case 0xFA: case 0xFB:                  // hlt, cli, sti
    case 0xE4: case 0xE5: case 0xE6: case 0xE7:       // in, out
    case 0xEC: case 0xED: case 0xEE: case 0xEF:
    case 0x6C: case 0x6D: case 0x6E: case 0x6F:       // ins, outs
        return true;
    case 0x0F:
        switch (p[1]) {
        case 0x06: case 0x07: case 0x08: case 0x09:   // clts, sysret, invd, wbinvd
        case 0x20: case 0x21: case 0x22: case 0x23:   // mov to and from control and debug registers
        case 0x30: case 0x32: case 0x35:              // wrmsr, rdmsr, sysexit
            return true;
        case 0x00: {                                  // lldt, ltr
            const unsigned reg = (p[2] >> 3) & 7;
            return reg == 2 || reg == 3;
        }
        case 0x01: {                                  // lgdt, lidt, lmsw, invlpg
            const unsigned reg = (p[2] >> 3) & 7;
            return (p[2] >> 6) != 3 && (reg == 2 || reg == 3 || reg == 6 || reg == 7);
        }
        }
        return false;
    default: return false;
    }
}

// The divisor of a faulting div or idiv: a divide error with a non-zero
// divisor is a quotient overflow.  False when it cannot be told.
bool divisor_of(const ucontext_t *uc, const Decoded &d, uint64_t *value) {
    const uint8_t *p = d.opcode;
    if (p[0] != 0xF6 && p[0] != 0xF7) return false;
    const uint8_t modrm = p[1];
    const unsigned mod = modrm >> 6, reg = (modrm >> 3) & 7, rm = modrm & 7;
    if (reg != 6 && reg != 7) return false;
    const unsigned size = p[0] == 0xF6 ? 1 : (d.rex & 8) ? 8 : d.operand16 ? 2 : 4;
    CONTEXT regs;
    capture_context(uc, &regs);
    if (mod == 3) {
        const unsigned number = rm | ((d.rex & 1) << 3);
        uint64_t v = *register_slot(&regs, number);
        if (size == 1 && !d.rex && number >= 4 && number < 8) v = *register_slot(&regs, number - 4) >> 8;  // ah..bh
        *value = size == 8 ? v : v & ((uint64_t(1) << (8 * size)) - 1);
        return true;
    }
    if (d.fs_or_gs) return false;
    const uint8_t *q = p + 2;
    uint64_t address = 0;
    if (rm == 4) {
        const uint8_t sib = *q++;
        const unsigned scale = sib >> 6, index = ((sib >> 3) & 7) | ((d.rex & 2) << 2), base = (sib & 7) | ((d.rex & 1) << 3);
        if (index != 4) address += *register_slot(&regs, index) << scale;
        if ((base & 7) == 5 && mod == 0) {
            int32_t disp;
            memcpy(&disp, q, 4);
            q += 4;
            address += uint64_t(int64_t(disp));
        } else {
            address += *register_slot(&regs, base);
        }
    } else if (rm == 5 && mod == 0) {
        int32_t disp;
        memcpy(&disp, q, 4);
        q += 4;
        address = uint64_t(q) + uint64_t(int64_t(disp));   // relative to the next instruction
    } else {
        address = *register_slot(&regs, rm | ((d.rex & 1) << 3));
    }
    if (mod == 1) {
        address += uint64_t(int64_t(int8_t(*q)));
    } else if (mod == 2) {
        int32_t disp;
        memcpy(&disp, q, 4);
        address += uint64_t(int64_t(disp));
    }
    uint64_t v = 0;
    memcpy(&v, reinterpret_cast<const void *>(address), size);
    *value = v;
    return true;
}

}  // namespace

FaultSite fault_site(const ucontext_t *uc) {
    const greg_t *g = uc->uc_mcontext.gregs;
    return {uintptr_t(g[REG_RIP]), uintptr_t(g[REG_RSP])};
}

void capture_context(const ucontext_t *uc, CONTEXT *c) {
    const greg_t *g = uc->uc_mcontext.gregs;
    c->ContextFlags = CONTEXT_FULL | CONTEXT_SEGMENTS;
    c->Rax = g[REG_RAX], c->Rcx = g[REG_RCX], c->Rdx = g[REG_RDX], c->Rbx = g[REG_RBX];
    c->Rsp = g[REG_RSP], c->Rbp = g[REG_RBP], c->Rsi = g[REG_RSI], c->Rdi = g[REG_RDI];
    c->R8 = g[REG_R8], c->R9 = g[REG_R9], c->R10 = g[REG_R10], c->R11 = g[REG_R11];
    c->R12 = g[REG_R12], c->R13 = g[REG_R13], c->R14 = g[REG_R14], c->R15 = g[REG_R15];
    c->Rip = g[REG_RIP];
    c->EFlags = DWORD(g[REG_EFL]);
    const uint64_t segments = uint64_t(g[REG_CSGSFS]);
    c->SegCs = WORD(segments), c->SegGs = WORD(segments >> 16), c->SegFs = WORD(segments >> 32);
    c->SegSs = WORD(segments >> 48);
    if (uc->uc_mcontext.fpregs) {
        memcpy(&c->FltSave, uc->uc_mcontext.fpregs, kFxsaveRegisters);
        c->MxCsr = c->FltSave.MxCsr;
    }
}

void apply_context(const CONTEXT *c, ucontext_t *uc) {
    greg_t *g = uc->uc_mcontext.gregs;
    g[REG_RAX] = greg_t(c->Rax), g[REG_RCX] = greg_t(c->Rcx), g[REG_RDX] = greg_t(c->Rdx), g[REG_RBX] = greg_t(c->Rbx);
    g[REG_RSP] = greg_t(c->Rsp), g[REG_RBP] = greg_t(c->Rbp), g[REG_RSI] = greg_t(c->Rsi), g[REG_RDI] = greg_t(c->Rdi);
    g[REG_R8] = greg_t(c->R8), g[REG_R9] = greg_t(c->R9), g[REG_R10] = greg_t(c->R10), g[REG_R11] = greg_t(c->R11);
    g[REG_R12] = greg_t(c->R12), g[REG_R13] = greg_t(c->R13), g[REG_R14] = greg_t(c->R14), g[REG_R15] = greg_t(c->R15);
    g[REG_RIP] = greg_t(c->Rip);
    g[REG_EFL] = greg_t(c->EFlags);   // the kernel keeps the flags user code may not change
    if (unsigned char *fx = reinterpret_cast<unsigned char *>(uc->uc_mcontext.fpregs)) {
        memcpy(fx, &c->FltSave, kFxsaveRegisters);
        memcpy(fx + offsetof(XMM_SAVE_AREA32, MxCsr), &c->MxCsr, sizeof c->MxCsr);
        uint32_t magic;
        memcpy(&magic, fx + 464, 4);
        if (magic == kXstateMagic) {
            // The x87 and SSE state come from the image, not from their initial values.
            uint64_t present;
            memcpy(&present, fx + 512, 8);
            present |= 3;
            memcpy(fx + 512, &present, 8);
        }
    }
}

void redirect_to_entry(ucontext_t *uc, FaultFrame *frame) {
    greg_t *g = uc->uc_mcontext.gregs;
    g[REG_RSP] = greg_t(reinterpret_cast<uintptr_t>(frame) & ~uintptr_t(15));
    g[REG_RIP] = greg_t(reinterpret_cast<uintptr_t>(&__zeb_fault_entry));
    g[REG_RDI] = greg_t(reinterpret_cast<uintptr_t>(frame));
    g[REG_RBX] = greg_t(reinterpret_cast<uintptr_t>(&frame->context));
    g[REG_EFL] &= ~greg_t(0x100 | 0x400 | 0x40000);   // trap, direction and alignment-check flags clear
}

uintptr_t first_argument(const ucontext_t *uc) { return uintptr_t(uc->uc_mcontext.gregs[REG_RDI]); }

unsigned long access_kind(const ucontext_t *uc, uintptr_t address) {
    const unsigned long err = uc->uc_mcontext.gregs[REG_ERR];
    if ((err & 0x10) || address == uintptr_t(uc->uc_mcontext.gregs[REG_RIP])) return 8;
    return (err & 0x2) ? 1 : 0;
}

Instruction faulting_instruction(const ucontext_t *uc, int sig, const siginfo_t *info) {
    const uint8_t *pc = reinterpret_cast<const uint8_t *>(uc->uc_mcontext.gregs[REG_RIP]);
    // A jump to a non-canonical address may leave it in the program counter.
    const int64_t raw = int64_t(uc->uc_mcontext.gregs[REG_RIP]);
    if (int64_t(uint64_t(raw) << 16) >> 16 != raw) return Instruction::Other;
    if (sig == SIGTRAP && info->si_code == SI_KERNEL && pc[-1] == 0xCC) return Instruction::Breakpoint;
    if (sig == SIGSEGV && info->si_code == SI_KERNEL && is_privileged(skip_prefixes(pc)))
        return Instruction::Privileged;
    uint64_t divisor;
    if (sig == SIGFPE && info->si_code == FPE_INTDIV && divisor_of(uc, skip_prefixes(pc), &divisor) && divisor != 0)
        return Instruction::DivideByNonZero;
    return Instruction::Other;
}

// int3 stops after itself; Windows reports the instruction.
uintptr_t reported_pc(int sig, Instruction insn, uintptr_t pc) {
    return sig == SIGTRAP && insn == Instruction::Breakpoint ? pc - 1 : pc;
}

}  // namespace zeb::seh
