// The unhandled path: the process ends with nothing on standard output, one
// line on standard error naming the code, and the code's low 8 bits as the
// status (255 when those are 0, so that no exception reads as success).
#include <windows.h>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <thread>

// Faults on purpose: the undefined-behaviour sanitizer must not stop them first.
#define FAULTS_ON_PURPOSE __declspec(noinline) __attribute__((no_sanitize("undefined")))

namespace {

// Standard error holds exactly one line, and it names `code` in hex.
std::string one_line_naming(DWORD code) {
    char hex[16];
    snprintf(hex, sizeof hex, "%X", code);
    std::string digits;
    for (const char *c = hex; *c; ++c)
        digits += isalpha(*c) ? std::string("[") + *c + char(tolower(*c)) + "]" : std::string(1, *c);
    return "^[^\n]*0[xX]0*" + digits + "([^0-9A-Fa-f\n][^\n]*)?\n$";
}

// The dying child's standard output goes to a file that the parent reads.
struct Stdout {
    int fd;
    Stdout() {
        std::string path = ::testing::TempDir() + "zeb-layer-stdout-XXXXXX";
        fd = mkstemp(&path[0]);
        unlink(path.c_str());
    }
    ~Stdout() { close(fd); }
    long size() const {
        struct stat st;
        return fstat(fd, &st) == 0 ? long(st.st_size) : -1;
    }
};

void raise_past_a_filter(DWORD code) {
    __try {
        RaiseException(code, 0, 0, nullptr);
    } __except (EXCEPTION_CONTINUE_SEARCH) {
    }
}

TEST(UnhandledDeathTest, EndsTheProcessWithTheCodesLowByte) {
    const struct {
        DWORD code;
        int status;
    } cases[] = {{0xC0000095, 0x95}, {1, 1}, {0, 255}, {0xE0000100, 255}};
    Stdout out;
    for (const auto &c : cases) {
        EXPECT_EXIT((dup2(out.fd, STDOUT_FILENO), raise_past_a_filter(c.code)), ::testing::ExitedWithCode(c.status),
                    one_line_naming(c.code))
            << std::hex << c.code;
        EXPECT_EQ(out.size(), 0);
    }
}

TEST(UnhandledDeathTest, TheLineSaysWhatTheCodeIs) {
    EXPECT_EXIT(raise_past_a_filter(0xE0000043), ::testing::ExitedWithCode(0x43),
                "unhandled exception 0xE0000043 \\(software exception\\)");
    EXPECT_EXIT(raise_past_a_filter(STATUS_INTEGER_OVERFLOW), ::testing::ExitedWithCode(0x95),
                "unhandled exception 0xC0000095 \\(integer overflow\\)");
}

FAULTS_ON_PURPOSE void fault_unhandled() {
    *static_cast<volatile int *>(nullptr) = 1;
}

void raise_in_thread() {
    std::thread([] { RaiseException(0xC0000095, 0, 0, nullptr); }).join();
    _exit(0);
}

TEST(UnhandledDeathTest, FaultsAndOtherThreadsEndTheWholeProcess) {
    Stdout out;
    EXPECT_EXIT((dup2(out.fd, STDOUT_FILENO), fault_unhandled()), ::testing::ExitedWithCode(5),
                one_line_naming(STATUS_ACCESS_VIOLATION));
    EXPECT_EXIT((dup2(out.fd, STDOUT_FILENO), raise_in_thread()), ::testing::ExitedWithCode(0x95),
                one_line_naming(0xC0000095));
    EXPECT_EQ(out.size(), 0);
}

}  // namespace

namespace {

// The run-time's own failures are never silent.  A stack overflow is
// dispatched on the signal stack; a filter that needs more than that runs
// into the stack's guard and says so.
volatile bool forever = true;
FAULTS_ON_PURPOSE int recurse_forever(int depth) {
    volatile char pad[512];
    pad[0] = char(depth);
    return forever ? recurse_forever(depth + 1) + pad[0] : 0;
}

__declspec(noinline) int use_stack(int depth) {
    volatile char pad[1024];
    pad[0] = char(depth);
    return depth ? use_stack(depth - 1) + pad[0] : 1;
}

void overflow_with_a_deep_filter() {
    __try {
        recurse_forever(0);
    } __except (use_stack(1024)) {
    }
    _exit(0);
}

TEST(UnhandledDeathTest, AFilterOutOfSignalStackIsReported) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reports the overflow itself";
#endif
    EXPECT_DEATH(overflow_with_a_deep_filter(), "zeb: the exception run-time failed: .*ran out of the signal stack");
}

}  // namespace
