#include "core/runtime_failure.h"

#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace zeb::seh {
namespace {

// Formats without the C library's formatting, which is not safe in a
// signal handler.
char *put(char *at, const char *text) {
    const size_t n = strlen(text);
    memcpy(at, text, n);
    return at + n;
}

char *put_number(char *at, uintptr_t value, unsigned base) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = "0123456789abcdef"[value % base];
        value /= base;
    } while (value);
    while (n) *at++ = digits[--n];
    return at;
}

}  // namespace

void runtime_failure(const char *what, int sig, uintptr_t pc) {
    char line[256];
    char *at = put(line, "zeb: the exception run-time failed: ");
    if (strlen(what) > 150) what = "(reason too long)";
    at = put(at, what);
    at = put(at, " (signal ");
    at = put_number(at, uintptr_t(sig), 10);
    at = put(at, " at 0x");
    at = put_number(at, pc, 16);
    at = put(at, ")\n");
    ssize_t ignored = write(STDERR_FILENO, line, size_t(at - line));
    (void)ignored;
    signal(SIGABRT, SIG_DFL);
    abort();
}

}  // namespace zeb::seh
