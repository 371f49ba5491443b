/* The parts of the platform's headers that ported code reaches for build:
   the integer types, <intrin.h>, <malloc.h> after <stdlib.h>, and CONTEXT
   with each architecture's own register names, read in a filter. */
#include <stdlib.h>
#include <malloc.h>
#include <windows.h>
#include <intrin.h>
#include <stdio.h>
#include <string.h>

static volatile int *volatile Null;

static int Registers(EXCEPTION_POINTERS *Pointers)
{
    CONTEXT *C = Pointers->ContextRecord;
    ULONG_PTR Pc, Sp;
#if defined(_M_X64) || defined(__x86_64__)
    Pc = C->Rip;
    Sp = C->Rsp;
    printf("x86-64 registers %d\n", C->Rbp > C->Rsp && C->SegCs != 0 && (C->EFlags & 0x2) != 0);
#elif defined(_M_ARM64) || defined(__aarch64__)
    Pc = C->Pc;
    Sp = C->Sp;
    printf("arm64 registers %d\n", C->X0 == C->X[0] && C->X28 == C->X[28] && C->Fp == C->X[29] && C->Lr == C->X[30]);
#else
    Pc = C->Pc;
    Sp = C->Sp;
    printf("arm registers %d\n", C->R11 != 0 && C->Lr != 0 && (C->Cpsr & 0x20) != 0);
#endif
    printf("pc-is-address=%d sp-set=%d\n", Pc == (ULONG_PTR)Pointers->ExceptionRecord->ExceptionAddress, Sp != 0);
    return EXCEPTION_EXECUTE_HANDLER;
}

int main(void)
{
    INT_PTR Signed = -1;
    UINT_PTR Unsigned = (UINT_PTR)Signed;
    BOOLEAN Flag = TRUE;
    USHORT Short = 0xFFFF;
    UCHAR Byte = 0xFF;
    INT Int = -2;
    INT64 Wide = -3;
    UINT64 UWide = 4;
    ULONG64 ULong64 = 5;
    BYTE Bytes[4] = {1, 2, 3, 4};
    PBYTE P = Bytes;
    LPBYTE Q = Bytes + 1;
    char *Scratch = (char *)alloca(32);

    strcpy(Scratch, "alloca");
    printf("%s pointer-sized=%d %d %u %u %d %lld %llu %llu %d\n", Scratch,
           sizeof(INT_PTR) == sizeof(void *) && sizeof(UINT_PTR) == sizeof(void *) && Unsigned == (UINT_PTR)-1,
           Flag, Short, Byte, Int, (long long)Wide, (unsigned long long)UWide, (unsigned long long)ULong64, *P + *Q);
    __try {
        *Null = 1;
    } __except (Registers(GetExceptionInformation())) {
        printf("handled\n");
    }
    return 0;
}
