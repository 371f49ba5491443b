// Termination handlers: when they run, in what order, and what they see.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

const DWORD kFirst = 0xE0000001, kSecond = 0xE0000002;

void raise(DWORD code) { RaiseException(code, 0, 0, nullptr); }

int return_through_finally(int *value, std::string *trace) {
    __try {
        return (*value)++;
    } __finally {
        *trace += std::to_string(*value);
    }
    return -1;
}

TEST(Termination, ReturnValueIsComputedOnceBeforeTheHandlerRuns) {
    int value = 7;
    std::string trace;
    EXPECT_EQ(return_through_finally(&value, &trace), 7);
    EXPECT_EQ(trace, "8");  // the handler saw the side effect, once
    EXPECT_EQ(value, 8);
}

TEST(Termination, AbnormalTerminationTellsHowTheBlockEnded) {
    volatile int yes = 1;
    int fall = -1, leave = -1, unwound = -1;
    bool after_leave = false;
    __try {
    } __finally {
        fall = AbnormalTermination();
    }
    __try {
        if (yes) __leave;
        after_leave = true;
    } __finally {
        leave = AbnormalTermination();
    }
    __try {
        __try {
            raise(kFirst);
        } __finally {
            unwound = AbnormalTermination();
        }
    } __except (EXCEPTION_EXECUTE_HANDLER) {
    }
    EXPECT_EQ(fall, 0);
    EXPECT_EQ(leave, 0);
    EXPECT_FALSE(after_leave);
    EXPECT_NE(unwound, 0);
}

TEST(Termination, LeaveEndsOnlyTheInnermostBody) {
    volatile int yes = 1;
    std::string t;
    __try {
        __try {
            if (yes) __leave;
            t += "!";
        } __finally {
            t += "i";
        }
        t += "b";
    } __finally {
        t += "o";
    }
    EXPECT_EQ(t, "ibo");
}

void level3(std::string *t) {
    __try {
        *t += "3";
        raise(kFirst);
        *t += "!";
    } __finally {
        *t += "c";
    }
}
void level2(std::string *t) {
    __try {
        level3(t);
    } __finally {
        *t += "b";
    }
}
void level1(std::string *t) {
    __try {
        level2(t);
    } __finally {
        *t += "a";
    }
}

TEST(Termination, HandlersInNestedCallsRunInnermostFirstAfterTheFilter) {
    std::string t;
    __try {
        level1(&t);
    } __except (t += "F", EXCEPTION_EXECUTE_HANDLER) {
        t += "H";
    }
    EXPECT_EQ(t, "3FcbaH");
}

// A C++ exception is an exception of the platform too: it runs the
// termination handlers it passes (abnormally) and goes on to its catch.
void throw_through_two_handlers(std::string *t) {
    __try {
        __try {
            throw 7;
        } __finally {
            *t += AbnormalTermination() ? "i" : "I";
        }
    } __finally {
        *t += AbnormalTermination() ? "o" : "O";
    }
}

int catch_it(std::string *t) {
    try {
        throw_through_two_handlers(t);
    } catch (int v) {
        return v;
    }
    return 0;
}

TEST(Termination, CxxExceptionRunsTheHandlersItPasses) {
    std::string t;
    EXPECT_EQ(catch_it(&t), 7);
    EXPECT_EQ(t, "io");
    std::string u;
    __try {   // the chain is intact afterwards
        RaiseException(1, 0, 0, NULL);
    } __except (u += "f", EXCEPTION_EXECUTE_HANDLER) {
        u += "h";
    }
    EXPECT_EQ(u, "fh");
}

}  // namespace
