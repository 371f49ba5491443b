// The unhandled path: the process ends with nothing on standard output, one
// line on standard error naming the code, and the code's low 8 bits as the
// status (255 when those are 0, so that no exception reads as success).
#include <windows.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <thread>

// libstdc++ defines __try as try, and __leave is then refused (layer bug).
#undef __try

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

// Anything written to standard output then shows on standard error too.
void stdout_to_stderr() { dup2(STDERR_FILENO, STDOUT_FILENO); }

void raise_past_a_filter(DWORD code) {
    stdout_to_stderr();
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
    for (const auto &c : cases)
        EXPECT_EXIT(raise_past_a_filter(c.code), ::testing::ExitedWithCode(c.status), one_line_naming(c.code))
            << std::hex << c.code;
}

FAULTS_ON_PURPOSE void fault_unhandled() {
    stdout_to_stderr();
    *static_cast<volatile int *>(nullptr) = 1;
}

void raise_in_thread() {
    stdout_to_stderr();
    std::thread([] { RaiseException(0xC0000095, 0, 0, nullptr); }).join();
    _exit(0);
}

TEST(UnhandledDeathTest, FaultsAndOtherThreadsEndTheWholeProcess) {
    EXPECT_EXIT(fault_unhandled(), ::testing::ExitedWithCode(5), one_line_naming(STATUS_ACCESS_VIOLATION));
    EXPECT_EXIT(raise_in_thread(), ::testing::ExitedWithCode(0x95), one_line_naming(0xC0000095));
}

}  // namespace
