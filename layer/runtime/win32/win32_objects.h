// The objects behind Win32 handles (threads, events) and the one lock and
// condition under which their states change and are waited for.
#pragma once

#include "seh_runtime.h"
#include "win32_api.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace zeb::seh::win32 {

struct Object {
    enum class Kind { Thread, Event, Never };
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object() = default;
    // Both under the lock: signalled, and what a satisfied wait takes.
    virtual bool signalled() const = 0;
    virtual void acquire() {}
    const Kind kind;
};

struct Objects {
    std::mutex lock;
    std::condition_variable changed;  // notified whenever an object becomes signalled
};
Objects &objects();

// A new handle for `object`; null with ERROR_NOT_ENOUGH_MEMORY set when the
// table cannot grow.  Takes the lock.
HANDLE open_handle(std::shared_ptr<Object> object);
// The object of a handle (the pseudo handles included), or null.  Called
// with the lock held.
std::shared_ptr<Object> object_of(HANDLE handle);

}  // namespace zeb::seh::win32
