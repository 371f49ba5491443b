// Virtual memory as the platform hands it out: regions reserved at the
// 64 KiB allocation granularity, pages committed, protected and guarded
// within them, and the process heap.
#include "win32/guard_pages.h"
#include "win32/processor.h"
#include "win32_api.h"

#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <iterator>
#include <map>
#include <mutex>
#include <new>

namespace zeb::seh {
namespace {

constexpr uintptr_t kGranularity = 64 * 1024;

uintptr_t page_size() {
    static const uintptr_t size = uintptr_t(sysconf(_SC_PAGESIZE));
    return size;
}
uintptr_t round_down(uintptr_t value, uintptr_t unit) { return value & ~(unit - 1); }
// False when the rounded value would not fit.
bool round_up(uintptr_t value, uintptr_t unit, uintptr_t *rounded) {
    if (value > UINTPTR_MAX - (unit - 1)) return false;
    *rounded = round_down(value + unit - 1, unit);
    return true;
}

// One protection constant, optionally with one of the modifiers; a guard
// on a page without access means nothing and is refused.
bool valid_protection(DWORD protect) {
    const DWORD base = protect & 0xFF, modifiers = protect & ~DWORD(0xFF);
    if (base == 0 || (base & (base - 1)) != 0) return false;
    if (modifiers & ~DWORD(PAGE_GUARD | PAGE_NOCACHE | PAGE_WRITECOMBINE)) return false;
    if ((modifiers & PAGE_NOCACHE) && (modifiers & PAGE_WRITECOMBINE)) return false;
    return !(base == PAGE_NOACCESS && (modifiers & PAGE_GUARD));
}

int native(DWORD protect) {
    if (protect & PAGE_GUARD) return PROT_NONE;
    switch (protect & 0xFF) {
    case PAGE_READONLY: return PROT_READ;
    case PAGE_READWRITE:
    case PAGE_WRITECOPY: return PROT_READ | PROT_WRITE;
    case PAGE_EXECUTE: return PROT_EXEC;
    case PAGE_EXECUTE_READ: return PROT_READ | PROT_EXEC;
    case PAGE_EXECUTE_READWRITE:
    case PAGE_EXECUTE_WRITECOPY: return PROT_READ | PROT_WRITE | PROT_EXEC;
    default: return PROT_NONE;
    }
}

// A region from VirtualAlloc.  `runs` maps the first page of each run of
// pages alike to their protection, 0 for reserved and not committed.  A
// guarded page is a run of its own, so lifting its guard in the fault
// handler changes a value and allocates nothing.
struct Region {
    uintptr_t end;
    std::map<uintptr_t, DWORD> runs;
};

struct Table {
    std::mutex lock;
    std::map<uintptr_t, Region> regions;  // by base address
    // Guarded pages of memory that VirtualAlloc did not give, with their
    // protection under the guard; 0 once the guard is lifted.
    std::map<uintptr_t, DWORD> foreign_guards;
};
Table &table() {
    static Table t;
    return t;
}
// Set while this thread holds the table's lock: a fault then is not a
// guard page's, and must not wait for the lock.
__thread bool holding;

struct Hold {
    std::lock_guard<std::mutex> guard{table().lock};
    Hold() { holding = true; }
    ~Hold() { holding = false; }
};

Region *region_at(uintptr_t address, uintptr_t *base = nullptr) {
    auto &regions = table().regions;
    auto it = regions.upper_bound(address);
    if (it == regions.begin()) return nullptr;
    --it;
    if (address >= it->second.end) return nullptr;
    if (base) *base = it->first;
    return &it->second;
}

std::map<uintptr_t, DWORD>::iterator run_at(Region &region, uintptr_t address) {
    return std::prev(region.runs.upper_bound(address));
}

void split(Region &region, uintptr_t at) {
    if (at >= region.end) return;
    auto it = run_at(region, at);
    if (it->first != at) region.runs.emplace_hint(std::next(it), at, it->second);
}

void assign(Region &region, uintptr_t start, uintptr_t end, DWORD protect) {
    split(region, start);
    split(region, end);
    auto &runs = region.runs;
    runs.erase(runs.find(start), runs.lower_bound(end));
    if (protect & PAGE_GUARD) {
        for (uintptr_t page = start; page < end; page += page_size()) runs.emplace(page, protect);
        return;
    }
    auto it = runs.emplace(start, protect).first;
    auto next = std::next(it);
    if (next != runs.end() && next->second == protect) runs.erase(next);
    if (it != runs.begin() && std::prev(it)->second == protect) runs.erase(it);
}

bool all_committed(Region &region, uintptr_t start, uintptr_t end) {
    for (auto it = run_at(region, start); it != region.runs.end() && it->first < end; ++it)
        if (it->second == 0) return false;
    return true;
}

// A fresh mapping without access at `at` (anywhere aligned to the
// granularity when 0), or 0.
uintptr_t map_region(uintptr_t at, uintptr_t length) {
    const int flags = MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE;
    if (at) {
        void *p = mmap(reinterpret_cast<void *>(at), length, PROT_NONE, flags, -1, 0);
        if (p == MAP_FAILED) return 0;
        if (reinterpret_cast<uintptr_t>(p) != at) {
            munmap(p, length);
            return 0;
        }
        return at;
    }
    if (length > UINTPTR_MAX - kGranularity) return 0;
    const uintptr_t over = length + kGranularity - page_size();
    void *p = mmap(nullptr, over, PROT_NONE, flags, -1, 0);
    if (p == MAP_FAILED) return 0;
    const uintptr_t start = reinterpret_cast<uintptr_t>(p), base = round_down(start + kGranularity - 1, kGranularity);
    if (base > start) munmap(p, base - start);
    if (start + over > base + length) munmap(reinterpret_cast<void *>(base + length), start + over - base - length);
    return base;
}

// Decommitted pages lose their contents: a new mapping replaces them.
bool discard(uintptr_t start, uintptr_t end) {
    return mmap(reinterpret_cast<void *>(start), end - start, PROT_NONE,
                MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED, -1, 0) != MAP_FAILED;
}

// The system's protection of a page that VirtualAlloc did not give, or 0
// when nothing is mapped there.  Read without allocating: the table's lock
// is held, and a fault in the allocator must not wait for it.
DWORD system_protection(uintptr_t page) {
    const int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char buffer[4096];
    size_t filled = 0;
    DWORD found = 0;
    for (bool more = true; more && !found;) {
        const ssize_t n = read(fd, buffer + filled, sizeof buffer - filled);
        more = n > 0;
        if (n > 0) filled += size_t(n);
        // Each whole line: "low-high perms ...".
        char *line = buffer, *end;
        while (!found && (end = static_cast<char *>(memchr(line, '\n', buffer + filled - line)))) {
            *end = 0;
            char *cursor;
            const uintptr_t low = strtoull(line, &cursor, 16);
            const uintptr_t high = *cursor == '-' ? strtoull(cursor + 1, &cursor, 16) : 0;
            if (page >= low && page < high && cursor[0] == ' ' && end - cursor > 3) {
                const bool r = cursor[1] == 'r', w = cursor[2] == 'w', x = cursor[3] == 'x';
                found = x ? (w ? PAGE_EXECUTE_READWRITE : r ? PAGE_EXECUTE_READ : PAGE_EXECUTE)
                          : (w ? PAGE_READWRITE : r ? PAGE_READONLY : PAGE_NOACCESS);
            }
            line = end + 1;
        }
        filled -= size_t(line - buffer);
        memmove(buffer, line, filled);
        if (filled == sizeof buffer) filled = 0;  // no line is that long
    }
    close(fd);
    return found;
}

DWORD foreign_guard(uintptr_t page) {
    auto it = table().foreign_guards.find(page);
    return it == table().foreign_guards.end() ? 0 : it->second;
}

// VirtualProtect for memory that VirtualAlloc did not give: the system's
// protection, and a guard that this table remembers.
bool protect_foreign(uintptr_t start, uintptr_t end, DWORD protect, DWORD *before) {
    auto &regions = table().regions;
    auto next = regions.lower_bound(end);
    if (next != regions.begin() && std::prev(next)->second.end > start) return false;  // partly a region
    const DWORD guarded = foreign_guard(start);
    *before = guarded ? guarded | PAGE_GUARD : system_protection(start);
    if (!*before || mprotect(reinterpret_cast<void *>(start), end - start, native(protect)) != 0) return false;
    auto &guards = table().foreign_guards;
    guards.erase(guards.lower_bound(start), guards.lower_bound(end));
    if (protect & PAGE_GUARD)
        for (uintptr_t page = start; page < end; page += page_size()) guards.emplace(page, protect & ~DWORD(PAGE_GUARD));
    return true;
}

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace

bool take_guard_page(uintptr_t address) {
    if (holding) return false;
    const uintptr_t page = round_down(address, page_size());
    Hold hold;
    DWORD *protect = nullptr;
    Region *region = region_at(page);
    const bool in_region = region != nullptr;
    if (region) {
        auto it = run_at(*region, page);
        if (it->second & PAGE_GUARD) protect = &it->second;
    } else {
        auto it = table().foreign_guards.find(page);
        if (it != table().foreign_guards.end() && it->second) protect = &it->second;
    }
    if (!protect) return false;
    const DWORD lifted = *protect & ~DWORD(PAGE_GUARD);
    if (mprotect(reinterpret_cast<void *>(page), page_size(), native(lifted)) != 0) return false;
    *protect = in_region ? lifted : 0;
    return true;
}

}  // namespace zeb::seh

using namespace zeb::seh;

extern "C" LPVOID WINAPI VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
    const uintptr_t at = reinterpret_cast<uintptr_t>(address);
    uintptr_t end;
    if (size == 0 || (type & ~DWORD(MEM_COMMIT | MEM_RESERVE | MEM_TOP_DOWN)) ||
        !(type & (MEM_COMMIT | MEM_RESERVE)) || !valid_protection(protect)) {
        fail(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (at > UINTPTR_MAX - size || !round_up(at + size, page_size(), &end)) {
        fail(ERROR_INVALID_ADDRESS);
        return nullptr;
    }
    try {
        if ((type & MEM_RESERVE) || !at) {
            // A new region; committing without an address reserves too.
            const uintptr_t start = round_down(at, kGranularity);
            const uintptr_t base = map_region(start, end - start);
            if (!base) {
                fail(at ? ERROR_INVALID_ADDRESS : ERROR_NOT_ENOUGH_MEMORY);
                return nullptr;
            }
            const uintptr_t length = end - start;
            try {
                Region region{base + length, {{base, 0}}};
                if (type & MEM_COMMIT) {
                    assign(region, base, base + length, protect);
                    mprotect(reinterpret_cast<void *>(base), length, native(protect));
                }
                Hold hold;
                table().regions.emplace(base, std::move(region));
            } catch (const std::bad_alloc &) {
                munmap(reinterpret_cast<void *>(base), length);
                throw;
            }
            return reinterpret_cast<LPVOID>(base);
        }
        // Committing pages of a reservation.
        const uintptr_t start = round_down(at, page_size());
        Hold hold;
        Region *region = region_at(start);
        if (!region || end > region->end ||
            mprotect(reinterpret_cast<void *>(start), end - start, native(protect)) != 0) {
            fail(ERROR_INVALID_ADDRESS);
            return nullptr;
        }
        assign(*region, start, end, protect);
        return reinterpret_cast<LPVOID>(start);
    } catch (const std::bad_alloc &) {
        fail(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

extern "C" BOOL WINAPI VirtualFree(LPVOID address, SIZE_T size, DWORD type) {
    const uintptr_t at = reinterpret_cast<uintptr_t>(address);
    if (type == MEM_RELEASE) {
        if (size != 0) return fail(ERROR_INVALID_PARAMETER);
        Hold hold;
        auto it = table().regions.find(at);
        if (it == table().regions.end()) return fail(ERROR_INVALID_ADDRESS);
        munmap(address, it->second.end - at);
        table().regions.erase(it);
        return TRUE;
    }
    if (type != MEM_DECOMMIT) return fail(ERROR_INVALID_PARAMETER);
    try {
        Hold hold;
        uintptr_t base, start = round_down(at, page_size()), end;
        Region *region = region_at(at, &base);
        if (!region) return fail(ERROR_INVALID_ADDRESS);
        if (size == 0) {
            if (at != base) return fail(ERROR_INVALID_ADDRESS);
            end = region->end;
        } else if (at > UINTPTR_MAX - size || !round_up(at + size, page_size(), &end) || end > region->end) {
            return fail(ERROR_INVALID_ADDRESS);
        }
        if (!discard(start, end)) return fail(ERROR_NOT_ENOUGH_MEMORY);
        assign(*region, start, end, 0);
        return TRUE;
    } catch (const std::bad_alloc &) {
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}

extern "C" BOOL WINAPI VirtualProtect(LPVOID address, SIZE_T size, DWORD protect, PDWORD old_protect) {
    const uintptr_t at = reinterpret_cast<uintptr_t>(address);
    if (!old_protect || size == 0 || !valid_protection(protect)) return fail(ERROR_INVALID_PARAMETER);
    const uintptr_t start = round_down(at, page_size());
    uintptr_t end;
    if (at > UINTPTR_MAX - size || !round_up(at + size, page_size(), &end)) return fail(ERROR_INVALID_ADDRESS);
    DWORD before;
    try {
        Hold hold;
        if (Region *region = region_at(start)) {
            if (end > region->end || !all_committed(*region, start, end)) return fail(ERROR_INVALID_ADDRESS);
            before = run_at(*region, start)->second;
            if (mprotect(reinterpret_cast<void *>(start), end - start, native(protect)) != 0)
                return fail(ERROR_INVALID_ADDRESS);
            assign(*region, start, end, protect);
        } else if (!protect_foreign(start, end, protect, &before)) {
            return fail(ERROR_INVALID_ADDRESS);
        }
    } catch (const std::bad_alloc &) {
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    // Written once the table is let go: a bad pointer faults as the caller's own access.
    *old_protect = before;
    return TRUE;
}

extern "C" void WINAPI GetSystemInfo(LPSYSTEM_INFO info) {
    SYSTEM_INFO s = {};
    zeb::seh::win32::describe_processor(&s);
    s.dwPageSize = DWORD(page_size());
    s.dwAllocationGranularity = DWORD(kGranularity);
    s.lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(kGranularity);
    s.lpMaximumApplicationAddress =
        reinterpret_cast<LPVOID>(sizeof(void *) == 8 ? uintptr_t(0x7FFFFFFEFFFFull) : uintptr_t(0x7FFEFFFFu));
    long processors = sysconf(_SC_NPROCESSORS_ONLN);
    s.dwNumberOfProcessors = processors > 0 ? DWORD(processors) : 1;
    s.dwActiveProcessorMask = s.dwNumberOfProcessors >= 8 * sizeof(DWORD_PTR)
                                  ? ~DWORD_PTR(0)
                                  : (DWORD_PTR(1) << s.dwNumberOfProcessors) - 1;
    *info = s;
}

extern "C" void WINAPI GetNativeSystemInfo(LPSYSTEM_INFO info) { GetSystemInfo(info); }

// ---- The process heap: the C library's. ------------------------------------

namespace {
char process_heap;
}

extern "C" HANDLE WINAPI GetProcessHeap(void) { return &process_heap; }

extern "C" LPVOID WINAPI HeapAlloc(HANDLE, DWORD flags, SIZE_T bytes) {
    // As there, a block of no bytes is still a block of its own.
    const size_t size = bytes ? bytes : 1;
    void *block = (flags & HEAP_ZERO_MEMORY) ? calloc(1, size) : malloc(size);
    if (!block && (flags & HEAP_GENERATE_EXCEPTIONS)) RaiseException(STATUS_NO_MEMORY, 0, 0, nullptr);
    return block;
}

extern "C" BOOL WINAPI HeapFree(HANDLE, DWORD, LPVOID block) {
    free(block);
    return TRUE;
}
