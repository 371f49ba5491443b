/* Types and constants of the platform's structured exception handling. */
#ifndef ZEB_SEH_TYPES_H
#define ZEB_SEH_TYPES_H

#include <stddef.h>
#include <stdint.h>

typedef unsigned int DWORD;
typedef int LONG;
typedef unsigned int ULONG;
typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef void *PVOID;
typedef void *LPVOID;
typedef const void *LPCVOID;
typedef uintptr_t ULONG_PTR;
typedef intptr_t LONG_PTR;
typedef ULONG_PTR SIZE_T;
typedef ULONG_PTR DWORD_PTR;
typedef LONG NTSTATUS;
typedef unsigned long long DWORD64;
typedef long long LONGLONG;
typedef unsigned long long ULONGLONG;
typedef long long LONG64;
typedef unsigned long long ULONG64;
typedef long long INT64;
typedef unsigned long long UINT64;
typedef int INT;
typedef int INT32;
typedef unsigned int UINT32;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef short SHORT;
typedef unsigned short USHORT;
typedef unsigned char UCHAR;
typedef unsigned char BOOLEAN;
typedef BYTE *PBYTE;
typedef BYTE *LPBYTE;
typedef ULONG *PULONG;
typedef USHORT *PUSHORT;
typedef UCHAR *PUCHAR;
typedef void *PVOID64;
typedef char CHAR;
typedef const char *LPCSTR;
typedef char *LPSTR;
typedef void VOID;
typedef DWORD *LPDWORD;
typedef void *HANDLE;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif
#ifndef WINAPI
#define WINAPI
#define CALLBACK
#define NTAPI
#endif

#define EXCEPTION_MAXIMUM_PARAMETERS 15

typedef struct _EXCEPTION_RECORD {
    DWORD ExceptionCode;
    DWORD ExceptionFlags;
    struct _EXCEPTION_RECORD *ExceptionRecord;
    PVOID ExceptionAddress;
    DWORD NumberParameters;
    ULONG_PTR ExceptionInformation[EXCEPTION_MAXIMUM_PARAMETERS];
} EXCEPTION_RECORD, *PEXCEPTION_RECORD;

#include "seh_context.h"

typedef struct _EXCEPTION_POINTERS {
    PEXCEPTION_RECORD ExceptionRecord;
    PCONTEXT ContextRecord;
} EXCEPTION_POINTERS, *PEXCEPTION_POINTERS, *LPEXCEPTION_POINTERS;

#define EXCEPTION_EXECUTE_HANDLER 1
#define EXCEPTION_CONTINUE_SEARCH 0
#define EXCEPTION_CONTINUE_EXECUTION (-1)

#define EXCEPTION_NONCONTINUABLE 0x01
#define EXCEPTION_UNWINDING 0x02
#define EXCEPTION_EXIT_UNWIND 0x04
#define EXCEPTION_STACK_INVALID 0x08
#define EXCEPTION_NESTED_CALL 0x10
#define EXCEPTION_TARGET_UNWIND 0x20
#define EXCEPTION_COLLIDED_UNWIND 0x40
#define EXCEPTION_UNWIND 0x66

#define STATUS_WAIT_0                    ((DWORD)0x00000000L)
#define STATUS_GUARD_PAGE_VIOLATION      ((DWORD)0x80000001L)
#define STATUS_DATATYPE_MISALIGNMENT     ((DWORD)0x80000002L)
#define STATUS_BREAKPOINT                ((DWORD)0x80000003L)
#define STATUS_SINGLE_STEP               ((DWORD)0x80000004L)
#define STATUS_ACCESS_VIOLATION          ((DWORD)0xC0000005L)
#define STATUS_IN_PAGE_ERROR             ((DWORD)0xC0000006L)
#define STATUS_INVALID_HANDLE            ((DWORD)0xC0000008L)
#define STATUS_NO_MEMORY                 ((DWORD)0xC0000017L)
#define STATUS_ILLEGAL_INSTRUCTION       ((DWORD)0xC000001DL)
#define STATUS_NONCONTINUABLE_EXCEPTION  ((DWORD)0xC0000025L)
#define STATUS_INVALID_DISPOSITION       ((DWORD)0xC0000026L)
#define STATUS_ARRAY_BOUNDS_EXCEEDED     ((DWORD)0xC000008CL)
#define STATUS_FLOAT_DENORMAL_OPERAND    ((DWORD)0xC000008DL)
#define STATUS_FLOAT_DIVIDE_BY_ZERO      ((DWORD)0xC000008EL)
#define STATUS_FLOAT_INEXACT_RESULT      ((DWORD)0xC000008FL)
#define STATUS_FLOAT_INVALID_OPERATION   ((DWORD)0xC0000090L)
#define STATUS_FLOAT_OVERFLOW            ((DWORD)0xC0000091L)
#define STATUS_FLOAT_STACK_CHECK         ((DWORD)0xC0000092L)
#define STATUS_FLOAT_UNDERFLOW           ((DWORD)0xC0000093L)
#define STATUS_INTEGER_DIVIDE_BY_ZERO    ((DWORD)0xC0000094L)
#define STATUS_INTEGER_OVERFLOW          ((DWORD)0xC0000095L)
#define STATUS_PRIVILEGED_INSTRUCTION    ((DWORD)0xC0000096L)
#define STATUS_STACK_OVERFLOW            ((DWORD)0xC00000FDL)
#define STATUS_INVALID_PARAMETER         ((DWORD)0xC000000DL)

#define EXCEPTION_ACCESS_VIOLATION          STATUS_ACCESS_VIOLATION
#define EXCEPTION_DATATYPE_MISALIGNMENT     STATUS_DATATYPE_MISALIGNMENT
#define EXCEPTION_BREAKPOINT                STATUS_BREAKPOINT
#define EXCEPTION_SINGLE_STEP               STATUS_SINGLE_STEP
#define EXCEPTION_ARRAY_BOUNDS_EXCEEDED     STATUS_ARRAY_BOUNDS_EXCEEDED
#define EXCEPTION_FLT_DENORMAL_OPERAND      STATUS_FLOAT_DENORMAL_OPERAND
#define EXCEPTION_FLT_DIVIDE_BY_ZERO        STATUS_FLOAT_DIVIDE_BY_ZERO
#define EXCEPTION_FLT_INEXACT_RESULT        STATUS_FLOAT_INEXACT_RESULT
#define EXCEPTION_FLT_INVALID_OPERATION     STATUS_FLOAT_INVALID_OPERATION
#define EXCEPTION_FLT_OVERFLOW              STATUS_FLOAT_OVERFLOW
#define EXCEPTION_FLT_STACK_CHECK           STATUS_FLOAT_STACK_CHECK
#define EXCEPTION_FLT_UNDERFLOW             STATUS_FLOAT_UNDERFLOW
#define EXCEPTION_INT_DIVIDE_BY_ZERO        STATUS_INTEGER_DIVIDE_BY_ZERO
#define EXCEPTION_INT_OVERFLOW              STATUS_INTEGER_OVERFLOW
#define EXCEPTION_PRIV_INSTRUCTION          STATUS_PRIVILEGED_INSTRUCTION
#define EXCEPTION_IN_PAGE_ERROR             STATUS_IN_PAGE_ERROR
#define EXCEPTION_ILLEGAL_INSTRUCTION       STATUS_ILLEGAL_INSTRUCTION
#define EXCEPTION_NONCONTINUABLE_EXCEPTION  STATUS_NONCONTINUABLE_EXCEPTION
#define EXCEPTION_STACK_OVERFLOW            STATUS_STACK_OVERFLOW
#define EXCEPTION_INVALID_DISPOSITION       STATUS_INVALID_DISPOSITION
#define EXCEPTION_GUARD_PAGE                STATUS_GUARD_PAGE_VIOLATION
#define EXCEPTION_INVALID_HANDLE            STATUS_INVALID_HANDLE

typedef unsigned int UINT;
typedef LONG (WINAPI *PVECTORED_EXCEPTION_HANDLER)(struct _EXCEPTION_POINTERS *pointers);
typedef LONG (WINAPI *PTOP_LEVEL_EXCEPTION_FILTER)(struct _EXCEPTION_POINTERS *pointers);
typedef PTOP_LEVEL_EXCEPTION_FILTER LPTOP_LEVEL_EXCEPTION_FILTER;

#ifdef __cplusplus
extern "C" {
#endif
void RaiseException(DWORD code, DWORD flags, DWORD count, const ULONG_PTR *arguments);
/* Vectored handlers run before any guarded block's filter, in order. */
PVOID AddVectoredExceptionHandler(ULONG first, PVECTORED_EXCEPTION_HANDLER handler);
ULONG RemoveVectoredExceptionHandler(PVOID handle);
/* The filter of last resort, asked when no guarded block took an exception. */
LPTOP_LEVEL_EXCEPTION_FILTER SetUnhandledExceptionFilter(LPTOP_LEVEL_EXCEPTION_FILTER filter);
LONG UnhandledExceptionFilter(struct _EXCEPTION_POINTERS *pointers);
DWORD GetLastError(void);
void SetLastError(DWORD error);
void Sleep(DWORD milliseconds);
DWORD GetCurrentThreadId(void);
DWORD GetCurrentProcessId(void);
DWORD GetTickCount(void);
void ExitProcess(UINT status) __attribute__((noreturn));
void OutputDebugStringA(LPCSTR text);
void DebugBreak(void);
BOOL IsDebuggerPresent(void);
#ifdef __cplusplus
}
#endif

#endif
