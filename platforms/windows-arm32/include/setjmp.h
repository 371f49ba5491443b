/* setjmp and longjmp on 32-bit ARM Windows are msvcrt.dll's: its longjmp
   unwinds to the frame that setjmp recorded (RtlUnwind), running the
   termination handlers on the way, as Windows documents.  mingw-w64's
   header sends both to its own non-unwinding pair in libmingwex, which
   this platform does not link.  The frame is the caller's stack pointer
   on entry, the establisher frame that the ARM unwinder reports for it
   and at which the long jump's unwind stops. */
#include_next <setjmp.h>

#undef setjmp
#undef longjmp
int __cdecl __attribute__((__nothrow__, __returns_twice__)) _setjmp(jmp_buf, void *);
__attribute__((__noreturn__)) void __cdecl longjmp(jmp_buf, int);
#define setjmp(BUF) _setjmp((BUF), __builtin_sponentry())
