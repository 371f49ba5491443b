/* The jump buffer of the platform's setjmp: the C library's buffer plus the
 * guarded blocks active when setjmp ran. */
#ifndef ZEB_SEH_JMP_BUF_H
#define ZEB_SEH_JMP_BUF_H

/* This header stands in for the C library's <setjmp.h>, whose internals
 * refuse to be included from anywhere else. */
#if !defined(_SETJMP_H) && !defined(_PTHREAD_H)
#define _SETJMP_H 1
#endif
#include <bits/types/struct___jmp_buf_tag.h>

struct __seh_record;

struct __seh_jmp_buf_tag {
    struct __jmp_buf_tag native[1];
    struct __seh_record *chain;   /* guarded blocks active at setjmp */
    unsigned long stamp;          /* orders setjmp against exception searches */
    void *frame;                  /* frame address of the function that called setjmp */
    int frame_without_destructors; /* that function creates no object with a destructor */
};
#ifndef __ZEB_RUNTIME
typedef struct __seh_jmp_buf_tag jmp_buf[1];
/* What setjmp records of its frame: a function of C++ code that creates no
 * object with a destructor declares this as 1 in its body (the lowering
 * does), so a long jump back into it has nothing for the unwinder to do
 * there. */
enum { __seh_frame_without_destructors = 0 };
#endif

#ifdef __cplusplus
extern "C" {
#endif
extern __thread struct __seh_record *__seh_head;
extern __thread unsigned long __seh_clock;
#ifndef __ZEB_RUNTIME
int _setjmp(struct __jmp_buf_tag env[1]) __attribute__((returns_twice, nothrow));
#endif
void __seh_longjmp(struct __seh_jmp_buf_tag *env, int value) __attribute__((noreturn));
#ifdef __cplusplus
}
#endif

#endif
