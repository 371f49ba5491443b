// The handle table, closing handles, and waiting for the objects behind
// them.  One lock guards the table and the state of every object, so that
// waiting for several objects at once sees them all at one moment.
#include "win32/win32_objects.h"

#include <chrono>
#include <new>
#include <vector>

namespace zeb::seh::win32 {
namespace {

// Handles are small multiples of 4, as on the platform, well clear of null
// and of the pseudo handles at the top of the address space.
constexpr uintptr_t kFirstHandle = 0x100;

std::vector<std::shared_ptr<Object>> &table() {
    static std::vector<std::shared_ptr<Object>> slots;
    return slots;
}

struct Never final : Object {
    Never() : Object(Kind::Never) {}
    bool signalled() const override { return false; }
};

bool slot_of(HANDLE handle, size_t *slot) {
    const uintptr_t h = reinterpret_cast<uintptr_t>(handle);
    if (h < kFirstHandle || (h - kFirstHandle) % 4 != 0) return false;
    *slot = (h - kFirstHandle) / 4;
    return *slot < table().size() && table()[*slot];
}

DWORD fail(DWORD error) {
    SetLastError(error);
    return WAIT_FAILED;
}

}  // namespace

Objects &objects() {
    static Objects o;
    return o;
}

HANDLE open_handle(std::shared_ptr<Object> object) {
    std::lock_guard<std::mutex> hold(objects().lock);
    auto &slots = table();
    size_t slot = 0;
    while (slot < slots.size() && slots[slot]) ++slot;
    try {
        if (slot == slots.size()) slots.emplace_back();
    } catch (const std::bad_alloc &) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    slots[slot] = std::move(object);
    return reinterpret_cast<HANDLE>(kFirstHandle + 4 * slot);
}

std::shared_ptr<Object> object_of(HANDLE handle) {
    if (handle == GetCurrentThread() || handle == GetCurrentProcess()) {
        static const std::shared_ptr<Object> never = std::make_shared<Never>();
        return never;
    }
    size_t slot;
    return slot_of(handle, &slot) ? table()[slot] : nullptr;
}

}  // namespace zeb::seh::win32

using namespace zeb::seh::win32;

extern "C" BOOL WINAPI CloseHandle(HANDLE handle) {
    if (handle == GetCurrentThread() || handle == GetCurrentProcess()) return TRUE;
    std::shared_ptr<Object> last;  // destroyed after the lock is released
    std::lock_guard<std::mutex> hold(objects().lock);
    size_t slot;
    if (!slot_of(handle, &slot)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    last.swap(table()[slot]);
    return TRUE;
}

extern "C" DWORD WINAPI WaitForMultipleObjects(DWORD count, const HANDLE *handles, BOOL all, DWORD milliseconds) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) return fail(ERROR_INVALID_PARAMETER);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    std::shared_ptr<Object> waited[MAXIMUM_WAIT_OBJECTS];
    std::unique_lock<std::mutex> hold(objects().lock);
    for (DWORD i = 0; i < count; ++i) {
        waited[i] = object_of(handles[i]);
        if (!waited[i]) return fail(ERROR_INVALID_HANDLE);
        // Waiting for all of the same object twice is refused, as there.
        for (DWORD j = 0; all && j < i; ++j)
            if (waited[j] == waited[i]) return fail(ERROR_INVALID_PARAMETER);
    }
    for (;;) {
        if (all) {
            DWORD ready = 0;
            while (ready < count && waited[ready]->signalled()) ++ready;
            if (ready == count) {
                for (DWORD i = 0; i < count; ++i) waited[i]->acquire();
                return WAIT_OBJECT_0;
            }
        } else {
            for (DWORD i = 0; i < count; ++i)
                if (waited[i]->signalled()) {
                    waited[i]->acquire();
                    return WAIT_OBJECT_0 + i;
                }
        }
        if (milliseconds == INFINITE) {
            objects().changed.wait(hold);
        } else if (milliseconds == 0 || objects().changed.wait_until(hold, deadline) == std::cv_status::timeout) {
            // One last look: the object may have become signalled as the time ran out.
            if (milliseconds == 0) return WAIT_TIMEOUT;
            milliseconds = 0;
        }
    }
}

extern "C" DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}
