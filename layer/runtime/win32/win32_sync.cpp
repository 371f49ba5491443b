// Interlocked operations (full barriers, as on the platform), critical
// sections (recursive locks) and events.
#include "win32/win32_objects.h"

#include <pthread.h>
#include <stdlib.h>

#include <new>
#include <string>
#include <unordered_map>

// ---- Interlocked ----------------------------------------------------------

namespace {
template <class T> T add_fetch(T volatile *p, T v) { return __atomic_add_fetch(p, v, __ATOMIC_SEQ_CST); }
template <class T> T exchange(T volatile *p, T v) { return __atomic_exchange_n(p, v, __ATOMIC_SEQ_CST); }
template <class T> T fetch_add(T volatile *p, T v) { return __atomic_fetch_add(p, v, __ATOMIC_SEQ_CST); }
// Returns the value found, whether or not it was replaced.
template <class T> T compare_exchange(T volatile *p, T exchange, T comparand) {
    __atomic_compare_exchange_n(p, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;
}
}  // namespace

extern "C" LONG WINAPI InterlockedIncrement(LONG volatile *addend) { return add_fetch<LONG>(addend, 1); }
extern "C" LONG WINAPI InterlockedDecrement(LONG volatile *addend) { return add_fetch<LONG>(addend, -1); }
extern "C" LONG WINAPI InterlockedExchange(LONG volatile *target, LONG value) { return exchange(target, value); }
extern "C" LONG WINAPI InterlockedExchangeAdd(LONG volatile *addend, LONG value) { return fetch_add(addend, value); }
extern "C" LONG WINAPI InterlockedCompareExchange(LONG volatile *destination, LONG exchange_, LONG comparand) {
    return compare_exchange(destination, exchange_, comparand);
}

extern "C" LONG64 WINAPI InterlockedIncrement64(LONG64 volatile *addend) { return add_fetch<LONG64>(addend, 1); }
extern "C" LONG64 WINAPI InterlockedDecrement64(LONG64 volatile *addend) { return add_fetch<LONG64>(addend, -1); }
extern "C" LONG64 WINAPI InterlockedExchange64(LONG64 volatile *target, LONG64 value) { return exchange(target, value); }
extern "C" LONG64 WINAPI InterlockedExchangeAdd64(LONG64 volatile *addend, LONG64 value) {
    return fetch_add(addend, value);
}
extern "C" LONG64 WINAPI InterlockedCompareExchange64(LONG64 volatile *destination, LONG64 exchange_,
                                                      LONG64 comparand) {
    return compare_exchange(destination, exchange_, comparand);
}

extern "C" PVOID WINAPI InterlockedExchangePointer(PVOID volatile *target, PVOID value) {
    return exchange(target, value);
}
extern "C" PVOID WINAPI InterlockedCompareExchangePointer(PVOID volatile *destination, PVOID exchange_,
                                                          PVOID comparand) {
    return compare_exchange(destination, exchange_, comparand);
}

// ---- Critical sections ------------------------------------------------------

namespace {

pthread_mutex_t *lock_of(LPCRITICAL_SECTION section) {
    return static_cast<pthread_mutex_t *>(section->LockSemaphore);
}

bool initialize(LPCRITICAL_SECTION section, DWORD spin_count) {
    pthread_mutex_t *lock = static_cast<pthread_mutex_t *>(malloc(sizeof(pthread_mutex_t)));
    if (!lock) return false;
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(lock, &attr);
    pthread_mutexattr_destroy(&attr);
    section->DebugInfo = nullptr;
    section->LockCount = -1;
    section->RecursionCount = 0;
    section->OwningThread = nullptr;
    section->LockSemaphore = lock;
    section->SpinCount = spin_count;
    return true;
}

HANDLE self() { return reinterpret_cast<HANDLE>(uintptr_t(GetCurrentThreadId())); }

// The owner alone changes these, after taking or before giving up the lock;
// other threads may read the owner.
void entered(LPCRITICAL_SECTION section) {
    __atomic_store_n(&section->OwningThread, self(), __ATOMIC_RELAXED);
    ++section->RecursionCount;
}

}  // namespace

extern "C" void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section) {
    if (!initialize(section, 0)) RaiseException(STATUS_NO_MEMORY, 0, 0, nullptr);
}

extern "C" BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD spin_count) {
    if (initialize(section, spin_count)) return TRUE;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
}

extern "C" void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section) {
    pthread_mutex_lock(lock_of(section));
    entered(section);
}

extern "C" BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION section) {
    if (pthread_mutex_trylock(lock_of(section)) != 0) return FALSE;
    entered(section);
    return TRUE;
}

extern "C" void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section) {
    // Leaving a section this thread does not hold changes nothing.
    if (__atomic_load_n(&section->OwningThread, __ATOMIC_RELAXED) != self() || section->RecursionCount <= 0)
        return;
    if (--section->RecursionCount == 0) __atomic_store_n(&section->OwningThread, HANDLE(nullptr), __ATOMIC_RELAXED);
    pthread_mutex_unlock(lock_of(section));
}

extern "C" void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section) {
    pthread_mutex_t *lock = lock_of(section);
    if (!lock) return;
    pthread_mutex_destroy(lock);
    free(lock);
    section->LockSemaphore = nullptr;
    section->OwningThread = nullptr;
    section->RecursionCount = 0;
}

// ---- Events -------------------------------------------------------------------

namespace zeb::seh::win32 {
namespace {

struct Event final : Object {
    Event(bool manual, bool set) : Object(Kind::Event), manual_reset(manual), is_set(set) {}
    bool signalled() const override { return is_set; }
    // A satisfied wait resets an auto-reset event: one waiter gets through.
    void acquire() override {
        if (!manual_reset) is_set = false;
    }
    const bool manual_reset;
    bool is_set;  // under the lock
};

// Named events, under the lock: a name lives as long as one handle does.
std::unordered_map<std::string, std::weak_ptr<Event>> &names() {
    static std::unordered_map<std::string, std::weak_ptr<Event>> map;
    return map;
}

BOOL set_state(HANDLE handle, bool set) {
    std::lock_guard<std::mutex> hold(objects().lock);
    std::shared_ptr<Object> object = object_of(handle);
    if (!object || object->kind != Object::Kind::Event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    static_cast<Event *>(object.get())->is_set = set;
    if (set) objects().changed.notify_all();
    return TRUE;
}

}  // namespace
}  // namespace zeb::seh::win32

using namespace zeb::seh::win32;

extern "C" HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manual_reset, BOOL initial_state, LPCSTR name) {
    std::shared_ptr<Event> event;
    DWORD error = ERROR_SUCCESS;
    try {
        if (name) {
            std::lock_guard<std::mutex> hold(objects().lock);
            std::weak_ptr<Event> &known = names()[name];
            event = known.lock();
            if (event) {
                error = ERROR_ALREADY_EXISTS;
            } else {
                event = std::make_shared<Event>(manual_reset != FALSE, initial_state != FALSE);
                known = event;
            }
        } else {
            event = std::make_shared<Event>(manual_reset != FALSE, initial_state != FALSE);
        }
    } catch (const std::bad_alloc &) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HANDLE handle = open_handle(std::move(event));
    if (handle) SetLastError(error);
    return handle;
}

extern "C" BOOL WINAPI SetEvent(HANDLE event) { return set_state(event, true); }
extern "C" BOOL WINAPI ResetEvent(HANDLE event) { return set_state(event, false); }
