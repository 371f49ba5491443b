// The search for a handler: filter order, verdicts, what RaiseException puts
// in the record, and exceptions raised inside filters.
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

const DWORD kFirst = 0xE0000001, kSecond = 0xE0000002;

void raise(DWORD code) { RaiseException(code, 0, 0, nullptr); }

void search3(std::string *t) {
    __try {
        __try {
            raise(kFirst);
        } __finally {
            *t += "f3 ";
        }
    } __except (*t += "x3 ", EXCEPTION_CONTINUE_SEARCH) {
        *t += "!";
    }
}
void search2(std::string *t) {
    __try {
        __try {
            search3(t);
        } __finally {
            *t += "f2 ";
        }
    } __except (*t += "x2 ", EXCEPTION_CONTINUE_SEARCH) {
        *t += "!";
    }
}

TEST(Dispatch, FiltersRunInnermostFirstBeforeAnyTerminationHandler) {
    std::string t;
    __try {
        __try {
            search2(&t);
        } __finally {
            t += "f1 ";
        }
    } __except (t += "x1 ", EXCEPTION_EXECUTE_HANDLER) {
        t += "H";
    }
    EXPECT_EQ(t, "x3 x2 x1 f3 f2 f1 H");
}

// Returns the trace of one raise whose only filter answers `verdict`.
std::string run_verdict(int verdict) {
    std::string t;
    __try {
        raise(kFirst);
        t += "resumed";
    } __except (t += "filter ", verdict) {
        t += GetExceptionCode() == kFirst ? "handler" : "wrong code";
    }
    return t;
}

TEST(Dispatch, PositiveVerdictExecutesNegativeContinuesZeroSearchesOn) {
    for (int verdict : {1, 7, INT_MAX}) EXPECT_EQ(run_verdict(verdict), "filter handler") << verdict;
    for (int verdict : {-1, -5, INT_MIN}) EXPECT_EQ(run_verdict(verdict), "filter resumed") << verdict;
    std::string outer;
    __try {
        outer = run_verdict(0);
    } __except (outer = "outer", EXCEPTION_EXECUTE_HANDLER) {
    }
    EXPECT_EQ(outer, "outer");
}

TEST(Dispatch, ContinuingANoncontinuableExceptionRaisesStatusNoncontinuable) {
    std::vector<DWORD> inner;
    DWORD code = 0, flags = 0, original = 0;
    bool resumed = false;
    __try {
        __try {
            RaiseException(kFirst, EXCEPTION_NONCONTINUABLE, 0, nullptr);
            resumed = true;
        } __except (inner.push_back(GetExceptionCode()),
                    GetExceptionCode() == kFirst ? EXCEPTION_CONTINUE_EXECUTION : EXCEPTION_CONTINUE_SEARCH) {
        }
    } __except (code = GetExceptionCode(), flags = GetExceptionInformation()->ExceptionRecord->ExceptionFlags,
                original = GetExceptionInformation()->ExceptionRecord->ExceptionRecord
                               ? GetExceptionInformation()->ExceptionRecord->ExceptionRecord->ExceptionCode
                               : 0,
                EXCEPTION_EXECUTE_HANDLER) {
    }
    EXPECT_FALSE(resumed);
    EXPECT_EQ(inner, (std::vector<DWORD>{kFirst, STATUS_NONCONTINUABLE_EXCEPTION}));
    EXPECT_EQ(code, STATUS_NONCONTINUABLE_EXCEPTION);
    EXPECT_TRUE(flags & EXCEPTION_NONCONTINUABLE);
    EXPECT_EQ(original, kFirst);
}

EXCEPTION_RECORD capture(DWORD flags, DWORD count, const ULONG_PTR *arguments) {
    EXCEPTION_RECORD seen = {};
    __try {
        RaiseException(kFirst, flags, count, arguments);
    } __except (seen = *GetExceptionInformation()->ExceptionRecord, EXCEPTION_EXECUTE_HANDLER) {
    }
    return seen;
}

TEST(Dispatch, RaiseExceptionFillsTheRecord) {
    ULONG_PTR arguments[20];
    for (int i = 0; i < 20; ++i) arguments[i] = 0x1000 + i;

    EXCEPTION_RECORD r = capture(0, 3, arguments);
    EXPECT_EQ(r.ExceptionCode, kFirst);
    EXPECT_EQ(r.ExceptionFlags, 0u);
    EXPECT_EQ(r.ExceptionRecord, nullptr);
    EXPECT_NE(r.ExceptionAddress, nullptr);
    ASSERT_EQ(r.NumberParameters, 3u);
    EXPECT_EQ(r.ExceptionInformation[2], 0x1002u);

    r = capture(0, 20, arguments);
    ASSERT_EQ(r.NumberParameters, 15u);
    EXPECT_EQ(r.ExceptionInformation[0], 0x1000u);
    EXPECT_EQ(r.ExceptionInformation[14], 0x100Eu);

    r = capture(EXCEPTION_NONCONTINUABLE, 5, nullptr);
    EXPECT_EQ(r.NumberParameters, 0u);
    EXPECT_EQ(r.ExceptionFlags, DWORD(EXCEPTION_NONCONTINUABLE));
}

// Records which exception a filter saw, and whether it came nested.
void note(std::string *t, const char *who, EXCEPTION_POINTERS *p) {
    *t += who;
    *t += p->ExceptionRecord->ExceptionCode == kFirst ? "1" : "2";
    if (p->ExceptionRecord->ExceptionFlags & EXCEPTION_NESTED_CALL) *t += "n";
    *t += " ";
}

// Raises the second exception from inside its filter when the first comes.
int raising_filter(EXCEPTION_POINTERS *p, std::string *t) {
    note(t, "i", p);
    if (p->ExceptionRecord->ExceptionCode != kFirst) return EXCEPTION_CONTINUE_SEARCH;
    raise(kSecond);
    *t += "back ";
    return EXCEPTION_EXECUTE_HANDLER;
}

void raise_between(std::string *t, bool guarded) {
    if (!guarded) {
        raise(kFirst);
        return;
    }
    __try {
        raise(kFirst);
    } __except (note(t, "m", GetExceptionInformation()), EXCEPTION_CONTINUE_SEARCH) {
    }
}

void filter_raises(std::string *t, bool guarded_between) {
    __try {
        __try {
            raise_between(t, guarded_between);
        } __finally {
            *t += "f ";
        }
    } __except (raising_filter(GetExceptionInformation(), t)) {
        *t += "H1";
    }
}

std::string run_filter_raises(int outer_verdict, bool guarded_between) {
    std::string t;
    __try {
        filter_raises(&t, guarded_between);
    } __except (note(&t, "o", GetExceptionInformation()), outer_verdict) {
        t += "H2";
    }
    return t;
}

TEST(Dispatch, ExceptionInAFilterIsNestedUpToThatFiltersFrameOnly) {
    // Handled further out: the first exception's search is abandoned, and
    // the same frames raising again see nothing of it.
    EXPECT_EQ(run_filter_raises(EXCEPTION_EXECUTE_HANDLER, false), "i1 i2n o2 f H2");
    // Resumed by the outer filter: the first exception's search goes on.
    EXPECT_EQ(run_filter_raises(EXCEPTION_CONTINUE_EXECUTION, false), "i1 i2n o2 back f H1");
    // A later exception is not taken for a nested one.
    std::string t;
    __try {
        raise(kFirst);
    } __except (note(&t, "x", GetExceptionInformation()), EXCEPTION_EXECUTE_HANDLER) {
    }
    EXPECT_EQ(t, "x1 ");
}

// The nested exception passes the frames between the first raise and the
// filter's own frame again, with the nested-call flag set.
TEST(Dispatch, ExceptionInAFilterVisitsTheFramesBelowThatFilterAgain) {
    EXPECT_EQ(run_filter_raises(EXCEPTION_EXECUTE_HANDLER, true), "m1 i1 m2n i2n o2 f H2");
}

TEST(Dispatch, ExceptionInAnExceptHandlerIsDispatchedAfresh) {
    std::string t;
    __try {
        __try {
            raise(kFirst);
        } __except (t += "i ", EXCEPTION_EXECUTE_HANDLER) {
            t += "h ";
            raise(kSecond);
            t += "!";
        }
    } __except (note(&t, "o", GetExceptionInformation()), EXCEPTION_EXECUTE_HANDLER) {
        t += "H";
    }
    EXPECT_EQ(t, "i h o2 H");
}

}  // namespace
