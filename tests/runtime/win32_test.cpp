// The Win32 functions around exception handling: threads and waiting,
// interlocked operations, critical sections, events, and virtual memory
// with its access violations and guard pages.
#include <windows.h>

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <vector>

// Faults on purpose: the undefined-behaviour sanitizer must not stop them first.
#define FAULTS_ON_PURPOSE __declspec(noinline) __attribute__((no_sanitize("undefined")))

namespace {

FAULTS_ON_PURPOSE int read_at(uintptr_t address) { return *reinterpret_cast<volatile int *>(address); }
FAULTS_ON_PURPOSE void write_at(uintptr_t address) { *reinterpret_cast<volatile int *>(address) = 7; }

struct Seen {
    DWORD code = 0, count = 0;
    ULONG_PTR info[2] = {~0ul, ~0ul};
};

// Reads (or writes) `address` under a filter that records what it saw.
Seen probe(uintptr_t address, bool write = false) {
    Seen s;
    EXCEPTION_RECORD *r;
    __try {
        if (write) write_at(address);
        else read_at(address);
    } __except (r = GetExceptionInformation()->ExceptionRecord, s.code = r->ExceptionCode,
                s.count = r->NumberParameters, s.info[0] = r->ExceptionInformation[0],
                s.info[1] = r->ExceptionInformation[1], EXCEPTION_EXECUTE_HANDLER) {
    }
    return s;
}

void expect_fault(const Seen &s, DWORD code, ULONG_PTR kind, uintptr_t address) {
    EXPECT_EQ(s.code, code);
    ASSERT_EQ(s.count, 2u);
    EXPECT_EQ(s.info[0], kind);
    EXPECT_EQ(s.info[1], address);
}

// ---- Threads ---------------------------------------------------------------

struct Gate {
    HANDLE go;
    DWORD result;
    DWORD id = 0;
};

DWORD WINAPI wait_then_return(LPVOID p) {
    Gate *g = static_cast<Gate *>(p);
    g->id = GetCurrentThreadId();
    WaitForSingleObject(g->go, INFINITE);
    return g->result;
}

TEST(Win32Threads, ExitCodeTimeoutsAndHandles) {
    Gate g{CreateEventA(nullptr, TRUE, FALSE, nullptr), 42};
    DWORD id = 0, code = 0;
    HANDLE t = CreateThread(nullptr, 0, wait_then_return, &g, 0, &id);
    ASSERT_NE(t, nullptr);
    EXPECT_NE(id, GetCurrentThreadId());
    EXPECT_EQ(GetThreadId(t), id);

    const DWORD start = GetTickCount();
    EXPECT_EQ(WaitForSingleObject(t, 50), WAIT_TIMEOUT);
    EXPECT_GE(GetTickCount() - start, 45u);
    EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_TIMEOUT);
    ASSERT_TRUE(GetExitCodeThread(t, &code));
    EXPECT_EQ(code, DWORD(STILL_ACTIVE));

    SetEvent(g.go);
    EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_OBJECT_0) << "stays signalled";
    ASSERT_TRUE(GetExitCodeThread(t, &code));
    EXPECT_EQ(code, 42u);
    EXPECT_EQ(g.id, id);

    EXPECT_TRUE(CloseHandle(t));
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(t));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_FAILED);
    EXPECT_FALSE(GetExitCodeThread(t, &code));
    EXPECT_FALSE(CloseHandle(nullptr));
    CloseHandle(g.go);

    // The current thread's pseudo handle: running, never signalled.
    EXPECT_EQ(WaitForSingleObject(GetCurrentThread(), 1), WAIT_TIMEOUT);
    ASSERT_TRUE(GetExitCodeThread(GetCurrentThread(), &code));
    EXPECT_EQ(code, DWORD(STILL_ACTIVE));
    EXPECT_TRUE(CloseHandle(GetCurrentThread()));
    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
}

std::string exit_trace;

void exit_from_inside() {
    __try {
        __try {
            exit_trace += "body ";
            ExitThread(9);
        } __finally {
            exit_trace += "inner-finally ";
        }
    } __except (EXCEPTION_EXECUTE_HANDLER) {
        exit_trace += "handler ";
    }
    exit_trace += "after ";
}

DWORD WINAPI exits_early(LPVOID) {
    exit_from_inside();
    return 1;
}

TEST(Win32Threads, ExitThreadEndsAtOnceWithoutTerminationHandlers) {
    exit_trace.clear();
    HANDLE t = CreateThread(nullptr, 0, exits_early, nullptr, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeThread(t, &code);
    EXPECT_EQ(code, 9u);
    EXPECT_EQ(exit_trace, "body ");
    CloseHandle(t);
}

DWORD WINAPI count_up(LPVOID p) {
    InterlockedIncrement(static_cast<LONG *>(p));
    return 0;
}

TEST(Win32Threads, CreateSuspendedWaitsForResume) {
    LONG ran = 0;
    HANDLE t = CreateThread(nullptr, 0, count_up, &ran, CREATE_SUSPENDED, nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(WaitForSingleObject(t, 30), WAIT_TIMEOUT);
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(ResumeThread(t), 1u);
    EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(ResumeThread(t), 0u);
    CloseHandle(t);
}

volatile bool forever = true;
__declspec(noinline) int recurse(volatile char *below) {
    volatile char pad[256];
    pad[0] = below ? char(below[0] + 1) : 0;
    return forever ? recurse(pad) + pad[1] : 0;
}

struct Caught {
    DWORD fault = 0, overflow = 0;
    uintptr_t address = 0;
    size_t stack = 0;
};

DWORD WINAPI faults_in_thread(LPVOID p) {
    Caught *c = static_cast<Caught *>(p);
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
        pthread_attr_getstacksize(&attr, &c->stack);
        pthread_attr_destroy(&attr);
    }
    __try {
        read_at(0x40);
    } __except (c->address = GetExceptionInformation()->ExceptionRecord->ExceptionInformation[1],
                c->fault = GetExceptionCode(), EXCEPTION_EXECUTE_HANDLER) {
    }
    __try {
        recurse(nullptr);
    } __except (c->overflow = GetExceptionCode(), EXCEPTION_EXECUTE_HANDLER) {
    }
    return 5;
}

TEST(Win32Threads, FaultsInACreatedThreadAreCaughtThere) {
    // A small stack, as asked for, overflows soon.
    for (SIZE_T stack : {SIZE_T(0), SIZE_T(256 * 1024)}) {
        Caught c;
        HANDLE t = CreateThread(nullptr, stack, faults_in_thread, &c, 0, nullptr);
        ASSERT_NE(t, nullptr);
        ASSERT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
        DWORD code = 0;
        GetExitCodeThread(t, &code);
        EXPECT_EQ(code, 5u);
        EXPECT_EQ(c.fault, STATUS_ACCESS_VIOLATION);
        EXPECT_EQ(c.address, 0x40u);
        EXPECT_EQ(c.overflow, STATUS_STACK_OVERFLOW) << "stack " << stack;
        if (stack) {
            EXPECT_GE(c.stack, stack);
            EXPECT_LT(c.stack, 2 * stack);
        }
        CloseHandle(t);
    }
}

// A fault just below a thread's stack, from a stack pointer well above it,
// is an access violation, not a stack overflow.
__attribute__((no_sanitize("undefined"))) __declspec(noinline) int read_int(volatile int *p) { return *p; }

DWORD WINAPI fault_below_own_stack(LPVOID arg) {
    pthread_attr_t attr;
    void *low = nullptr;
    size_t size = 0;
    pthread_getattr_np(pthread_self(), &attr);
    pthread_attr_getstack(&attr, &low, &size);
    pthread_attr_destroy(&attr);
    const uintptr_t want = (reinterpret_cast<uintptr_t>(low) - 0x100000) & ~uintptr_t(0xFFFF);
    char *p = static_cast<char *>(VirtualAlloc(reinterpret_cast<void *>(want), 65536, MEM_RESERVE, PAGE_NOACCESS));
    DWORD *code = static_cast<DWORD *>(arg);
    if (!p) {   // the place is taken: nothing to learn this time
        *code = 0xFFFFFFFF;
        return 0;
    }
    __try {
        read_int(reinterpret_cast<volatile int *>(p));
    } __except (*code = GetExceptionCode(), EXCEPTION_EXECUTE_HANDLER) {
    }
    VirtualFree(p, 0, MEM_RELEASE);
    return 0;
}

TEST(Win32Threads, AccessViolationJustBelowAThreadStackIsNotAnOverflow) {
    DWORD code = 0;
    HANDLE t = CreateThread(nullptr, 0, fault_below_own_stack, &code, 0, nullptr);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
    CloseHandle(t);
    if (code == 0xFFFFFFFF) GTEST_SKIP() << "no free page just below the thread's stack";
    EXPECT_EQ(code, STATUS_ACCESS_VIOLATION);
}

TEST(Win32Threads, WaitForMultipleObjectsAnyAndAll) {
    Gate gates[3];
    HANDLE threads[3];
    for (DWORD i = 0; i < 3; ++i) {
        gates[i] = {CreateEventA(nullptr, TRUE, FALSE, nullptr), 10 + i};
        threads[i] = CreateThread(nullptr, 0, wait_then_return, &gates[i], 0, nullptr);
    }
    EXPECT_EQ(WaitForMultipleObjects(3, threads, FALSE, 20), WAIT_TIMEOUT);
    SetEvent(gates[2].go);
    EXPECT_EQ(WaitForMultipleObjects(3, threads, FALSE, INFINITE), WAIT_OBJECT_0 + 2);
    SetEvent(gates[1].go);
    EXPECT_EQ(WaitForMultipleObjects(3, threads, TRUE, 20), WAIT_TIMEOUT) << "one still runs";
    WaitForSingleObject(threads[1], INFINITE);
    EXPECT_EQ(WaitForMultipleObjects(3, threads, FALSE, 0), WAIT_OBJECT_0 + 1) << "the lowest signalled";
    SetEvent(gates[0].go);
    EXPECT_EQ(WaitForMultipleObjects(3, threads, TRUE, INFINITE), WAIT_OBJECT_0);
    for (DWORD i = 0; i < 3; ++i) {
        DWORD code = 0;
        GetExitCodeThread(threads[i], &code);
        EXPECT_EQ(code, 10 + i);
    }

    SetLastError(0);
    EXPECT_EQ(WaitForMultipleObjects(0, threads, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    HANDLE twice[2] = {threads[0], threads[0]};
    EXPECT_EQ(WaitForMultipleObjects(2, twice, TRUE, 0), WAIT_FAILED);
    HANDLE bad[2] = {threads[0], reinterpret_cast<HANDLE>(uintptr_t(0x7777770))};
    EXPECT_EQ(WaitForMultipleObjects(2, bad, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    for (DWORD i = 0; i < 3; ++i) {
        CloseHandle(threads[i]);
        CloseHandle(gates[i].go);
    }
}

TEST(Win32ThreadsDeathTest, ExitThreadInTheLastThreadAndTerminateProcessEndTheProcess) {
    EXPECT_EXIT(ExitThread(7), ::testing::ExitedWithCode(7), "");
    EXPECT_EXIT(TerminateProcess(GetCurrentProcess(), 3), ::testing::ExitedWithCode(3), "");
    EXPECT_FALSE(TerminateProcess(GetCurrentThread(), 3));
}

// ---- Events, interlocked operations, critical sections ---------------------

TEST(Win32Sync, AutoResetEventsLetOneWaiterThroughManualOnesAll) {
    HANDLE automatic = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    Gate g1{automatic, 1}, g2{automatic, 2};
    HANDLE threads[2] = {CreateThread(nullptr, 0, wait_then_return, &g1, 0, nullptr),
                         CreateThread(nullptr, 0, wait_then_return, &g2, 0, nullptr)};
    SetEvent(automatic);
    const DWORD first = WaitForMultipleObjects(2, threads, FALSE, INFINITE);
    ASSERT_LT(first, 2u);
    EXPECT_EQ(WaitForSingleObject(threads[1 - first], 30), WAIT_TIMEOUT) << "the other waiter stays";
    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT) << "the wait reset it";
    SetEvent(automatic);
    EXPECT_EQ(WaitForMultipleObjects(2, threads, TRUE, INFINITE), WAIT_OBJECT_0);

    HANDLE manual = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ResetEvent(manual));
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);

    // A name gives the same event again while a handle to it is open.
    HANDLE named = CreateEventA(nullptr, TRUE, FALSE, "zeb-win32-test");
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
    HANDLE again = CreateEventA(nullptr, TRUE, FALSE, "zeb-win32-test");
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_NE(again, named);
    SetEvent(named);
    EXPECT_EQ(WaitForSingleObject(again, 0), WAIT_OBJECT_0);

    EXPECT_FALSE(SetEvent(threads[0])) << "a thread is not an event";
    for (HANDLE h : {threads[0], threads[1], automatic, manual, named, again}) EXPECT_TRUE(CloseHandle(h));
}

struct Shared {
    LONG counter = 0, added = 0;
    LONG64 wide = 0xFFFFFFF0ll;
    CRITICAL_SECTION section;
    long plain = 0;  // changed only inside the section
};

DWORD WINAPI hammer(LPVOID p) {
    Shared *s = static_cast<Shared *>(p);
    for (int i = 0; i < 20000; ++i) {
        InterlockedIncrement(&s->counter);
        InterlockedExchangeAdd(&s->added, 3);
        InterlockedIncrement64(&s->wide);
        EnterCriticalSection(&s->section);
        EnterCriticalSection(&s->section);
        ++s->plain;
        LeaveCriticalSection(&s->section);
        LeaveCriticalSection(&s->section);
    }
    return 0;
}

TEST(Win32Sync, InterlockedCountersAndCriticalSectionsFromSeveralThreads) {
    Shared s;
    InitializeCriticalSection(&s.section);
    HANDLE threads[4];
    for (HANDLE &t : threads) t = CreateThread(nullptr, 0, hammer, &s, 0, nullptr);
    ASSERT_EQ(WaitForMultipleObjects(4, threads, TRUE, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(s.counter, 80000);
    EXPECT_EQ(s.added, 240000);
    EXPECT_EQ(s.wide, 0xFFFFFFF0ll + 80000);
    EXPECT_EQ(s.plain, 80000);
    for (HANDLE t : threads) CloseHandle(t);

    // The values returned: new for increment/decrement, old for the others.
    LONG v = 5;
    EXPECT_EQ(InterlockedDecrement(&v), 4);
    EXPECT_EQ(InterlockedExchange(&v, 9), 4);
    EXPECT_EQ(InterlockedCompareExchange(&v, 1, 8), 9) << "no match: unchanged";
    EXPECT_EQ(v, 9);
    EXPECT_EQ(InterlockedCompareExchange(&v, 1, 9), 9);
    EXPECT_EQ(v, 1);
    LONG64 w = 1ll << 40;
    EXPECT_EQ(InterlockedCompareExchange64(&w, 3, 1ll << 40), 1ll << 40);
    EXPECT_EQ(w, 3);
    PVOID slot = nullptr;
    EXPECT_EQ(InterlockedCompareExchangePointer(&slot, &v, nullptr), nullptr);
    EXPECT_EQ(InterlockedExchangePointer(&slot, nullptr), &v);
    DeleteCriticalSection(&s.section);
}

DWORD WINAPI try_enter(LPVOID p) {
    CRITICAL_SECTION *cs = static_cast<CRITICAL_SECTION *>(p);
    if (!TryEnterCriticalSection(cs)) return 0;
    LeaveCriticalSection(cs);
    return 1;
}

TEST(Win32Sync, CriticalSectionIsRecursiveAndOwned) {
    CRITICAL_SECTION cs;
    ASSERT_TRUE(InitializeCriticalSectionAndSpinCount(&cs, 100));
    EnterCriticalSection(&cs);
    EXPECT_TRUE(TryEnterCriticalSection(&cs));
    EXPECT_EQ(cs.RecursionCount, 2);
    EXPECT_EQ(uintptr_t(cs.OwningThread), uintptr_t(GetCurrentThreadId()));
    auto other_gets_it = [&cs] {
        HANDLE t = CreateThread(nullptr, 0, try_enter, &cs, 0, nullptr);
        WaitForSingleObject(t, INFINITE);
        DWORD got = 2;
        GetExitCodeThread(t, &got);
        CloseHandle(t);
        return got;
    };
    EXPECT_EQ(other_gets_it(), 0u);
    LeaveCriticalSection(&cs);
    EXPECT_EQ(other_gets_it(), 0u) << "still held once";
    LeaveCriticalSection(&cs);
    EXPECT_EQ(cs.OwningThread, nullptr);
    EXPECT_EQ(other_gets_it(), 1u);
    DeleteCriticalSection(&cs);
}

// ---- Virtual memory ---------------------------------------------------------

uintptr_t page_size() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    EXPECT_EQ(info.dwPageSize, DWORD(sysconf(_SC_PAGESIZE)));
    EXPECT_EQ(info.dwAllocationGranularity, 65536u);
    return info.dwPageSize;
}

TEST(Win32Memory, ProtectionsAndTheAccessViolationsTheyCause) {
    const uintptr_t page = page_size();
    char *p = static_cast<char *>(VirtualAlloc(nullptr, 3 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(uintptr_t(p) % 65536, 0u);
    EXPECT_EQ(p[0] + p[3 * page - 1], 0) << "committed memory is zero";
    p[page] = 'x';

    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(p + page + 10, 1, PAGE_NOACCESS, &old));
    EXPECT_EQ(old, DWORD(PAGE_READWRITE));
    const uintptr_t second = uintptr_t(p) + page;
    expect_fault(probe(second + 8), STATUS_ACCESS_VIOLATION, 0, second + 8);
    expect_fault(probe(second, true), STATUS_ACCESS_VIOLATION, 1, second);
    EXPECT_EQ(probe(uintptr_t(p)).code, 0u) << "the page before is untouched";
    EXPECT_EQ(probe(second + page).code, 0u) << "so is the page after";

    ASSERT_TRUE(VirtualProtect(p, 2 * page, PAGE_READONLY, &old));
    EXPECT_EQ(old, DWORD(PAGE_READWRITE)) << "the first page's";
    EXPECT_EQ(p[page], 'x') << "contents survive";
    expect_fault(probe(uintptr_t(p), true), STATUS_ACCESS_VIOLATION, 1, uintptr_t(p));
    ASSERT_TRUE(VirtualProtect(p, 1, PAGE_EXECUTE_READWRITE, &old));
    EXPECT_EQ(old, DWORD(PAGE_READONLY));
    EXPECT_EQ(probe(uintptr_t(p), true).code, 0u);

    SetLastError(0);
    EXPECT_FALSE(VirtualProtect(p, page, PAGE_READONLY | PAGE_READWRITE, &old));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(VirtualProtect(p, page, PAGE_READONLY, nullptr));
    EXPECT_TRUE(VirtualFree(p, 0, MEM_RELEASE));
}

TEST(Win32Memory, GuardPageRaisesOnceThenWorks) {
    const uintptr_t page = page_size();
    char *p = static_cast<char *>(VirtualAlloc(nullptr, 2 * page, MEM_COMMIT, PAGE_READWRITE | PAGE_GUARD));
    ASSERT_NE(p, nullptr);
    const uintptr_t first = uintptr_t(p), second = first + page;
    expect_fault(probe(first + 4), STATUS_GUARD_PAGE_VIOLATION, 0, first + 4);
    EXPECT_EQ(probe(first + 4).code, 0u) << "the guard is gone";
    EXPECT_EQ(probe(first, true).code, 0u);
    expect_fault(probe(second, true), STATUS_GUARD_PAGE_VIOLATION, 1, second);  // each page has its own
    EXPECT_EQ(p[page], 0) << "the guarded write did not happen";

    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(p, page, PAGE_READONLY | PAGE_GUARD, &old));
    EXPECT_EQ(old, DWORD(PAGE_READWRITE));
    ASSERT_TRUE(VirtualProtect(p, page, PAGE_READONLY | PAGE_GUARD, &old));
    EXPECT_EQ(old, DWORD(PAGE_READONLY | PAGE_GUARD));
    // Continuing retries the access, which now succeeds: how stacks grow there.
    int filters = 0, value = -1;
    __try {
        value = read_at(first);
    } __except (++filters, GetExceptionCode() == STATUS_GUARD_PAGE_VIOLATION ? EXCEPTION_CONTINUE_EXECUTION
                                                                           : EXCEPTION_EXECUTE_HANDLER) {
    }
    EXPECT_EQ(filters, 1);
    EXPECT_EQ(value, 7);
    // A read-only page under the guard stays read-only.
    expect_fault(probe(first, true), STATUS_ACCESS_VIOLATION, 1, first);
    EXPECT_TRUE(VirtualFree(p, 0, MEM_RELEASE));
}

TEST(Win32Memory, ProtectingMemoryVirtualAllocDidNotGive) {
    const uintptr_t page = page_size();
    void *raw = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(raw, MAP_FAILED);
    const uintptr_t p = uintptr_t(raw);
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(raw, page, PAGE_READONLY, &old));
    EXPECT_EQ(old, DWORD(PAGE_READWRITE));
    expect_fault(probe(p, true), STATUS_ACCESS_VIOLATION, 1, p);
    ASSERT_TRUE(VirtualProtect(raw, page, PAGE_READWRITE | PAGE_GUARD, &old));
    EXPECT_EQ(old, DWORD(PAGE_READONLY));
    expect_fault(probe(p + 16), STATUS_GUARD_PAGE_VIOLATION, 0, p + 16);
    EXPECT_EQ(probe(p + 16, true).code, 0u);
    ASSERT_TRUE(VirtualProtect(raw, page, PAGE_READWRITE, &old));
    EXPECT_EQ(old, DWORD(PAGE_READWRITE)) << "the guard was lifted";
    munmap(raw, 2 * page);
}

TEST(Win32Memory, ReserveCommitDecommitRelease) {
    const uintptr_t page = page_size();
    char *base = static_cast<char *>(VirtualAlloc(nullptr, 4 * page, MEM_RESERVE, PAGE_NOACCESS));
    ASSERT_NE(base, nullptr);
    expect_fault(probe(uintptr_t(base)), STATUS_ACCESS_VIOLATION, 0, uintptr_t(base));  // reserved only
    DWORD old;
    SetLastError(0);
    EXPECT_FALSE(VirtualProtect(base, page, PAGE_READWRITE, &old)) << "not committed";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_ADDRESS));

    char *middle = static_cast<char *>(VirtualAlloc(base + page + 5, page, MEM_COMMIT, PAGE_READWRITE));
    ASSERT_EQ(middle, base + page) << "rounded down to its page";
    middle[0] = 1;
    middle[2 * page - 1] = 2;  // the range reached into the next page
    expect_fault(probe(uintptr_t(base + 3 * page)), STATUS_ACCESS_VIOLATION, 0, uintptr_t(base + 3 * page));
    EXPECT_FALSE(VirtualProtect(base + page, 3 * page, PAGE_READONLY, &old)) << "partly committed";

    ASSERT_TRUE(VirtualFree(middle, page, MEM_DECOMMIT));
    expect_fault(probe(uintptr_t(middle)), STATUS_ACCESS_VIOLATION, 0, uintptr_t(middle));
    EXPECT_EQ(middle[2 * page - 1], 2) << "the next page stays committed";
    ASSERT_EQ(VirtualAlloc(middle, page, MEM_COMMIT, PAGE_READWRITE), middle);
    EXPECT_EQ(middle[0], 0) << "recommitted pages are zero again";

    SetLastError(0);
    EXPECT_FALSE(VirtualFree(base, page, MEM_RELEASE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(VirtualFree(middle, 0, MEM_RELEASE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_ADDRESS));
    EXPECT_EQ(VirtualAlloc(base + page, page, MEM_RESERVE, PAGE_READWRITE), nullptr) << "already reserved";
    ASSERT_TRUE(VirtualFree(base, 0, MEM_RELEASE));
    expect_fault(probe(uintptr_t(middle)), STATUS_ACCESS_VIOLATION, 0, uintptr_t(middle));
    EXPECT_FALSE(VirtualFree(base, 0, MEM_RELEASE)) << "released once only";
    EXPECT_EQ(VirtualAlloc(nullptr, page, MEM_COMMIT, PAGE_NOACCESS | PAGE_GUARD), nullptr);
    EXPECT_EQ(VirtualAlloc(nullptr, 0, MEM_COMMIT, PAGE_READWRITE), nullptr);
}

// ---- The rest ---------------------------------------------------------------

__declspec(noinline) void capture(CONTEXT *c, uintptr_t *local, uintptr_t *frame) {
    volatile int here = 0;
    RtlCaptureContext(c);
    *local = uintptr_t(&here);
    *frame = uintptr_t(__builtin_frame_address(0));
}

TEST(Win32Misc, CaptureContextModuleAndHeap) {
    CONTEXT c = {};
    uintptr_t local = 0, frame = 0;
    capture(&c, &local, &frame);
    const uintptr_t start = reinterpret_cast<uintptr_t>(&capture) & ~uintptr_t(1);
#if defined(__x86_64__)
    const uintptr_t pc = c.Rip, sp = c.Rsp, fp = c.Rbp;
#else
    const uintptr_t pc = c.Pc, sp = c.Sp;
#endif
    EXPECT_GT(pc, start);
    EXPECT_LT(pc, start + 512) << "in the caller";
    EXPECT_LE(sp, local);
    EXPECT_LT(local - sp, 4096u) << "the caller's stack";
#if defined(__aarch64__)
    const uintptr_t fp = c.Fp;
#endif
#if defined(__x86_64__) || defined(__aarch64__)
    EXPECT_EQ(fp, frame);
#endif

    EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
    EXPECT_EQ(GetModuleHandleA("no-such-module.dll"), nullptr);

    int *block = static_cast<int *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 64 * sizeof(int)));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[0] + block[63], 0);
    EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, block));

}

}  // namespace
