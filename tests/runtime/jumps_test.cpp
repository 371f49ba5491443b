// goto, break, continue and return that leave guarded blocks: each
// termination handler left runs exactly once, innermost first, also when the
// jump is written inside a termination handler or an exception handler.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

enum How { Goto, Break, Continue, Return, GotoInside };
const How kAll[] = {Goto, Break, Continue, Return};

// The word that each way out of the loop body ends the trace with.
const char *ending(How how) {
    switch (how) {
    case Goto: return "label";
    case Break: return "after-loop";
    case Continue: return "next";
    case Return: return "returned";
    case GotoInside: return "L 2 1 end";
    }
    return "?";
}

// Runs one of the functions below and appends "returned" when it returned
// from inside the guarded blocks.
template <class F>
std::string run(F f, How how) {
    std::string t;
    if (f(how, &t) == 42) t += "returned";
    return t;
}

// The jump leaves three try/finally bodies from the innermost one.  A
// return's value is computed before any handler runs.
int jump_from_body(How how, std::string *t) {
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) return *t += "next", 0;
        __try {
            __try {
                __try {
                    *t += "body ";
                    if (how == Goto) goto out;
                    if (how == Break) break;
                    if (how == Continue) continue;
                    if (how == Return) return *t += "value ", 42;
                } __finally {
                    *t += "3 ";
                }
                *t += "!";
            } __finally {
                *t += "2 ";
            }
            *t += "!";
        } __finally {
            *t += "1 ";
        }
        *t += "!";
    }
    return *t += "after-loop", 0;
out:
    return *t += "label", 0;
}

TEST(Jumps, JumpOutOfThreeFinallyBodiesRunsEachHandlerOnce) {
    for (How how : kAll) {
        const std::string value = how == Return ? "value " : "";
        EXPECT_EQ(run(jump_from_body, how), "body " + value + "3 2 1 " + ending(how)) << "how " << how;
    }
}

// The jump is written in the innermost termination handler, running for a
// normal exit; it leaves the two enclosing bodies.
int jump_from_finally(How how, std::string *t) {
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) return *t += "next", 0;
        __try {
            __try {
                __try {
                    *t += "body ";
                } __finally {
                    *t += "3 ";
                    if (how == Goto) goto out;
                    if (how == Break) break;
                    if (how == Continue) continue;
                    if (how == Return) return 42;
                    if (how == GotoInside) goto inside;
                }
                *t += "!";
            inside:
                *t += "L ";
            } __finally {
                *t += "2 ";
            }
        } __finally {
            *t += "1 ";
        }
        return *t += "end", 0;
    }
    return *t += "after-loop", 0;
out:
    return *t += "label", 0;
}

// The jump is written in an exception handler inside two try/finally bodies.
int jump_from_except(How how, std::string *t) {
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) return *t += "next", 0;
        __try {
            __try {
                __try {
                    *t += "body ";
                    RaiseException(0xE0000001, 0, 0, nullptr);
                } __except (*t += "x ", EXCEPTION_EXECUTE_HANDLER) {
                    *t += "h ";
                    if (how == Goto) goto out;
                    if (how == Break) break;
                    if (how == Continue) continue;
                    if (how == Return) return 42;
                }
                *t += "!";
            } __finally {
                *t += "2 ";
            }
        } __finally {
            *t += "1 ";
        }
        *t += "!";
    }
    return *t += "after-loop", 0;
out:
    return *t += "label", 0;
}

TEST(Jumps, JumpFromInsideHandlersRunsOnlyTheHandlersItLeaves) {
    for (How how : kAll) {
        EXPECT_EQ(run(jump_from_finally, how), std::string("body 3 2 1 ") + ending(how)) << "how " << how;
        EXPECT_EQ(run(jump_from_except, how), std::string("body x h 2 1 ") + ending(how)) << "how " << how;
    }
    EXPECT_EQ(run(jump_from_finally, GotoInside), std::string("body 3 ") + ending(GotoInside));
}

}  // namespace
