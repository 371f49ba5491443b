// __zeb_resume_trap and __zeb_call_nested (core/machine_stubs.h).
    .text
    .globl __zeb_resume_trap
    .type __zeb_resume_trap, @function
__zeb_resume_trap:
    ud2
    .size __zeb_resume_trap, .-__zeb_resume_trap

// (code, chain, closure, pointers): the chain goes in r10, the closure and
// the pointers become the first two arguments.
    .globl __zeb_call_nested
    .type __zeb_call_nested, @function
__zeb_call_nested:
    mov %rdi, %rax
    mov %rsi, %r10
    mov %rdx, %rdi
    mov %rcx, %rsi
    jmp *%rax
    .size __zeb_call_nested, .-__zeb_call_nested

    .section .note.GNU-stack,"",@progbits
