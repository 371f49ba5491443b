/* The program's entry: what a Windows C run-time's console start-up does,
   over Wine's msvcrt.dll, for ARM64 and 32-bit ARM.  It runs the C++ initialisers, calls main inside
   a guarded block whose filter is the run-time's own (_XcptFilter, the
   msvcrt spelling of _seh_filter_exe), and hands main's result to exit. */
#include <windows.h>

typedef void (__cdecl *initialiser)(void);

int main(int, char **, char **);
void __cdecl __getmainargs(int *, char ***, char ***, int, int *);
void __cdecl __set_app_type(int);
int __cdecl _XcptFilter(unsigned long, struct _EXCEPTION_POINTERS *);
void __cdecl _initterm(initialiser *, initialiser *);
void __cdecl exit(int);
void __cdecl _exit(int);

/* The compiler puts dynamic initialisers between these two in .CRT$XCU;
   the linker orders the grouped sections by name. */
__attribute__((section(".CRT$XCA"), used)) initialiser __xc_a[1] = { 0 };
__attribute__((section(".CRT$XCZ"), used)) initialiser __xc_z[1] = { 0 };

void mainCRTStartup(void)
{
    int argc, new_mode = 0, status;
    char **argv, **envp;

    __set_app_type(1 /* console */);
    __getmainargs(&argc, &argv, &envp, 0, &new_mode);
    _initterm(__xc_a, __xc_z);
    __try {
        status = main(argc, argv, envp);
    } __except (_XcptFilter(_exception_code(), (struct _EXCEPTION_POINTERS *)_exception_info())) {
        _exit((int)_exception_code());
    }
    exit(status);
}
