/* The part of the platform's windows.h that exception-handling programs use. */
#ifndef ZEB_WINDOWS_H
#define ZEB_WINDOWS_H

#include "seh_types.h"
#include "excpt.h"
#include "win32_api.h"
#include "intrin.h"

/* Without -fms-extensions (the compiler that builds lowered sources) the
 * platform's declaration specifiers are spelled as attributes. */
#if !defined(_MSC_EXTENSIONS) && !defined(__ZEB_LOWERING__)
#define __declspec(what) __zeb_declspec_##what
#define __zeb_declspec_noinline __attribute__((noinline))
#define __zeb_declspec_noreturn __attribute__((noreturn))
#define __zeb_declspec_nothrow __attribute__((nothrow))
#define __zeb_declspec_dllexport
#define __zeb_declspec_dllimport
#define __zeb_declspec_selectany __attribute__((weak))
#define __zeb_declspec_thread __thread
#define __zeb_declspec_naked __attribute__((naked))
#define __zeb_declspec_align(n) __attribute__((aligned(n)))
#define __zeb_declspec_restrict
#define __zeb_declspec_novtable
#define __forceinline inline __attribute__((always_inline))
#define __int8 char
#define __int16 short
#define __int32 int
#define __int64 long long
#define __cdecl
#define __stdcall
#define __fastcall
#endif

#endif
