// The fast path on the DWARF targets: frames are frame records (the
// caller's frame address, then the return address), and the addresses in
// frames that need nothing of the unwinder are learnt by the unwinds that
// passed them.
#include "cxx/fast_path.h"

#include "cxx/call_sites.h"
#include "cxx/cxx_bridge.h"
#include "cxx/unwinder_arch.h"

#include <atomic>

namespace zeb::seh {
namespace {

// Addresses in frames known to need nothing of the unwinder, learnt by the
// unwinds that passed them; a fixed table, overwritten on collision.
constexpr size_t kPlainSlots = 4096;
std::atomic<uintptr_t> plain_addresses[kPlainSlots];

size_t slot_of(uintptr_t ip) { return (ip ^ (ip >> 12)) % kPlainSlots; }

bool known_plain(uintptr_t ip) { return ip && plain_addresses[slot_of(ip)].load(std::memory_order_relaxed) == ip; }

}  // namespace

void learn_frame(_Unwind_Context *context) {
    int before = 0;
    const uintptr_t ip = _Unwind_GetIPInfo(context, &before);
    if (before) return;   // a signal frame: never on a raise's path
    std::atomic<uintptr_t> &slot = plain_addresses[slot_of(ip)];
    if (call_site(context) == Site::LandingPad) {
        uintptr_t expected = ip;
        slot.compare_exchange_strong(expected, 0, std::memory_order_relaxed);
    } else {
        slot.store(ip, std::memory_order_relaxed);
    }
}

bool path_is_plain(const __seh_unwind_goal &goal, void *origin) {
    // Frame records: the caller's frame address, then the return address.
    const StackBounds stack = thread_stack_bounds();
    const uintptr_t frame_of_goal = goal_frame(goal);
    uintptr_t fp = uintptr_t(origin);
    for (int depth = 0; fp && depth < 64; ++depth) {
        if (fp < stack.low || fp + 2 * sizeof(void *) > stack.high || fp % sizeof(void *)) return false;
        const uintptr_t caller = reinterpret_cast<uintptr_t *>(fp)[0];
        const uintptr_t ip = reinterpret_cast<uintptr_t *>(fp)[1];
        if (caller == frame_of_goal) return known_plain(ip) || goal_needs_nothing(goal);
        if (!known_plain(ip)) return false;
        if (caller <= fp || caller > frame_of_goal) return false;
        fp = caller;
    }
    return false;
}

}  // namespace zeb::seh
