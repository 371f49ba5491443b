// catch (...) under the asynchronous model (this file is lowered with
// -fasync-exceptions): it takes structured exceptions, raised or faults, in
// order with try/except blocks; the unwind to it runs destructors and
// termination handlers; `throw;` raises the structured exception again;
// its record leaves the chain however the body ends.
#include <windows.h>

#include <gtest/gtest.h>
#include <seh_runtime.h>

#include "marks.h"

namespace {

__declspec(noinline) void raise_in(char name, DWORD code) {
    Mark m(name);
    RaiseException(code, 0, 0, NULL);
}

// The store through null is the point.
__declspec(noinline) __attribute__((no_sanitize("undefined"))) void fault_in(char name, volatile int *where) {
    Mark m(name);
    *where = 1;
}

__declspec(noinline) void finally_around(char name) {
    __try {
        raise_in(name, 0xE0000002);
    } __finally {
        Trace += 'F';
    }
}

TEST(CxxAsync, CatchAllTakesRaisesAndFaultsAfterTheUnwind) {
    for (int round = 0; round < 3; ++round) {
        Trace.clear();
        try {
            Mark outer('o');
            raise_in('r', 0xE0000001);
        } catch (int) {
            Trace += 'X';
        } catch (...) {
            Trace += 'C';
        }
        try {
            fault_in('f', nullptr);
        } catch (...) {
            Trace += 'C';
        }
        try {
            finally_around('a');
        } catch (...) {
            Trace += 'C';
        }
        EXPECT_EQ(Trace, "roCfCaFC") << "round " << round;
        EXPECT_EQ(__seh_head, nullptr);
    }
}

__declspec(noinline) int declining(int *filters) {
    __try {
        raise_in('d', 0xE0000003);
    } __except (++*filters, EXCEPTION_CONTINUE_SEARCH) {
        return -1;
    }
    return 0;
}

__declspec(noinline) void catch_all_around(int *filters) {
    try {
        declining(filters);
    } catch (...) {
        Trace += 'C';
    }
}

__declspec(noinline) void accepting_inside() {
    __try {
        raise_in('i', 0xE0000004);
    } __except (EXCEPTION_EXECUTE_HANDLER) {
        Trace += 'H';
    }
}

__declspec(noinline) void catch_all_outside() {
    try {
        accepting_inside();
    } catch (...) {
        Trace += 'X';
    }
}

TEST(CxxAsync, TheInnermostOfFilterAndCatchAllTakesIt) {
    Trace.clear();
    int inner = 0, outer = 0;
    __try {
        catch_all_around(&inner);
    } __except (++outer, EXCEPTION_EXECUTE_HANDLER) {
        Trace += 'X';
    }
    EXPECT_EQ(inner, 1);
    EXPECT_EQ(outer, 0);
    EXPECT_EQ(Trace, "dC");
    Trace.clear();
    catch_all_outside();
    EXPECT_EQ(Trace, "iH");
}

__declspec(noinline) void catch_all_rethrows() {
    try {
        raise_in('r', 0xE0000005);
    } catch (...) {
        Mark h('h');
        throw;
    }
}

__declspec(noinline) void typed_catch_only() {
    try {
        raise_in('t', 0xE0000006);
    } catch (int) {
        Trace += 'X';
    }
}

TEST(CxxAsync, RethrowRaisesTheStructuredExceptionAgainAndTypedCatchesNeverTakeIt) {
    for (int round = 0; round < 2; ++round) {
        Trace.clear();
        DWORD code = 0, flags = 1;
        __try {
            catch_all_rethrows();
        } __except (code = GetExceptionCode(), flags = GetExceptionInformation()->ExceptionRecord->ExceptionFlags,
                    EXCEPTION_EXECUTE_HANDLER) {
            Trace += 'H';
        }
        EXPECT_EQ(code, 0xE0000005u);
        EXPECT_EQ(flags, 0u);
        EXPECT_EQ(Trace, "rhH") << "round " << round;
        Trace.clear();
        __try {
            typed_catch_only();
        } __except (code = GetExceptionCode(), EXCEPTION_EXECUTE_HANDLER) {
            Trace += 'H';
        }
        EXPECT_EQ(code, 0xE0000006u);
        EXPECT_EQ(Trace, "tH");
    }
    EXPECT_EQ(__seh_head, nullptr);
}

__declspec(noinline) int leave_body(int how) {
    for (int i = 0; i < 3; ++i) {
        try {
            if (how == 0) return 10;
            if (how == 1) break;
            if (how == 2) continue;
            throw how;
        } catch (int v) {
            return v;
        } catch (...) {
            return -1;
        }
    }
    return 20 + how;
}

TEST(CxxAsync, TheRecordLeavesTheChainHoweverTheBodyEnds) {
    EXPECT_EQ(leave_body(0), 10);
    EXPECT_EQ(leave_body(1), 21);
    EXPECT_EQ(leave_body(2), 22);
    EXPECT_EQ(leave_body(3), 3);
    EXPECT_EQ(__seh_head, nullptr);
    // A raise now finds no stale record: this filter takes it.
    DWORD code = 0;
    __try {
        RaiseException(0xE0000007, 0, 0, NULL);
    } __except (code = GetExceptionCode(), EXCEPTION_EXECUTE_HANDLER) {
    }
    EXPECT_EQ(code, 0xE0000007u);
}

}  // namespace
