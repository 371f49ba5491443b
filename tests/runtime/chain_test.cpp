// Guarded blocks entered and left many times by every kind of exit leave
// nothing behind on the thread's chain of records.
#include <windows.h>

#include <gtest/gtest.h>
#include <seh_runtime.h>  // the chain itself, to check it is as it was
#include <setjmp.h>

namespace {

const DWORD kCode = 0xE0000001;

int return_from_finally(volatile int *finallies) {
    __try {
        return 1;
    } __finally {
        ++*finallies;
    }
    return 0;
}

// (A return with a value out of a try/except does not compile yet; see
// tests/lower/good/return_value_from_try_except.c.)
void return_from_except(volatile int *returns) {
    __try {
        ++*returns;
        return;
    } __except (EXCEPTION_EXECUTE_HANDLER) {
    }
    *returns += 100;
}

void jump_out(jmp_buf *env, volatile int *finallies) {
    __try {
        longjmp(*env, 1);
    } __finally {
        ++*finallies;
    }
}

TEST(Chain, EveryKindOfExitLeavesTheChainAsItWas) {
    const int rounds = 10000, kinds = 8;
    __seh_record *const before = __seh_head;
    volatile int finallies = 0, inner_finallies = 0, filters = 0, handlers = 0, outer_filters = 0, fresh = 0,
                 returns = 0;
    jmp_buf env;
    __try {
        for (int i = 0; i < rounds; ++i) {
            const int kind = i % kinds;
            for (int once = 0; once < 1; ++once) {
                __try {
                    __try {
                        if (kind == 1) __leave;
                        if (kind == 2) break;
                        if (kind == 3) continue;
                        if (kind == 4) goto next;
                        if (kind == 5) {
                            if (return_from_finally(&inner_finallies) == 1) return_from_except(&returns);
                        }
                        if (kind == 6) RaiseException(kCode, 0, 0, nullptr);
                        if (kind == 7) {
                            if (setjmp(env) == 0) jump_out(&env, &inner_finallies);
                        }
                    } __except (++filters, EXCEPTION_EXECUTE_HANDLER) {
                        ++handlers;
                    }
                } __finally {
                    ++finallies;
                }
            }
        next:;
        }
        EXPECT_EQ(__seh_head->prev, before) << "only the outer block is left";
        // A raise passes from a fresh block straight to the outer one.
        __try {
            RaiseException(kCode, 0, 0, nullptr);
        } __except (++fresh, EXCEPTION_CONTINUE_SEARCH) {
        }
    } __except (++outer_filters, EXCEPTION_EXECUTE_HANDLER) {
    }
    EXPECT_EQ(__seh_head, before);
    EXPECT_EQ(finallies, rounds);
    EXPECT_EQ(inner_finallies, 2 * rounds / kinds);
    EXPECT_EQ(filters, rounds / kinds);
    EXPECT_EQ(returns, rounds / kinds);
    EXPECT_EQ(handlers, rounds / kinds);
    EXPECT_EQ(fresh, 1);
    EXPECT_EQ(outer_filters, 1);
    // A raise with no other handler is taken by the block around it.
    bool caught = false;
    __try {
        RaiseException(kCode, 0, 0, nullptr);
    } __except (EXCEPTION_EXECUTE_HANDLER) {
        caught = true;
    }
    EXPECT_TRUE(caught);
}

}  // namespace
