// setjmp/longjmp across guarded blocks: a long jump runs the termination
// handlers still pending between it and setjmp, innermost first, and
// abandons whatever search or unwind is in progress.
#include <windows.h>

#include <gtest/gtest.h>
#include <setjmp.h>

#include <string>

namespace {

const DWORD kFirst = 0xE0000001, kSecond = 0xE0000002;

void raise(DWORD code) { RaiseException(code, 0, 0, nullptr); }

// After a long jump the thread must be as before: a new exception goes to
// the innermost handler and does not come marked as nested.
std::string fresh_exception() {
    std::string t;
    __try {
        raise(kSecond);
    } __except (t = GetExceptionInformation()->ExceptionRecord->ExceptionFlags & EXCEPTION_NESTED_CALL
                        ? "nested"
                        : "fresh",
                GetExceptionCode() == kSecond) {
        t += " caught";
    }
    return t;
}

void jump_from_depth(jmp_buf *env, std::string *t) {
    __try {
        __try {
            *t += "jump ";
            longjmp(*env, 0);
        } __finally {
            *t += AbnormalTermination() ? "2a " : "2n ";
        }
    } __finally {
        *t += "1 ";
    }
}

TEST(LongJump, RunsPendingHandlersInnermostFirstAndOnlyThose) {
    std::string t;
    jmp_buf env;
    volatile int value = setjmp(env);  // outside every guarded block
    if (value == 0) {
        __try {
            jump_from_depth(&env, &t);
        } __finally {
            t += "0 ";
        }
    }
    EXPECT_EQ(value, 1);  // longjmp with 0 delivers 1
    // A block active at setjmp is not left by the jump.
    __try {
        if (setjmp(env) == 0) jump_from_depth(&env, &t);
        t += "back ";
    } __finally {
        t += "outer";
    }
    EXPECT_EQ(t, "jump 2a 1 0 jump 2a 1 back outer");
    EXPECT_EQ(fresh_exception(), "fresh caught");
}

int jumping_filter(jmp_buf *env, std::string *t) {
    *t += "filter ";
    longjmp(*env, 1);
}

void raise_in_finally_body(std::string *t) {
    __try {
        raise(kFirst);
    } __finally {
        *t += "f ";
    }
}

TEST(LongJump, FromAFilterAbandonsTheSearch) {
    std::string t;
    jmp_buf env;
    if (setjmp(env) == 0) {
        __try {
            raise_in_finally_body(&t);
        } __except (jumping_filter(&env, &t)) {
            t += "!";
        }
    } else {
        t += "back";
    }
    EXPECT_EQ(t, "filter f back");
    EXPECT_EQ(fresh_exception(), "fresh caught");
}

TEST(LongJump, FromAHandlerRunByAnUnwindAbandonsTheUnwind) {
    std::string t;
    jmp_buf env;
    if (setjmp(env) == 0) {
        __try {
            __try {
                __try {
                    raise(kFirst);
                } __finally {
                    t += "f1 ";
                    longjmp(env, 1);
                }
            } __finally {
                t += "f2 ";
            }
        } __except (t += "x ", EXCEPTION_EXECUTE_HANDLER) {
            t += "!";
        }
    } else {
        t += "back";
    }
    EXPECT_EQ(t, "x f1 f2 back");
    EXPECT_EQ(fresh_exception(), "fresh caught");
}

// The handler long-jumps back into its own block after the block ended: the
// block is active again, takes the exception raised there, and its
// termination handler runs a second time.
TEST(LongJump, JumpBackIntoABlockMakesItActiveAgain) {
    std::string t;
    jmp_buf env;
    int passes = 0;
    __try {
        __try {
            if (setjmp(env) == 0) {
                t += "set ";
            } else {
                t += "back ";
                raise(kFirst);
            }
        } __finally {
            t += AbnormalTermination() ? "Fa " : "Fn ";
            if (++passes == 1) longjmp(env, 1);
        }
    } __except (t += "x ", EXCEPTION_EXECUTE_HANDLER) {
        t += "H";
    }
    EXPECT_EQ(t, "set Fn back x Fa H");
    EXPECT_EQ(fresh_exception(), "fresh caught");
}

}  // namespace
