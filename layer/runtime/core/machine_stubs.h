// The few instructions that C++ cannot express, written per architecture
// in assembly (arch/<arch>/machine_stubs.S).
#pragma once

#include "core/internal.h"

extern "C" {
// An undefined instruction that the fault handler recognises by its
// address; it resumes the thread with the registers of the frame's CONTEXT
// (all of them, as only a return from a signal handler can restore).
[[noreturn]] void __zeb_resume_trap(void *frame);
// Calls a GNU C nested function with its static chain, without the
// trampoline that the compiler would have run on the stack.
int __zeb_call_nested(void *code, void *chain, void *closure, EXCEPTION_POINTERS *pointers);
}
