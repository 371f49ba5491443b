// Exceptions raised while another is being handled: inside a termination
// handler that an unwind runs, and inside a filter that guards itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

const DWORD kFirst = 0xE0000001, kSecond = 0xE0000002;

void raise(DWORD code) { RaiseException(code, 0, 0, nullptr); }

// An exception raised by a termination handler that an unwind runs takes the
// place of the exception being unwound: the handler that the first unwind
// was heading for never runs.
TEST(Nested, ExceptionInHandlerDuringUnwindReplacesTheFirst) {
    std::string t;
    DWORD caught = 0;
    __try {
        __try {
            __try {
                __try {
                    __try {
                        raise(kFirst);
                    } __finally {
                        t += "4";
                        raise(kSecond);
                    }
                } __finally {
                    t += "3";
                }
            } __except (t += GetExceptionCode() == kFirst ? "x" : "y",
                        GetExceptionCode() == kFirst) {
                t += "!";
            }
        } __finally {
            t += "2";
        }
    } __except (t += "Y", EXCEPTION_EXECUTE_HANDLER) {
        caught = GetExceptionCode();
    }
    EXPECT_EQ(t, "x4yY32");
    EXPECT_EQ(caught, kSecond);
}

// A termination handler run by an unwind may handle an exception of its
// own; the unwind then goes on to its target.
TEST(Nested, HandledExceptionInsideHandlerDoesNotDisturbTheUnwind) {
    std::string t;
    DWORD caught = 0;
    __try {
        __try {
            __try {
                raise(kFirst);
            } __finally {
                __try {
                    raise(kSecond);
                } __except (t += "i", GetExceptionCode() == kSecond) {
                    t += "h";
                }
            }
        } __finally {
            t += "o";
        }
    } __except (t += "F", EXCEPTION_EXECUTE_HANDLER) {
        caught = GetExceptionCode();
    }
    EXPECT_EQ(t, "Fiho");
    EXPECT_EQ(caught, kFirst);
}

// A filter may guard its own work: an exception raised and handled inside
// it is not nested, and the first exception's search then goes on.
int guarded_filter(EXCEPTION_POINTERS *p, std::string *t) {
    const DWORD code = p->ExceptionRecord->ExceptionCode;
    __try {
        raise(kSecond);
    } __except (*t += GetExceptionInformation()->ExceptionRecord->ExceptionFlags & EXCEPTION_NESTED_CALL ? "n" : "c",
                EXCEPTION_EXECUTE_HANDLER) {
        *t += "h";
    }
    return code == kFirst;
}

TEST(Nested, FilterHandlesAnExceptionOfItsOwn) {
    std::string t;
    DWORD caught = 0;
    __try {
        __try {
            raise(kFirst);
        } __except (t += "i", EXCEPTION_CONTINUE_SEARCH) {
        }
    } __except (guarded_filter(GetExceptionInformation(), &t)) {
        caught = GetExceptionCode();
    }
    EXPECT_EQ(t, "ich");
    EXPECT_EQ(caught, kFirst);
}

// An exception raised in a filter and taken by a guarded block that the
// first search had already passed (below the filter's frame) abandons the
// first search: nothing of it may be left for later searches to meet.
int raising_filter(void) {
    RaiseException(0xE0000102, 0, 0, NULL);
    return EXCEPTION_CONTINUE_SEARCH;
}

void raise_below(std::string *t) {
    __try {
        RaiseException(0xE0000101, 0, 0, NULL);
    } __except (GetExceptionCode() == 0xE0000102 ? (*t += "b", EXCEPTION_EXECUTE_HANDLER)
                                                 : EXCEPTION_CONTINUE_SEARCH) {
        *t += "B";
    }
}

}  // namespace

namespace zeb::seh {
struct Dispatch;
extern __thread Dispatch *active_dispatch;
}  // namespace zeb::seh

namespace {

TEST(Nested, ExceptionFromFilterTakenBelowAbandonsTheFirstSearch) {
    std::string t;
    __try {
        raise_below(&t);
        t += "r";
    } __except (raising_filter()) {
        t += "X";
    }
    EXPECT_EQ(t, "bBr");
    EXPECT_EQ(zeb::seh::active_dispatch, nullptr);
    __try {
        RaiseException(0xE0000103, 0, 0, NULL);
    } __except (t += (GetExceptionInformation()->ExceptionRecord->ExceptionFlags & EXCEPTION_NESTED_CALL) ? "n" : "f",
                EXCEPTION_EXECUTE_HANDLER) {
        t += "H";
    }
    EXPECT_EQ(t, "bBrfH");
}

}  // namespace
