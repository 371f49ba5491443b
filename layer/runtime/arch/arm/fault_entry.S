@ __zeb_fault_entry (faults/fault_entry.h): where a fault enters the
@ dispatcher, on the faulting thread's stack.
@
@ r4 points at the interrupted r4-r15 (the frame's unwind_registers).  The
@ unwinding instructions: vsp = r4, pop {r4-r15}: popping sp and pc
@ restores the interrupted stack pointer and program counter.
    .text
    .syntax unified
    .thumb
    .globl __zeb_fault_entry
    .type __zeb_fault_entry, %function
    .thumb_func
__zeb_fault_entry:
    .fnstart
    .unwind_raw 0, 0x94, 0x8f, 0xff
    bl __zeb_fault_dispatch
    udf #0
    .fnend
    .size __zeb_fault_entry, .-__zeb_fault_entry

    .section .note.GNU-stack,"",%progbits
