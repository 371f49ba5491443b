/* setjmp/longjmp as the platform has them: a long jump unwinds the frames it
 * crosses, running the termination handlers still pending between the jump
 * and the frame of setjmp, innermost first, and abandons an exception unwind
 * in progress. */
#ifndef ZEB_SETJMP_H
#define ZEB_SETJMP_H

#include "seh_jmp_buf.h"

#define setjmp(env) \
    _setjmp(((env)->chain = __seh_head, (env)->stamp = ++__seh_clock, (env)->frame = __builtin_frame_address(0), \
             (env)->frame_without_destructors = __seh_frame_without_destructors, (env)->native))
#define _setjmpex(env) setjmp(env)
#define longjmp __seh_longjmp

#endif
