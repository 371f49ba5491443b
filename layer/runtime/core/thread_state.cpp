// Per-thread state: the chain of guarded blocks, the alternate signal stack
// on which faults are reported (so that a stack overflow can be), and the
// thread's stack bounds.
#include "core/internal.h"

#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

extern "C" {
__thread __seh_record *__seh_head;
__thread int __seh_thread_ready;
__thread unsigned long __seh_clock;
}

namespace zeb::seh {

__thread Dispatch *active_dispatch;

namespace {

constexpr size_t kAltStackSize = 256 * 1024;
constexpr size_t kAltStackGuard = 64 * 1024;

__thread uintptr_t stack_low, stack_high;
__thread AltStack alt_stack;

pthread_key_t alt_stack_key;
pthread_once_t alt_stack_key_once = PTHREAD_ONCE_INIT;

void release_alt_stack(void *mapping) {
    stack_t off = {};
    off.ss_flags = SS_DISABLE;
    sigaltstack(&off, nullptr);
    munmap(mapping, kAltStackSize + kAltStackGuard);
}

void make_alt_stack_key() { pthread_key_create(&alt_stack_key, release_alt_stack); }

void record_stack_bounds() {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return;
    void *addr = nullptr;
    size_t size = 0;
    if (pthread_attr_getstack(&attr, &addr, &size) == 0) {
        stack_low = reinterpret_cast<uintptr_t>(addr);
        stack_high = stack_low + size;
    }
    pthread_attr_destroy(&attr);
}

}  // namespace

StackBounds thread_stack_bounds() { return {stack_low, stack_high}; }

bool on_thread_stack() {
    const uintptr_t here = uintptr_t(__builtin_frame_address(0));
    return stack_low < here && here < stack_high;
}
AltStack thread_alt_stack() { return alt_stack; }

bool chain_reaches(const __seh_record *from, const __seh_record *wanted) {
    for (const __seh_record *r = from; r; r = r->prev)
        if (r == wanted) return true;
    return false;
}

}  // namespace zeb::seh

extern "C" void __seh_thread_init(void) {
    using namespace zeb::seh;
    if (__seh_thread_ready) return;
    __seh_thread_ready = 1;
    record_stack_bounds();
    stack_t current = {};
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)) {
        const uintptr_t low = reinterpret_cast<uintptr_t>(current.ss_sp);
        alt_stack = {low, low, low + current.ss_size};
        return;
    }
    // A guard without access below the stack: a handler that runs out of
    // it faults there, and says so, instead of writing over whatever is
    // mapped below.
    const size_t guard = kAltStackGuard;
    void *mapping = mmap(nullptr, kAltStackSize + guard, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (mapping == MAP_FAILED) return;
    mprotect(mapping, guard, PROT_NONE);
    stack_t alt = {};
    alt.ss_sp = static_cast<char *>(mapping) + guard;
    alt.ss_size = kAltStackSize;
    if (sigaltstack(&alt, nullptr) != 0) {
        munmap(mapping, kAltStackSize + guard);
        return;
    }
    const uintptr_t low = reinterpret_cast<uintptr_t>(alt.ss_sp);
    alt_stack = {low - guard, low, low + kAltStackSize};
    pthread_once(&alt_stack_key_once, make_alt_stack_key);
    pthread_setspecific(alt_stack_key, mapping);
}

namespace {
// The main thread is ready before main runs; other threads get ready the
// first time they enter a guarded block.
__attribute__((constructor)) void start_up() {
    __seh_thread_init();
    zeb::seh::install_fault_handlers();
}
}  // namespace
