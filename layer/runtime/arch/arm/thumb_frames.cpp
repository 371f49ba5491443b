// The fast path of the layer's unwinds on 32-bit ARM: whether every frame
// between an unwind's origin and its goal holds nothing for the C++
// unwinder, found by walking the frames with their own unwind tables
// (EHABI's exception index), as the unwinder would, but without its
// machinery.  Thumb-2 frames are not frame records (r7 points below the
// saved registers), so the walk executes each frame's unwind instructions
// on a small register set, and reads each C++ frame's call-site table.
// Any doubt (a frame that cannot be unwound, an instruction the walk does
// not know, a personality other than the C++ one) answers "not plain", and
// the unwinder does the unwind.
#include "ehabi.h"

#include "core/internal.h"
#include "cxx/call_sites.h"
#include "cxx/cxx_abi.h"

#include <stdint.h>
#include <unwind.h>

extern "C" _Unwind_Ptr __gnu_Unwind_Find_exidx(_Unwind_Ptr pc, int *count);

namespace zeb::seh::ehabi {
namespace {

constexpr uint32_t kCantUnwind = 1;

struct IndexEntry {
    uint32_t function;   // prel31 offset to the function's start
    uint32_t content;    // kCantUnwind, an inline compact entry, or prel31 to its table entry
};

uintptr_t prel31(const uint32_t *word) { return uintptr_t(word) + uintptr_t(int32_t(*word << 1) >> 1); }

// The registers a walk knows: r0-r15, and which of them hold the frame's
// values (those set at the start, or restored from the stack since).
struct Frame {
    uint32_t r[16];
    uint32_t known;
};

struct Bounds {
    uintptr_t low, high;
    bool holds(uintptr_t address, uintptr_t size) const {
        return address >= low && address <= high && size <= high - address && address % 4 == 0;
    }
};

// The unwind instructions of one function, a byte at a time (EHABI's
// order: from the most significant byte of each word).
struct Instructions {
    const uint32_t *next;
    uint32_t data;
    int bytes_left;
    int words_left;

    uint8_t read() {
        if (bytes_left == 0) {
            if (words_left == 0) return 0xb0;   // finish
            data = *next++;
            --words_left;
            bytes_left = 4;
        }
        --bytes_left;
        const uint8_t byte = uint8_t(data >> 24);
        data <<= 8;
        return byte;
    }
};

bool pop(Frame &f, uint32_t &vsp, uint32_t mask, int first, const Bounds &stack) {
    const uint32_t count = __builtin_popcount(mask);
    if (!stack.holds(vsp, 4 * count)) return false;
    const uint32_t *at = reinterpret_cast<const uint32_t *>(uintptr_t(vsp));
    bool sp_popped = false;
    uint32_t new_sp = 0;
    for (int i = 0; mask; ++i, mask >>= 1) {
        if (!(mask & 1)) continue;
        const int reg = first + i;
        if (reg == 13) {
            sp_popped = true;
            new_sp = *at++;
        } else {
            f.r[reg] = *at++;
            f.known |= 1u << reg;
        }
    }
    vsp += 4 * count;
    if (sp_popped) vsp = new_sp;
    return true;
}

// Executes the unwind instructions on the frame: afterwards it describes
// the caller.  False for an instruction the walk does not take.
bool execute(Frame &f, Instructions in, const Bounds &stack) {
    uint32_t vsp = f.r[13];
    bool pc_set = false;
    for (;;) {
        const uint8_t op = in.read();
        if (op < 0x40) {
            vsp += ((op & 0x3f) << 2) + 4;
        } else if (op < 0x80) {
            vsp -= ((op & 0x3f) << 2) + 4;
        } else if (op < 0x90) {
            const uint32_t mask = (uint32_t(op & 0x0f) << 8) | in.read();
            if (!mask || !pop(f, vsp, mask, 4, stack)) return false;
            pc_set = pc_set || (mask & (1u << 11));
        } else if (op < 0xa0) {
            const int reg = op & 0x0f;
            if (reg == 13 || reg == 15 || !(f.known & (1u << reg))) return false;
            vsp = f.r[reg];
        } else if (op < 0xb0) {
            uint32_t mask = (1u << ((op & 7) + 1)) - 1;   // r4-r[4+n]
            if (op & 8) mask |= 1u << 10;                    // r14
            if (!pop(f, vsp, mask, 4, stack)) return false;
        } else if (op == 0xb0) {
            break;
        } else if (op == 0xb1) {
            const uint8_t mask = in.read();
            if (!mask || (mask & 0xf0) || !pop(f, vsp, mask, 0, stack)) return false;
        } else if (op == 0xb2) {
            uint32_t value = 0;
            int shift = 0;
            uint8_t byte;
            do {
                byte = in.read();
                value |= uint32_t(byte & 0x7f) << shift;
                shift += 7;
            } while ((byte & 0x80) && shift < 32);
            vsp += 0x204 + (value << 2);
        } else if (op == 0xb3 || op == 0xc8 || op == 0xc9) {
            // VFP registers: skipped (the walk needs none of them); the
            // FSTMFDX form (0xb3) has a pad word.
            const uint8_t regs = in.read();
            vsp += 8 * ((regs & 0x0f) + 1) + (op == 0xb3 ? 4 : 0);
        } else if (op >= 0xb8 && op <= 0xbf) {
            vsp += 8 * ((op & 7) + 1) + 4;
        } else if (op >= 0xd0 && op <= 0xd7) {
            vsp += 8 * ((op & 7) + 1);
        } else {
            return false;   // iWMMXt, spare or reserved
        }
    }
    if (!(f.known & (1u << 14)) && !pc_set) return false;
    if (!pc_set) f.r[15] = f.r[14];
    f.r[13] = vsp;
    return true;
}

// One function's entry in the exception index, with what the walk needs of
// it: its start, its unwind instructions, and whether it holds anything for
// the unwinder at `pc`.
struct Function {
    uintptr_t start;
    Instructions instructions;
    bool plain;

    // r7 is the frame's own address (its instructions start "vsp = r7");
    // elsewhere r7 still holds an outer frame's.
    bool keeps_frame_in_r7() const {
        Instructions copy = instructions;
        return copy.read() == 0x97;
    }
};

// The program's own exception index, which the linker brackets; code
// elsewhere (a shared library) is looked up through the C library.
extern "C" const IndexEntry __exidx_start[] __attribute__((weak, visibility("hidden")));
extern "C" const IndexEntry __exidx_end[] __attribute__((weak, visibility("hidden")));

const IndexEntry *index_for(uintptr_t pc, int *count) {
    const IndexEntry *start = __exidx_start, *end = __exidx_end;
    if (start && end > start) {
        const int n = int(end - start);
        // Past the last function's start the address may lie in another
        // module: ask the C library there.
        if (prel31(&start[0].function) <= pc && pc < prel31(&start[n - 1].function)) {
            *count = n;
            return start;
        }
    }
    return reinterpret_cast<const IndexEntry *>(__gnu_Unwind_Find_exidx(pc, count));
}

bool decode(uintptr_t pc, Function *out) {
    int count = 0;
    const IndexEntry *table = index_for(pc, &count);
    if (!table || count <= 0) return false;
    // The last entry whose function starts at or before pc.
    int low = 0, high = count - 1;
    if (prel31(&table[0].function) > pc) return false;
    while (low < high) {
        const int mid = (low + high + 1) / 2;
        if (prel31(&table[mid].function) <= pc) low = mid;
        else high = mid - 1;
    }
    const IndexEntry &entry = table[low];
    out->start = prel31(&entry.function);
    if (entry.content == kCantUnwind) return false;
    const uint32_t *words;
    if (entry.content & 0x80000000u) {
        words = &entry.content;   // inline: personality 0, three instructions
    } else {
        words = reinterpret_cast<const uint32_t *>(prel31(&entry.content));
    }
    if (words[0] & 0x80000000u) {
        // The compact models of the ARM run-time's own personalities.
        const uint32_t index = (words[0] >> 24) & 0x0f;
        if (index == 0) {
            out->instructions = {words + 1, words[0] << 8, 3, 0};
            out->plain = true;
            return true;
        }
        if (index == 1 || index == 2) {
            const int extra = int((words[0] >> 16) & 0xff);
            out->instructions = {words + 1, words[0] << 16, 2, extra};
            // Descriptors (cleanups, catches) follow; GCC writes none.
            out->plain = words[1 + extra] == 0;
            return true;
        }
        return false;
    }
    // A personality routine of its own, then instructions as the long model
    // has them, then its language-specific data.
    const uintptr_t personality = prel31(&words[0]);
    const int extra = int(words[1] >> 24);
    out->instructions = {words + 2, words[1] << 8, 3, extra};
    if (personality != reinterpret_cast<uintptr_t>(&__wrap___gxx_personality_v0) &&
        personality != reinterpret_cast<uintptr_t>(&__real___gxx_personality_v0))
        return true;   // not C++: plain stays false
    const uint8_t *lsda = reinterpret_cast<const uint8_t *>(words + 2 + extra);
    // The C++ personality looks one byte back from the return address.
    out->plain = call_site_at(lsda, (pc & ~uintptr_t(1)) - 1, out->start) == Site::Nothing;
    return true;
}

// The functions met by this thread's walks, by address: a walk meets the
// same few again and again.
struct Cached {
    uintptr_t pc;
    Function fn;
};
constexpr unsigned kCached = 64;
__thread Cached cache[kCached];

bool decode_cached(uintptr_t pc, Function *out) {
    Cached &c = cache[(pc >> 1) % kCached];
    if (c.pc == pc) {
        *out = c.fn;
        return true;
    }
    if (!decode(pc, out)) return false;
    c = {pc, *out};
    return true;
}

}  // namespace

bool path_is_plain(uintptr_t origin, uintptr_t goal_frame, bool goal_needs_nothing) {
    const StackBounds bounds = thread_stack_bounds();
    const Bounds stack = {bounds.low, bounds.high};
    Frame f = {};
    // This function's own frame: its frame address (r7), its stack pointer
    // and an address inside it.
    uint32_t sp;
    asm volatile("mov %0, sp" : "=r"(sp));
    f.r[7] = uint32_t(uintptr_t(__builtin_frame_address(0)));
    f.r[13] = sp;
    f.r[15] = uint32_t(uintptr_t(&&here));
    f.known = (1u << 7) | (1u << 13) | (1u << 15);
here:
    // First the layer's own frames, up to the origin's; then every frame
    // from the origin's caller up to the goal's must be plain.  Frames are
    // known by their r7 only where it is their own.
    bool past_origin = false;
    for (int depth = 0; depth < 96; ++depth) {
        Function fn = {};
        if (!decode_cached(f.r[15] & ~1u, &fn)) return false;
        const bool own_r7 = fn.keeps_frame_in_r7();
        if (past_origin && own_r7 && f.r[7] == goal_frame) return fn.plain || goal_needs_nothing;
        if (past_origin && !fn.plain) return false;
        const uint32_t fp = f.r[7], sp = f.r[13];
        if (!execute(f, fn.instructions, stack) || !(f.known & (1u << 7)) || f.r[13] <= sp) return false;
        if (!past_origin) {
            if (own_r7 && fp == origin) past_origin = true;
            else if (own_r7 && fp > origin) return false;
        } else if (f.r[13] > goal_frame) {
            return false;   // past the goal's frame (r7 is its stack pointer there)
        }
    }
    return false;
}

}  // namespace zeb::seh::ehabi
