/* Code placed in data does not run: a call into bytes on the stack, in the
   heap or in a static array is an access violation on execute
   (ExceptionInformation[0] = 8, [1] the address), at the bytes themselves.
   The bytes are a plain return on each architecture. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef void (*Function)(void);

#if defined(_M_X64) || defined(__x86_64__)
static const unsigned char Return[] = {0xC3};               /* ret */
#define ENTRY(p) ((Function)(p))
#elif defined(_M_ARM64) || defined(__aarch64__)
static const unsigned char Return[] = {0xC0, 0x03, 0x5F, 0xD6};   /* ret */
#define ENTRY(p) ((Function)(p))
#else
static const unsigned char Return[] = {0x70, 0x47};         /* bx lr (Thumb) */
#define ENTRY(p) ((Function)((ULONG_PTR)(p) | 1))
#endif

static unsigned char StaticBytes[16];

static int Show(const char *Where, void *Bytes, EXCEPTION_POINTERS *Pointers)
{
    EXCEPTION_RECORD *Record = Pointers->ExceptionRecord;
    ULONG_PTR At = (ULONG_PTR)Bytes;
    printf("%s code=%08lX kind=%lu at-bytes=%d address-is-bytes=%d\n", Where, (unsigned long)Record->ExceptionCode,
           (unsigned long)Record->ExceptionInformation[0], Record->ExceptionInformation[1] == At,
           (ULONG_PTR)Record->ExceptionAddress == At);
    return EXCEPTION_EXECUTE_HANDLER;
}

static void Run(const char *Where, unsigned char *Bytes)
{
    memcpy(Bytes, Return, sizeof Return);
    __try {
        ENTRY(Bytes)();
        printf("%s ran\n", Where);
    } __except (Show(Where, Bytes, GetExceptionInformation())) {
    }
}

int main(void)
{
    unsigned char StackBytes[16];
    unsigned char *HeapBytes = (unsigned char *)malloc(16);

    Run("stack", StackBytes);
    Run("heap", HeapBytes);
    Run("static", StaticBytes);
    free(HeapBytes);
    return 0;
}
