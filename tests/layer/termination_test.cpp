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

}  // namespace
