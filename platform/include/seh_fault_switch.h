/* Fault switches.  A variant run-time (platform/variants/NAME.toml) breaks
 * one behaviour on purpose, to show that the suite notices: it is built with
 * -DZEB_FAULT_NAME=1, and ZEB_FAULT(NAME) is 1 there.  Everywhere else
 * ZEB_FAULT(NAME) is the constant 0 and the switch compiles to nothing. */
#ifndef ZEB_SEH_FAULT_SWITCH_H
#define ZEB_SEH_FAULT_SWITCH_H

/* 1 when the macro ZEB_FAULT_<name> is defined as 1, else 0, in C and C++:
 * the definition turns the placeholder into an extra argument. */
#define ZEB_FAULT(name) __zeb_fault_on(ZEB_FAULT_##name)
#define __zeb_fault_on(value) __zeb_fault_pasted(value)
#define __zeb_fault_pasted(value) __zeb_fault_on_(__zeb_fault_placeholder_##value)
#define __zeb_fault_placeholder_1 0,
#define __zeb_fault_on_(arg_or_junk) __zeb_fault_second(arg_or_junk 1, 0, 0)
#define __zeb_fault_second(ignored, value, ...) value

#endif
