// C++ frames under the layer's unwinds: destructors run in scope order with
// termination handlers, the same whether the path was unwound by the
// unwinder (first time) or by the records alone (once known to hold no
// destructor); C++ throws taken by try/except destroy their object once.
#include <windows.h>

#include <gtest/gtest.h>
#include <seh_runtime.h>
#include <setjmp.h>

#include "marks.h"

namespace {

struct Counted {
    static int live;
    Counted() { ++live; }
    Counted(const Counted &) { ++live; }
    ~Counted() { --live; }
};
int Counted::live = 0;

__declspec(noinline) void raise_in(char name) {
    Mark m(name);
    RaiseException(0xE0000001, 0, 0, NULL);
}

__declspec(noinline) void plain_raise() { RaiseException(0xE0000001, 0, 0, NULL); }

__declspec(noinline) void nested(bool with_objects) {
    __try {
        if (with_objects) {
            Mark b('b');
            raise_in('a');
        } else {
            plain_raise();
        }
    } __finally {
        Trace += 'F';
    }
}

void guarded(bool with_objects) {
    __try {
        Mark c('c');
        nested(with_objects);
    } __except (EXCEPTION_EXECUTE_HANDLER) {
        Trace += 'H';
    }
}

TEST(CxxUnwind, DestructorsInterleaveWithTerminationHandlersEveryTime) {
    for (int round = 0; round < 3; ++round) {
        Trace.clear();
        guarded(true);
        EXPECT_EQ(Trace, "abFcH") << "round " << round;
        // The same frames on a path without objects: only the handlers.
        Trace.clear();
        guarded(false);
        EXPECT_EQ(Trace, "FcH") << "round " << round;
    }
    EXPECT_EQ(__seh_head, nullptr);
}

__declspec(noinline) void throw_counted() {
    Mark m('m');
    throw Counted();
}

TEST(CxxUnwind, ThrowTakenByExceptDestroysTheObjectOnceAtTheHandler) {
    for (int round = 0; round < 2; ++round) {
        Trace.clear();
        int live_in_handler = -1;
        DWORD code = 0;
        __try {
            throw_counted();
        } __except (code = GetExceptionCode(), EXCEPTION_EXECUTE_HANDLER) {
            live_in_handler = Counted::live;
        }
        EXPECT_EQ(code, 0xE06D7363u);
        EXPECT_EQ(Trace, "m");
        EXPECT_EQ(live_in_handler, 0);
        EXPECT_EQ(Counted::live, 0);
    }
    EXPECT_EQ(__seh_head, nullptr);
}

// A try/except around `thrower` whose filter declines what it throws.
__declspec(noinline) int declined(void (*thrower)()) {
    int filters = 0;
    __try {
        thrower();
    } __except (++filters, EXCEPTION_CONTINUE_SEARCH) {
        return -1;
    }
    return filters;
}

TEST(CxxUnwind, DeclinedThrowReachesTheCatchOutside) {
    int caught = 0;
    try {
        declined(throw_counted);
    } catch (const Counted &) {
        caught = 1;
        EXPECT_EQ(Counted::live, 1);
    }
    EXPECT_EQ(caught, 1);
    EXPECT_EQ(Counted::live, 0);
    EXPECT_EQ(__seh_head, nullptr);
}

__declspec(noinline) void catch_and_rethrow() {
    try {
        throw_counted();
    } catch (const Counted &) {
        Mark h('h');
        throw;
    }
}

__declspec(noinline) int caught_outside() {
    try {
        declined(catch_and_rethrow);
    } catch (const Counted &) {
        return 1;
    }
    return 0;
}

TEST(CxxUnwind, RethrowIsOfferedAgainAndItsObjectDestroyedOnce) {
    for (int round = 0; round < 2; ++round) {
        Trace.clear();
        DWORD code = 0;
        __try {
            catch_and_rethrow();
        } __except (code = GetExceptionCode(), EXCEPTION_EXECUTE_HANDLER) {
            Trace += 'H';
        }
        EXPECT_EQ(code, 0xE06D7363u);
        // Thrown ('m'), caught, rethrown: the handler's local goes, then
        // the object with its clause, before the __except's handler.
        EXPECT_EQ(Trace, "mhH") << "round " << round;
        EXPECT_EQ(Counted::live, 0);
    }
    // Declined, the rethrow goes on to the catch further out.
    EXPECT_EQ(caught_outside(), 1);
    EXPECT_EQ(Counted::live, 0);
    EXPECT_EQ(__seh_head, nullptr);
}

// A frame whose personality would call terminate (a fault in a noexcept
// function) is left to the record walk: the handler is entered.  (A fault
// on purpose: the undefined-behaviour sanitizer must not stop it first.)
__declspec(noinline) __attribute__((no_sanitize("undefined"))) void fault_in_noexcept(int *volatile where) noexcept {
    Mark m('n');
    *where = 1;
}

TEST(CxxUnwind, FaultInANoexceptFunctionReachesTheHandler) {
    for (int round = 0; round < 2; ++round) {
        int handled = 0;
        __try {
            fault_in_noexcept(nullptr);
        } __except (EXCEPTION_EXECUTE_HANDLER) {
            handled = 1;
        }
        EXPECT_EQ(handled, 1) << "round " << round;
    }
    EXPECT_EQ(__seh_head, nullptr);
}

// The layer's unwinds meet the C++ run-time's own state: a C++ exception
// caught, or running its cleanups, while a structured exception is raised
// and taken, through a catch clause that does not match and a cleanup, in
// the frames below.
__declspec(noinline) void cleanup_under_unmatched_catch() {
    try {
        Mark d('d');
        raise_in('a');
    } catch (int) {
        Trace += '!';
    }
}

void raise_through_catch() {
    __try {
        cleanup_under_unmatched_catch();
    } __except (EXCEPTION_EXECUTE_HANDLER) {
        Trace += 'H';
    }
}

struct RaisesWhenDestroyed {
    ~RaisesWhenDestroyed() { raise_through_catch(); }
};

// The destructor runs as a cleanup of the throw (no catch clause here).
__declspec(noinline) void throw_past_raising_destructor() {
    RaisesWhenDestroyed r;
    throw Counted();
}

// The raise ran and was handled ("adH"), the C++ exception was caught once
// and destroyed, and no guarded block is left on the chain.
void expect_caught_once_after_the_raise(int caught) {
    EXPECT_EQ(Trace, "adH");
    EXPECT_EQ(caught, 1);
    EXPECT_EQ(Counted::live, 0);
    EXPECT_EQ(__seh_head, nullptr);
}

TEST(CxxUnwind, StructuredExceptionInsideACatchHandlerLeavesTheCaughtOneIntact) {
    Trace.clear();
    int caught = 0;
    try {
        try {
            throw Counted();
        } catch (const Counted &) {
            raise_through_catch();
            throw;
        }
    } catch (const Counted &) {
        caught = 1;
    }
    expect_caught_once_after_the_raise(caught);
}

TEST(CxxUnwind, StructuredExceptionInADestructorRunByACxxUnwind) {
    Trace.clear();
    int caught = 0;
    try {
        throw_past_raising_destructor();
    } catch (const Counted &) {
        caught = 1;
    }
    expect_caught_once_after_the_raise(caught);
}

// The objects a raise leaves in the target block's own frame are destroyed
// however often the path is taken (the fast path must not take the frame
// for one without destructors when an object outside the block hides the
// inner one's cleanup in the call-site table), and so are temporaries.
__declspec(noinline) void object_outside_and_inside() {
    Mark o('o');
    __try {
        Mark l('l');
        RaiseException(0xE0000001, 0, 0, NULL);
    } __except (EXCEPTION_EXECUTE_HANDLER) {
        Trace += 'H';
    }
}

__declspec(noinline) void raise_with(const Mark &) { RaiseException(0xE0000001, 0, 0, NULL); }

__declspec(noinline) void temporary_in_body() {
    __try {
        raise_with(Mark('t'));
    } __except (EXCEPTION_EXECUTE_HANDLER) {
        Trace += 'H';
    }
}

TEST(CxxUnwind, ObjectsInTheTargetFrameAreDestroyedEveryTime) {
    for (int round = 0; round < 3; ++round) {
        Trace.clear();
        object_outside_and_inside();
        EXPECT_EQ(Trace, "lHo") << "round " << round;
        Trace.clear();
        temporary_in_body();
        EXPECT_EQ(Trace, "tH") << "round " << round;
    }
    EXPECT_EQ(__seh_head, nullptr);
}

jmp_buf Env;

__declspec(noinline) void jump_from(char name) {
    Mark m(name);
    longjmp(Env, 1);
}

// A setjmp frame without objects of its own is excused from the unwinder,
// not the frames between it and the jump.
__declspec(noinline) int jump_into_a_frame_without_objects() {
    if (setjmp(Env) == 0) {
        jump_from('p');
        return 0;
    }
    return 1;
}

TEST(CxxUnwind, LongJumpIntoAFrameWithoutObjectsStillRunsTheFramesBetween) {
    for (int round = 0; round < 3; ++round) {
        Trace.clear();
        EXPECT_EQ(jump_into_a_frame_without_objects(), 1);
        EXPECT_EQ(Trace, "p") << "round " << round;
    }
}

TEST(CxxUnwind, LongJumpRunsTheDestructorsOfTheFramesItLeaves) {
    for (int round = 0; round < 2; ++round) {
        Trace.clear();
        if (setjmp(Env) == 0) {
            __try {
                jump_from('j');
            } __finally {
                Trace += 'F';
            }
        }
        EXPECT_EQ(Trace, "jF") << "round " << round;
    }
}

}  // namespace
