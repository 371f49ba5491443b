/* malloc.h with the platform's dynamic stack allocation. */
#ifndef ZEB_MALLOC_H
#define ZEB_MALLOC_H
#include_next <malloc.h>
#if !defined(_MSC_EXTENSIONS) && !defined(__ZEB_LOWERING__)
#define _alloca(size) __builtin_alloca(size)
#ifndef alloca   /* <stdlib.h> may have brought the C library's own */
#define alloca(size) __builtin_alloca(size)
#endif
#endif
#endif
