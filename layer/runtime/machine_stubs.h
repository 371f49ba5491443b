// Entry points written in assembly (machine_stubs.cpp).
#pragma once

#include "internal.h"

extern "C" {
[[noreturn]] void __zeb_resume_trap(void *frame);
int __zeb_call_nested(void *code, void *chain, void *closure, EXCEPTION_POINTERS *pointers);
}
