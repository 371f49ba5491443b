#include "ntstatus.h"

#include <stddef.h>

static const struct {
    unsigned long code;
    const char *name;
} EXCEPTION_NAMES[] = {
    {0x80000003UL, "breakpoint"},
    {0x80000004UL, "single step"},
    {0xC0000005UL, "access violation"},
    {0xC0000006UL, "in-page error"},
    {0xC0000008UL, "invalid handle"},
    {0xC000001DUL, "illegal instruction"},
    {0xC0000025UL, "noncontinuable exception"},
    {0xC0000026UL, "invalid disposition"},
    {0xC000008CUL, "array bounds exceeded"},
    {0xC000008DUL, "floating-point denormal operand"},
    {0xC000008EUL, "floating-point divide by zero"},
    {0xC000008FUL, "floating-point inexact result"},
    {0xC0000090UL, "floating-point invalid operation"},
    {0xC0000091UL, "floating-point overflow"},
    {0xC0000092UL, "floating-point stack check"},
    {0xC0000093UL, "floating-point underflow"},
    {0xC0000094UL, "integer divide by zero"},
    {0xC0000095UL, "integer overflow"},
    {0xC0000096UL, "privileged instruction"},
    {0xC00000FDUL, "stack overflow"},
    {0xC0000194UL, "possible deadlock"},
    {0xC0000409UL, "stack buffer overrun (fail fast)"},
    {0xC000013AUL, "ended by Ctrl+C"},
    {0xE06D7363UL, "C++ exception"},
};

const char *ntstatus_name(unsigned long code)
{
    for (size_t i = 0; i < sizeof EXCEPTION_NAMES / sizeof EXCEPTION_NAMES[0]; i++)
        if (EXCEPTION_NAMES[i].code == code)
            return EXCEPTION_NAMES[i].name;
    return NULL;
}
