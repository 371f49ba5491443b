@ __zeb_resume_trap and __zeb_call_nested (core/machine_stubs.h), in Thumb.
    .text
    .syntax unified
    .thumb
    .globl __zeb_resume_trap
    .type __zeb_resume_trap, %function
    .thumb_func
__zeb_resume_trap:
    udf #0
    .size __zeb_resume_trap, .-__zeb_resume_trap

@ (code, chain, closure, pointers): the chain goes in ip, the closure and
@ the pointers become the first two arguments.
    .globl __zeb_call_nested
    .type __zeb_call_nested, %function
    .thumb_func
__zeb_call_nested:
    mov ip, r1
    mov r1, r3
    mov r3, r0
    mov r0, r2
    bx r3
    .size __zeb_call_nested, .-__zeb_call_nested

    .section .note.GNU-stack,"",%progbits
