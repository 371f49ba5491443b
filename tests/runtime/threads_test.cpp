// Each thread has its own chain: threads that raise and fault at the same
// time never see each other's guarded blocks.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

// Faults on purpose: the undefined-behaviour sanitizer must not stop them first.
#define FAULTS_ON_PURPOSE __declspec(noinline) __attribute__((no_sanitize("undefined")))

namespace {

struct Tally {
    int caught = 0, finallies = 0, wrong = 0;
};

FAULTS_ON_PURPOSE void read_null() {
    volatile int *p = nullptr;
    (void)*p;
}

// Raises `code` (every fourth round: faults) in a loop; the filter takes
// only what this thread raised.
void worker(DWORD code, std::atomic<int> *ready, Tally *tally, int rounds) {
    ready->fetch_add(1);
    while (ready->load() < 2) {
    }
    for (int i = 0; i < rounds; ++i) {
        const DWORD expected = i % 4 == 3 ? STATUS_ACCESS_VIOLATION : code;
        __try {
            __try {
                if (expected == code) RaiseException(code, 0, 0, nullptr);
                else read_null();
            } __finally {
                ++tally->finallies;
            }
        } __except (GetExceptionCode() == expected ? EXCEPTION_EXECUTE_HANDLER : (++tally->wrong, 0)) {
            ++tally->caught;
        }
    }
}

TEST(Threads, TwoThreadsRaiseAtOnceWithoutSeeingEachOther) {
    const int rounds = 4000;
    std::atomic<int> ready{0};
    Tally a, b;
    std::thread first(worker, 0xE0000001u, &ready, &a, rounds);
    std::thread second(worker, 0xE0000002u, &ready, &b, rounds);
    first.join();
    second.join();
    for (const Tally *t : {&a, &b}) {
        EXPECT_EQ(t->wrong, 0);
        EXPECT_EQ(t->caught, rounds);
        EXPECT_EQ(t->finallies, rounds);
    }
}

volatile bool forever = true;
__declspec(noinline) int recurse(volatile char *below) {
    volatile char pad[256];
    pad[0] = below ? char(below[0] + 1) : 0;
    return forever ? recurse(pad) + pad[1] : 0;
}

TEST(Threads, StackOverflowInAThreadIsCaughtThere) {
    DWORD code = 0;
    std::thread overflow([&code] {
        __try {
            recurse(nullptr);
        } __except (code = GetExceptionCode(), EXCEPTION_EXECUTE_HANDLER) {
        }
    });
    overflow.join();
    EXPECT_EQ(code, STATUS_STACK_OVERFLOW);
}

}  // namespace
