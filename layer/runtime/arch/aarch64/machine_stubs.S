// __zeb_resume_trap and __zeb_call_nested (core/machine_stubs.h).
    .text
    .globl __zeb_resume_trap
    .type __zeb_resume_trap, %function
__zeb_resume_trap:
    udf #0
    .size __zeb_resume_trap, .-__zeb_resume_trap

// (code, chain, closure, pointers): the chain goes in x18, the closure and
// the pointers become the first two arguments.
    .globl __zeb_call_nested
    .type __zeb_call_nested, %function
__zeb_call_nested:
    mov x16, x0
    mov x18, x1
    mov x0, x2
    mov x1, x3
    br x16
    .size __zeb_call_nested, .-__zeb_call_nested

    .section .note.GNU-stack,"",%progbits
