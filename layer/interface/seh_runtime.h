/* The run-time interface that lowered sources call.  Lowered code is C++;
 * every guarded block owns one registration record that lives in the frame
 * of its function and is linked into a per-thread chain, innermost first. */
#ifndef ZEB_SEH_RUNTIME_H
#define ZEB_SEH_RUNTIME_H

#include "seh_variant_switch.h"
#include "seh_types.h"

/* Around each declaration that holds a guarded block or calls setjmp: no
 * optimisation there, so that every local lives in memory and a value stored
 * before a raise, a fault or a long jump is the value read after it, as the
 * platform's compilers keep it.  The rest of the program is optimised as
 * asked. */
#if defined(__clang__)
#define __SEH_UNOPTIMISED_BEGIN _Pragma("clang optimize off")
#define __SEH_UNOPTIMISED_END _Pragma("clang optimize on")
#elif defined(__GNUC__)
#define __SEH_UNOPTIMISED_BEGIN _Pragma("GCC push_options") _Pragma("GCC optimize (\"O0\")")
#define __SEH_UNOPTIMISED_END _Pragma("GCC pop_options")
#else
#define __SEH_UNOPTIMISED_BEGIN
#define __SEH_UNOPTIMISED_END
#endif

struct __seh_record;
struct __seh_jmp_buf_tag;

/* What an unwind is heading for: the record of an accepting try/except, the
 * jump buffer of a long jump, or (neither) the end of the process with
 * `value` as its status, past every guarded block.  A termination handler entered by the
 * unwind keeps a copy, because the stack below it is already abandoned. */
struct __seh_unwind_goal {
    struct __seh_record *target;          /* try/except record, or null for a long jump */
    struct __seh_jmp_buf_tag *jump;       /* long-jump buffer, or null */
    int value;                            /* long-jump value, or exit status */
};

/* __SEH_CATCH_ALL: the body of a C++ try statement with a catch (...),
 * in code built for the asynchronous model: it takes every structured
 * exception that reaches it. */
enum { __SEH_EXCEPT = 0, __SEH_FINALLY = 1, __SEH_CATCH_ALL = 2 };
/* Records of lowered C++ code: the block takes part in the unwinder's
 * unwinds (a clause of its own catches them, so destructors and termination
 * handlers run in scope order). */
enum { __SEH_CXX_UNWINDS = 1 };
/* A try/except (or catch (...)) body of C++ code that creates no object
 * with a destructor: an unwind arriving there has nothing for the unwinder
 * to do in the block's own frame. */
enum { __SEH_NO_DESTRUCTORS = 2 };

typedef int (*__seh_filter_fn)(void *closure, EXCEPTION_POINTERS *pointers);

struct __seh_record {
    struct __seh_record *prev;
    void *frame;                          /* frame address of the owning function */
    void *landing[5];                     /* __builtin_setjmp buffer of the landing pad */
    int kind;
    int flags;                            /* __SEH_CXX_* */
    /* try/except */
    __seh_filter_fn filter;               /* null: `closure` is a C filter, a nested function */
    void *closure;
    DWORD code;                           /* GetExceptionCode() inside the handler */
    /* try/finally entered by an unwind */
    struct __seh_unwind_goal goal;
    /* try/finally in C++: the C++ exception held while the handler runs */
    void *held;
};

/* What lowered code asks at two decisions, constant in the default build:
 * whether a termination handler runs when its block ends with exit code
 * `exit` (0 normal, 1 exception unwind, -1 C++ exception, 2 and up a jump
 * out of the block), and the exit code of a __leave. */
#define __SEH_FINALLY_RUNS(exit) (!(ZEB_VARIANT(LOCAL_UNWIND_SKIPS_FINALLY) && (exit) >= 2))
#define __SEH_LEAVE_EXIT (ZEB_VARIANT(LEAVE_IS_ABNORMAL) ? -2 : 0)

#ifdef __cplusplus
extern "C" {
#endif
extern __thread struct __seh_record *__seh_head;
extern __thread int __seh_thread_ready;
extern __thread unsigned long __seh_clock;
void __seh_thread_init(void);
/* Never returns: walks on towards the goal, running termination handlers. */
void __seh_unwind(const struct __seh_unwind_goal *goal) __attribute__((noreturn));
#ifdef __cplusplus
}
#endif

static inline __attribute__((always_inline)) void
__seh_push_flags(struct __seh_record *record, int kind, void *frame, int flags)
{
    if (__builtin_expect(!__seh_thread_ready, 0))
        __seh_thread_init();
    record->kind = kind;
    record->flags = flags;
    record->frame = frame;
    record->prev = __seh_head;
    __seh_head = record;
}

static inline __attribute__((always_inline)) void
__seh_push(struct __seh_record *record, int kind, void *frame)
{
    __seh_push_flags(record, kind, frame, 0);
}

#ifdef __cplusplus
#include <cxxabi.h>
#include <exception>

/* Filters are closures over the function's locals; the run-time calls them
 * through this thunk while the frames below are still alive. */
template <class Filter>
static int __seh_call_filter(void *closure, EXCEPTION_POINTERS *pointers)
{
    return (int)(*static_cast<Filter *>(closure))(pointers);
}

template <class Filter>
static inline __attribute__((always_inline)) void
__seh_set_filter(struct __seh_record *record, Filter &filter)
{
    record->filter = &__seh_call_filter<Filter>;
    record->closure = &filter;
}

/* `return value;` out of guarded blocks with no termination handler: the
 * value is computed while the blocks are still active, then they are left. */
template <class T>
static inline __attribute__((always_inline)) T &&__seh_pop_after(T &&value, struct __seh_record *outermost)
{
    __seh_head = outermost->prev;
    return static_cast<T &&>(value);
}

extern "C" {
/* Asked by the clause that catches the unwinder's unwinds in a guarded
 * block: true when an exception or long-jump unwind of this layer is
 * passing `record` (a try/finally: its goal is copied there) or has reached
 * it (a try/except: its handler is entered).  False for anything else, such
 * as a thread's exit, which goes on untouched. */
int __seh_unwind_passes(struct __seh_record *record);
int __seh_unwind_arrived(struct __seh_record *record);
/* The clauses' own rethrows: the exception goes on as it is, without being
 * offered to the guarded blocks again, as a program's `throw;` is. */
[[noreturn]] void __seh_rethrow(void);
/* A catch (...) record reached by an unwind: the structured exception it
 * took is thrown into the clause. */
[[noreturn]] void __seh_throw_structured(void);
}

#include <new>

/* A C++ exception that leaves a guarded block (and a thread's forced
 * unwind, pthread_exit, which runs no termination handlers) must not leave
 * its record on the chain: the block's clauses pop it and rethrow.  No
 * local with a destructor surrounds a guarded body, so that the unwinder
 * finds nothing to do in a frame whose guarded body holds no such local. */
static inline __attribute__((always_inline)) void __seh_pop_if(struct __seh_record *record)
{
    if (__seh_head == record) __seh_head = record->prev;
}

/* A C++ exception passing a termination handler is held in its record
 * while the handler runs, then thrown on. */
static_assert(sizeof(std::exception_ptr) == sizeof(void *), "an exception_ptr fits a record's slot");
static inline void __seh_hold(struct __seh_record *record)
{
    new (&record->held) std::exception_ptr(std::current_exception());
}
[[noreturn]] static inline void __seh_rethrow_held(struct __seh_record *record)
{
    std::exception_ptr *slot = reinterpret_cast<std::exception_ptr *>(&record->held);
    std::exception_ptr held = static_cast<std::exception_ptr &&>(*slot);
    slot->~exception_ptr();
    std::rethrow_exception(held);
}
#endif

#endif
