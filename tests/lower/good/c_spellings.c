// expect: ok
// The platform's C spellings: try/except/finally/leave and the lower-case intrinsics.
#include <windows.h>
#include <stdio.h>
int main(void) {
    int n = 0;
    try { n += 1; leave; n += 100; } finally { if (!abnormal_termination()) n += 2; }
    try { RaiseException(5, 0, 0, NULL); } except (exception_code() == 5) { n += 4; }
    printf("%d\n", n);
    return n == 7 ? 0 : 1;
}
