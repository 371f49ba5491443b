// Threads as the platform makes them: a routine returning an exit code,
// a handle that becomes signalled when the thread ends, and the pseudo
// handles of the current thread and process.
#include "win32/win32_objects.h"

#include <pthread.h>
#include <sched.h>
#include <setjmp.h>
#include <unistd.h>

#include <new>

namespace zeb::seh::win32 {
namespace {

struct Thread final : Object {
    Thread(LPTHREAD_START_ROUTINE r, LPVOID p, DWORD suspended) : Object(Kind::Thread), routine(r),
        parameter(p), suspend_count(suspended) {}
    bool signalled() const override { return finished; }
    const LPTHREAD_START_ROUTINE routine;
    const LPVOID parameter;
    // Under the lock.
    DWORD suspend_count;
    DWORD id = 0;
    bool finished = false;
    DWORD exit_code = STILL_ACTIVE;
};

// Under the lock: threads made here that have not ended, and the exit code
// of the last one that did (the process's, when the main thread leaves
// first).
int running;
DWORD last_exit_code;

// Where ExitThread leaves a thread made here.
__thread jmp_buf *exit_jump;
__thread DWORD exit_thread_code;

// Under the lock.
std::shared_ptr<Thread> thread_object(HANDLE handle) {
    std::shared_ptr<Object> object = object_of(handle);
    if (!object || object->kind != Object::Kind::Thread) return nullptr;
    return std::static_pointer_cast<Thread>(object);
}

void finish(Thread *self, DWORD code) {
    std::lock_guard<std::mutex> hold(objects().lock);
    self->exit_code = code;
    self->finished = true;
    last_exit_code = code;
    --running;
    objects().changed.notify_all();
}

void *thread_main(void *start) {
    std::shared_ptr<Thread> self;
    self.swap(*static_cast<std::shared_ptr<Thread> *>(start));
    delete static_cast<std::shared_ptr<Thread> *>(start);
    __seh_thread_init();
    {
        std::unique_lock<std::mutex> hold(objects().lock);
        self->id = GetCurrentThreadId();
        objects().changed.notify_all();
        objects().changed.wait(hold, [&] { return self->suspend_count == 0; });
    }
    jmp_buf jump;
    exit_jump = &jump;
    DWORD code;
    if (setjmp(jump) == 0)
        code = self->routine(self->parameter);
    else
        code = exit_thread_code;
    exit_jump = nullptr;
    finish(self.get(), code);
    return nullptr;
}

}  // namespace
}  // namespace zeb::seh::win32

using namespace zeb::seh::win32;

extern "C" HANDLE WINAPI GetCurrentThread(void) { return reinterpret_cast<HANDLE>(intptr_t(-2)); }
extern "C" HANDLE WINAPI GetCurrentProcess(void) { return reinterpret_cast<HANDLE>(intptr_t(-1)); }

extern "C" HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T stack_size, LPTHREAD_START_ROUTINE routine,
                                      LPVOID parameter, DWORD flags, LPDWORD thread_id) {
    if (!routine) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::shared_ptr<Thread> *start;
    try {
        start = new std::shared_ptr<Thread>(
            std::make_shared<Thread>(routine, parameter, (flags & CREATE_SUSPENDED) ? 1 : 0));
    } catch (const std::bad_alloc &) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::shared_ptr<Thread> thread = *start;
    HANDLE handle = open_handle(thread);
    if (!handle) {
        delete start;
        return nullptr;
    }

    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (stack_size) {
        // The whole stack, rounded up to the allocation granularity; some
        // of it holds the thread's own data and the guard page.
        const size_t granule = 64 * 1024;
        const size_t size = stack_size > SIZE_MAX - granule ? SIZE_MAX & ~(granule - 1)
                                                           : (stack_size + granule - 1) & ~(granule - 1);
        pthread_attr_setstacksize(&attr, size);
    }
    {
        std::lock_guard<std::mutex> hold(objects().lock);
        ++running;
    }
    pthread_t ignored;
    const int error = pthread_create(&ignored, &attr, thread_main, start);
    pthread_attr_destroy(&attr);
    if (error) {
        {
            std::lock_guard<std::mutex> hold(objects().lock);
            --running;
        }
        delete start;
        CloseHandle(handle);
        SetLastError(error == EAGAIN ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (thread_id) {
        DWORD id;
        {
            std::unique_lock<std::mutex> hold(objects().lock);
            objects().changed.wait(hold, [&] { return thread->id != 0; });
            id = thread->id;
        }
        *thread_id = id;
    }
    return handle;
}

extern "C" DWORD WINAPI ResumeThread(HANDLE handle) {
    if (handle == GetCurrentThread()) return 0;
    std::lock_guard<std::mutex> hold(objects().lock);
    std::shared_ptr<Thread> thread = thread_object(handle);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return DWORD(-1);
    }
    const DWORD before = thread->suspend_count;
    if (before && --thread->suspend_count == 0) objects().changed.notify_all();
    return before;
}

extern "C" void WINAPI ExitThread(DWORD code) {
    if (exit_jump) {
        exit_thread_code = code;
        longjmp(*exit_jump, 1);
    }
    if (GetCurrentThreadId() == GetCurrentProcessId()) {
        // The main thread: the process ends with the last thread, and with
        // that thread's exit code.
        std::unique_lock<std::mutex> hold(objects().lock);
        const bool alone = running == 0;
        objects().changed.wait(hold, [] { return running == 0; });
        const DWORD status = alone ? code : last_exit_code;
        hold.unlock();
        ExitProcess(status);
    }
    // A thread that another library made: it ends without unwinding
    // further than the library's own start routine allows.
    pthread_exit(nullptr);
}

extern "C" BOOL WINAPI GetExitCodeThread(HANDLE handle, LPDWORD exit_code) {
    if (!exit_code) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD code = STILL_ACTIVE;
    if (handle != GetCurrentThread()) {
        std::lock_guard<std::mutex> hold(objects().lock);
        std::shared_ptr<Thread> thread = thread_object(handle);
        if (!thread) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        code = thread->finished ? thread->exit_code : STILL_ACTIVE;
    }
    *exit_code = code;
    return TRUE;
}

extern "C" DWORD WINAPI GetThreadId(HANDLE handle) {
    if (handle == GetCurrentThread()) return GetCurrentThreadId();
    std::unique_lock<std::mutex> hold(objects().lock);
    std::shared_ptr<Thread> thread = thread_object(handle);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    objects().changed.wait(hold, [&] { return thread->id != 0; });
    return thread->id;
}

extern "C" BOOL WINAPI TerminateProcess(HANDLE process, UINT status) {
    if (process != GetCurrentProcess()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    ExitProcess(status);
}

extern "C" BOOL WINAPI SwitchToThread(void) {
    sched_yield();
    return TRUE;
}
