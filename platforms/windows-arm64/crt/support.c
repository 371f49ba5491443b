/* What Microsoft's C++ compiler expects from the static part of its run-time
   (the part linked into every program, not msvcrt.dll): the thread-safe
   initialisation of function-local statics, the thread-local storage
   directory it needs, atexit, sized delete, __std_terminate, the vtable
   that type descriptors point to, and the stack probe.  Also what
   mingw-w64's headers expect of their own import library: C99 vsnprintf for
   snprintf, and the standard streams through __acrt_iob_func.  Written over
   msvcrt.dll and kernel32.dll. */
#include <limits.h>
#include <stdarg.h>
#include <stddef.h>

typedef void *SRW_LOCK_OR_CONDITION;
void __stdcall AcquireSRWLockExclusive(SRW_LOCK_OR_CONDITION *);
void __stdcall ReleaseSRWLockExclusive(SRW_LOCK_OR_CONDITION *);
int __stdcall SleepConditionVariableSRW(SRW_LOCK_OR_CONDITION *, SRW_LOCK_OR_CONDITION *, unsigned long, unsigned long);
void __stdcall WakeAllConditionVariable(SRW_LOCK_OR_CONDITION *);

typedef int (__cdecl *onexit_function)(void);
onexit_function __cdecl _onexit(onexit_function);
struct msvcrt_file { char opaque[48]; };  /* msvcrt.dll's FILE on 64-bit Windows */
struct msvcrt_file *__cdecl __iob_func(void);
int __cdecl _vscprintf(const char *, va_list);
int __cdecl _vsnprintf(char *, size_t, const char *, va_list);

void __cdecl msvcrt_terminate(void) __asm__("?terminate@@YAXXZ");
void __cdecl msvcrt_delete(void *) __asm__("??3@YAXPEAX@Z");
void __cdecl msvcrt_type_info_dtor(void *) __asm__("??1type_info@@UEAA@XZ");

/* Thread-local storage: the loader reads this directory (the linker points
   the image's TLS entry at _tls_used) and gives each thread a copy of the
   .tls section; _tls_index is the image's slot. */
unsigned int _tls_index = 0;
__attribute__((section(".tls"))) char _tls_start = 0;
__attribute__((section(".tls$ZZZ"))) char _tls_end = 0;
const struct {
    const void *start, *end, *index, *callbacks;
    unsigned int zero_fill, characteristics;
} _tls_used = { &_tls_start, &_tls_end, &_tls_index, 0, 0, 0 };

/* Function-local statics.  A guard is 0 before the first initialisation,
   -1 while one thread runs it, and afterwards the epoch at which it ended.
   Each thread remembers the last epoch it has seen, so that the compiler's
   inline test (guard > this thread's epoch) sends a thread into
   _Init_thread_header only for statics it may not have seen finished. */
static SRW_LOCK_OR_CONDITION init_lock, init_done;
static int global_epoch = INT_MIN;
__declspec(thread) int _Init_thread_epoch = INT_MIN;

void __cdecl _Init_thread_header(int *guard)
{
    AcquireSRWLockExclusive(&init_lock);
    if (*guard == 0) {
        *guard = -1;  /* this thread initialises it */
    } else {
        while (*guard == -1)
            SleepConditionVariableSRW(&init_done, &init_lock, 0xFFFFFFFF, 0);
        _Init_thread_epoch = global_epoch;
    }
    ReleaseSRWLockExclusive(&init_lock);
}

void __cdecl _Init_thread_footer(int *guard)
{
    AcquireSRWLockExclusive(&init_lock);
    ++global_epoch;
    *guard = global_epoch;
    _Init_thread_epoch = global_epoch;
    ReleaseSRWLockExclusive(&init_lock);
    WakeAllConditionVariable(&init_done);
}

/* The initialiser left by an exception: the next caller tries again. */
void __cdecl _Init_thread_abort(int *guard)
{
    AcquireSRWLockExclusive(&init_lock);
    *guard = 0;
    ReleaseSRWLockExclusive(&init_lock);
    WakeAllConditionVariable(&init_done);
}

int __cdecl atexit(void (__cdecl *function)(void))
{
    return _onexit((onexit_function)function) ? 0 : -1;
}

void __cdecl __std_terminate(void)
{
    msvcrt_terminate();
}

void __cdecl sized_delete(void *object, size_t size) __asm__("??3@YAXPEAX_K@Z");
void __cdecl sized_delete(void *object, size_t size)
{
    (void)size;
    msvcrt_delete(object);
}

/* type_info's vtable: its one virtual function is the destructor. */
const void *const type_info_vtable[1] __asm__("??_7type_info@@6B@") = { (const void *)msvcrt_type_info_dtor };

/* C99 vsnprintf, which msvcrt.dll lacks: always terminated, returns the
   length the whole text would have. */
int __cdecl __ms_vsnprintf(char *buffer, size_t size, const char *format, va_list args)
{
    va_list measure;
    va_copy(measure, args);
    int length = _vscprintf(format, measure);
    va_end(measure);
    if (size > 0) {
        _vsnprintf(buffer, size - 1, format, args);
        buffer[(size_t)length < size - 1 ? (size_t)length : size - 1] = '\0';
    }
    return length;
}

/* stdin, stdout and stderr: msvcrt.dll's array of streams. */
struct msvcrt_file *__cdecl __acrt_iob_func(unsigned index)
{
    return &__iob_func()[index];
}

/* The stack probe the compiler calls before allocating a frame larger than
   a page: x15 holds the size in 16-byte units.  Touching every page in
   order, from the top down, lets the guard page below the committed stack
   grow it (or raise the stack overflow) one page at a time.  Only x16 and
   x17 may change. */
__asm__(".text\n"
        ".globl __chkstk\n"
        ".p2align 2\n"
        "__chkstk:\n"
        "    lsl x16, x15, #4\n"
        "    mov x17, sp\n"
        "1:  sub x17, x17, #4096\n"
        "    subs x16, x16, #4096\n"
        "    ldr xzr, [x17]\n"
        "    b.gt 1b\n"
        "    ret\n");
