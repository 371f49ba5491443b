/* Variant switches.  A variant run-time (layer/variants/NAME.toml) breaks
 * one behaviour on purpose, to show that the suite notices: it is built with
 * -DZEB_VARIANT_NAME=1, and ZEB_VARIANT(NAME) is 1 there.  Everywhere else
 * ZEB_VARIANT(NAME) is the constant 0 and the switch compiles to nothing. */
#ifndef ZEB_SEH_VARIANT_SWITCH_H
#define ZEB_SEH_VARIANT_SWITCH_H

/* 1 when the macro ZEB_VARIANT_<name> is defined as 1, else 0, in C and C++:
 * the definition turns the placeholder into an extra argument. */
#define ZEB_VARIANT(name) __zeb_variant_on(ZEB_VARIANT_##name)
#define __zeb_variant_on(value) __zeb_variant_pasted(value)
#define __zeb_variant_pasted(value) __zeb_variant_on_(__zeb_variant_placeholder_##value)
#define __zeb_variant_placeholder_1 0,
#define __zeb_variant_on_(arg_or_junk) __zeb_variant_second(arg_or_junk 1, 0, 0)
#define __zeb_variant_second(ignored, value, ...) value

#endif
