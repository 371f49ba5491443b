#include "fault_context.h"

#include <string.h>

namespace zeb::seh {

#if defined(__x86_64__)

FaultSite fault_site(const ucontext_t *uc) {
    const greg_t *g = uc->uc_mcontext.gregs;
    return {uintptr_t(g[REG_RIP]), uintptr_t(g[REG_RSP]), uintptr_t(g[REG_RBP])};
}

void set_resume_pc(ucontext_t *uc, uintptr_t pc) { uc->uc_mcontext.gregs[REG_RIP] = greg_t(pc); }

unsigned long access_kind(const ucontext_t *uc, uintptr_t address) {
    const unsigned long err = uc->uc_mcontext.gregs[REG_ERR];
    if ((err & 0x10) || address == uintptr_t(uc->uc_mcontext.gregs[REG_RIP])) return 8;
    return (err & 0x2) ? 1 : 0;
}

#elif defined(__aarch64__)

FaultSite fault_site(const ucontext_t *uc) {
    return {uintptr_t(uc->uc_mcontext.pc), uintptr_t(uc->uc_mcontext.sp), uintptr_t(uc->uc_mcontext.regs[29])};
}

void set_resume_pc(ucontext_t *uc, uintptr_t pc) { uc->uc_mcontext.pc = pc; }

namespace {
// The kernel appends the syndrome register to the signal frame; emulators
// may not, and then the faulting instruction tells a load from a store.
bool syndrome(const ucontext_t *uc, uint64_t *esr) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(uc->uc_mcontext.__reserved);
    const unsigned char *end = p + sizeof uc->uc_mcontext.__reserved;
    while (p + 8 <= end) {
        uint32_t magic, size;
        memcpy(&magic, p, 4);
        memcpy(&size, p + 4, 4);
        if (magic == 0 || size < 8) return false;
        if (magic == 0x45535201 && size >= 16) {  // ESR_MAGIC
            memcpy(esr, p + 8, 8);
            return true;
        }
        p += size;
    }
    return false;
}
}  // namespace

unsigned long access_kind(const ucontext_t *uc, uintptr_t address) {
    if (address == uintptr_t(uc->uc_mcontext.pc)) return 8;
    uint64_t esr;
    if (syndrome(uc, &esr)) {
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

#elif defined(__arm__)

FaultSite fault_site(const ucontext_t *uc) {
    return {uintptr_t(uc->uc_mcontext.arm_pc), uintptr_t(uc->uc_mcontext.arm_sp), uintptr_t(uc->uc_mcontext.arm_fp)};
}

void set_resume_pc(ucontext_t *uc, uintptr_t pc) {
    // Bit 0 selects Thumb state, as for an interworking branch.
    if (pc & 1)
        uc->uc_mcontext.arm_cpsr |= 1u << 5;
    uc->uc_mcontext.arm_pc = pc & ~uintptr_t(1);
}

namespace {
// Decodes the faulting Thumb or ARM instruction: a load, or a store.
bool is_store(const ucontext_t *uc) {
    const uintptr_t pc = uc->uc_mcontext.arm_pc;
    const bool thumb = uc->uc_mcontext.arm_cpsr & (1u << 5);
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

unsigned long access_kind(const ucontext_t *uc, uintptr_t address) {
    if ((address & ~uintptr_t(1)) == (uintptr_t(uc->uc_mcontext.arm_pc) & ~uintptr_t(1))) return 8;
    const unsigned long fsr = uc->uc_mcontext.error_code;
    if (fsr) return (fsr & (1u << 11)) ? 1 : 0;  // WnR
    return is_store(uc) ? 1 : 0;
}

#else
#error "no fault decoding for this architecture"
#endif

}  // namespace zeb::seh
